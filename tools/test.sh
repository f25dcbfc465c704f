#!/usr/bin/env bash
# The whole test suite: the nox sessions of noxfile.py, in the order of STEPS.
#
#   bash tools/test.sh             every step (CI runs this)
#   bash tools/test.sh --quick     the wheel and the Python tests on 3.11 only
#   bash tools/test.sh SESSION...  the sessions named (see `nox -l`)
#
# nox itself lives in build/test/tools, and each session installs what it
# uses (CMake and Ninja among it) into its own environment, so nothing is
# taken from PATH but the CPython interpreters. A CPython 3.11-3.13 that is
# not installed is skipped with a warning, unless MNEMO_REQUIRE_ALL_PYTHONS=1
# (as in CI), which makes it a failure. Everything made goes under build/.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=$ROOT/build/test
TOOLS=$BUILD/tools

# The steps, in order. A new step is a session in noxfile.py named here.
STEPS=(wheel tests-3.11 tests-3.12 tests-3.13 aarch64 windows platforms native)
QUICK_STEPS=(wheel tests-3.11)
case "${1:-}" in
    "") ;;
    --quick) STEPS=("${QUICK_STEPS[@]}") ;;
    -*) echo "usage: bash tools/test.sh [--quick | SESSION...]" >&2; exit 2 ;;
    *) STEPS=("$@") ;;
esac

# pip's notices about this machine's own configuration are not the suite's.
export PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_NO_WARN_SCRIPT_LOCATION=1
# Caches of the tools run by the tests stay out of the tracked folders.
export PYTHONPYCACHEPREFIX=$BUILD/pycache HYPOTHESIS_STORAGE_DIRECTORY=$BUILD/hypothesis
# CMake builds with Ninja, at most two jobs (the machine has two cores).
export CMAKE_GENERATOR=Ninja CMAKE_BUILD_PARALLEL_LEVEL=2

find_python() {  # the directory of python3.MINOR, from pyenv or PATH
    local minor=$1 candidate
    if command -v pyenv >/dev/null 2>&1; then
        for candidate in "$(pyenv root)"/versions/3."$minor".*/bin/python3."$minor"; do
            [ -x "$candidate" ] && { dirname "$candidate"; return 0; }
        done
    fi
    for candidate in "python3.$minor" "/usr/bin/python3.$minor" "/usr/local/bin/python3.$minor"; do
        if "$candidate" -c 'import sys' >/dev/null 2>&1; then
            dirname "$(command -v "$candidate")"
            return 0
        fi
    done
    return 1
}

# nox finds each interpreter as python3.MINOR on PATH.
for minor in 13 12 11; do
    if dir=$(find_python "$minor"); then
        PATH=$dir:$PATH
    fi
done
export PATH

echo "== nox in $TOOLS"
if [ ! -x "$TOOLS/bin/python" ]; then
    builder=python3
    dir=$(find_python 11) && builder=$dir/python3.11
    "$builder" -m venv "$TOOLS"
fi
"$TOOLS/bin/python" -m pip install -qq "nox>=2024.10.9"

missing=--no-error-on-missing-interpreters
[ "${MNEMO_REQUIRE_ALL_PYTHONS:-0}" = 1 ] && missing=--error-on-missing-interpreters
start=$SECONDS
"$TOOLS/bin/nox" --noxfile "$ROOT/noxfile.py" --envdir "$BUILD/nox" --download-python never \
    "$missing" --sessions "${STEPS[@]}"
echo "== all tests passed in $(((SECONDS - start) / 60)) min $(((SECONDS - start) % 60)) s"
