#!/usr/bin/env bash
# Tests the wheels that tools/build_wheels.sh left in dist/:
#   x86_64   the manylinux x86_64 wheel, installed into a fresh virtual
#            environment of each of CPython 3.11, 3.12 and 3.13 (pyenv's or
#            python3.X on PATH; one that is missing fails the step), with
#            the Python suite (tests/ and the README's examples) run in each;
#   aarch64  the manylinux aarch64 wheel, installed for the emulated aarch64
#            CPython 3.11 of tools/cross_test.sh, with the Python suite run
#            under qemu-user (without the stress-marked tests).
#
# Usage: tools/test_wheels.sh [x86_64] [aarch64]   (both by default)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
WORK=$ROOT/build/wheel-tests
mkdir -p "$WORK"
[ $# -gt 0 ] || set -- x86_64 aarch64

wheel_of() {
    local found
    found=$(ls "$ROOT"/dist/*-cp311-abi3-manylinux*_"$1".whl 2>/dev/null) || {
        echo "no manylinux $1 wheel in dist/: run tools/build_wheels.sh" >&2
        return 1
    }
    echo "$found"
}

python_of() {
    local minor=$1 candidate
    if command -v pyenv >/dev/null; then
        for candidate in "$(pyenv root)"/versions/3."$minor".*/bin/python3; do
            [ -x "$candidate" ] && { echo "$candidate"; return 0; }
        done
    fi
    command -v "python3.$minor" || { echo "CPython 3.$minor not found" >&2; return 1; }
}

for arch in "$@"; do
    WHEEL=$(wheel_of "$arch")
    start=$SECONDS
    case "$arch" in
        x86_64)
            for minor in 11 12 13; do
                PY=$(python_of "$minor")
                VENV=$WORK/venv-3.$minor
                echo "== $(basename "$WHEEL") on CPython 3.$minor"
                rm -rf "$VENV"
                "$PY" -m venv "$VENV"
                "$VENV/bin/python" -m pip install --quiet --disable-pip-version-check "$WHEEL[test]"
                "$VENV/bin/python" -m pytest -q -rs -p no:cacheprovider
            done
            ;;
        aarch64)
            echo "== $(basename "$WHEEL") on the emulated aarch64 CPython 3.11"
            TARGET=$WORK/aarch64
            rm -rf "$TARGET"
            python3 -m pip install --quiet --disable-pip-version-check --root-user-action=ignore \
                --no-deps --target "$TARGET" --python-version 3.11 --implementation cp \
                --platform "$(basename "$WHEEL" .whl | sed 's/.*-abi3-//; s/\..*//')" \
                --only-binary=:all: "$WHEEL"
            MNEMO_AARCH64_MODULE_DIR=$TARGET bash tools/cross_test.sh aarch64 -- python3 -c \
                'import mnemoweaver_engine_native as m; print("   module:", m.__file__)'
            # No speed checks of hypothesis under emulation (tests/conftest.py).
            MNEMO_AARCH64_MODULE_DIR=$TARGET bash tools/cross_test.sh aarch64 -- python3 -m pytest \
                -q -rs --hypothesis-profile=emulated -p no:cacheprovider -m "not stress"
            ;;
        *) echo "unknown architecture: $arch (x86_64 or aarch64)" >&2; exit 2 ;;
    esac
    echo "   ($((SECONDS - start)) s)"
done
