#!/usr/bin/env bash
# The whole test suite. Builds the sdist and, from it, one cp311-abi3 wheel,
# audits the wheel (abi3audit, its contents), installs that same wheel into a
# fresh virtual environment of each of CPython 3.11, 3.12 and 3.13, runs the
# Python tests in each, then builds and runs the native C++ checks: the unit
# tests, then tools/native_checks.sh (fuzzing, the sanitized corpus replay and
# valgrind) with the first of those environments.
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
TOOLS=$BUILD/tools
echo "== build tools in $TOOLS"
[ -x "$TOOLS/bin/python" ] || "$BUILDER" -m venv "$TOOLS"
"$TOOLS/bin/python" -m pip install --quiet --upgrade pip build abi3audit

echo "== building the sdist, then the wheel from the sdist"
rm -rf "$BUILD/dist"
if ! "$TOOLS/bin/python" -m build --outdir "$BUILD/dist" "$ROOT" >"$BUILD/build.log" 2>&1; then
    cat "$BUILD/build.log" >&2
    exit 1
fi
ls "$BUILD"/dist/*.tar.gz >/dev/null
WHEEL=$(ls "$BUILD"/dist/*.whl)
case "$WHEEL" in
    *-cp311-abi3-*.whl) echo "   $(basename "$WHEEL")" ;;
    *) echo "expected one cp311-abi3 wheel, got: $WHEEL" >&2; exit 1 ;;
esac
"$TOOLS/bin/abi3audit" --strict --summary "$WHEEL"
# One shared object, with the type stub beside it and as a stub package.
"$TOOLS/bin/python" - "$WHEEL" <<'PY'
import sys, zipfile
names = zipfile.ZipFile(sys.argv[1]).namelist()
shared = [n for n in names if n.endswith(".so")]
assert shared == ["mnemoweaver_engine_native.abi3.so"], shared
for stub in ("mnemoweaver_engine_native.pyi", "mnemoweaver_engine_native-stubs/__init__.pyi"):
    assert stub in names, f"{stub} is missing from the wheel"
print("   contents: one abi3 shared object and its type stub")
PY

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
echo "== native unit tests of the portable (no SIMD) text routines"
cmake -S "$ROOT" -B "$BUILD/native-portable" -DMNEMO_PYTHON_MODULE=OFF -DMNEMO_BUILD_TESTS=ON \
    -DMNEMO_NO_SIMD=ON >/dev/null
cmake --build "$BUILD/native-portable" >/dev/null
"$BUILD/native-portable/native_tests"

echo "== native hardening checks"
bash "$ROOT/tools/native_checks.sh" "$first_venv/bin/python"

echo "== all tests passed"
