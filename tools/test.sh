#!/usr/bin/env bash
# The whole test suite. Builds one cp311-abi3 wheel, installs that same wheel
# into a fresh virtual environment of each of CPython 3.11, 3.12 and 3.13,
# runs the Python tests in each, then builds and runs the native C++ checks:
# the unit tests, then tools/native_checks.sh (fuzzing, the sanitized corpus
# replay and valgrind) with the first of those environments.
#
# A Python version that is not installed is skipped with a warning, unless
# MNEMO_REQUIRE_ALL_PYTHONS=1 (as in CI), which makes it a failure.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=$ROOT/build/test
mkdir -p "$BUILD"

find_python() {
    local minor=$1 candidate
    if command -v pyenv >/dev/null 2>&1; then
        for candidate in "$(pyenv root)"/versions/3."$minor".*/bin/python3; do
            [ -x "$candidate" ] && { echo "$candidate"; return 0; }
        done
    fi
    for candidate in "python3.$minor" "/usr/bin/python3.$minor" "/usr/local/bin/python3.$minor"; do
        if "$candidate" -c 'import sys' >/dev/null 2>&1; then
            command -v "$candidate"
            return 0
        fi
    done
    return 1
}

BUILDER=$(find_python 11 || command -v python3)
echo "== building the wheel with $BUILDER"
rm -rf "$BUILD/wheelhouse"
"$BUILDER" -m pip wheel --quiet --no-deps --wheel-dir "$BUILD/wheelhouse" "$ROOT"
WHEEL=$(ls "$BUILD"/wheelhouse/*-cp311-abi3-*.whl)
echo "   $(basename "$WHEEL")"

tested=0
first_venv=
for minor in 11 12 13; do
    if ! PY=$(find_python "$minor"); then
        if [ "${MNEMO_REQUIRE_ALL_PYTHONS:-0}" = 1 ]; then
            echo "CPython 3.$minor is required but not installed" >&2
            exit 1
        fi
        echo "== CPython 3.$minor not found: skipped"
        continue
    fi
    VENV=$BUILD/venv-3.$minor
    echo "== CPython 3.$minor ($PY)"
    rm -rf "$VENV"
    "$PY" -m venv "$VENV"
    "$VENV/bin/python" -m pip install --quiet --upgrade pip
    "$VENV/bin/python" -m pip install --quiet "$WHEEL[test]"
    (cd "$ROOT" && "$VENV/bin/python" -m pytest -q -p no:cacheprovider tests)
    tested=$((tested + 1))
    first_venv=${first_venv:-$VENV}
done
[ "$tested" -gt 0 ] || { echo "no CPython 3.11+ found" >&2; exit 1; }

echo "== native unit tests"
cmake -S "$ROOT" -B "$BUILD/native" -DMNEMO_PYTHON_MODULE=OFF -DMNEMO_BUILD_TESTS=ON >/dev/null
cmake --build "$BUILD/native" >/dev/null
"$BUILD/native/native_tests"

echo "== native hardening checks"
bash "$ROOT/tools/native_checks.sh" "$first_venv/bin/python"

echo "== all tests passed"
