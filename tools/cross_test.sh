#!/usr/bin/env bash
# Builds and tests the engine for a platform this x86-64 Linux machine can
# only reach by cross compiling, running the results under emulation:
#
#   tools/cross_test.sh aarch64
#       The module and the native unit tests cross-built for aarch64 Linux
#       (Debian's aarch64 g++), then the native unit tests and the Python
#       suite run under qemu-user with an aarch64 CPython 3.11 (Debian's
#       arm64 libpython3.11 behind a small launcher). The Python suite runs
#       without the stress-marked tests (long loops and big payloads, which
#       take many minutes under emulation; they run natively in every
#       test run), unless MNEMO_CROSS_STRESS=1.
#   tools/cross_test.sh aarch64 native
#       The native unit tests only (when tools/test_wheels.sh runs the Python
#       suite on the aarch64 wheel).
#   tools/cross_test.sh aarch64 -- COMMAND ARGS...
#       Runs COMMAND (python3 or any path) with that interpreter standing
#       for python3 and the aarch64 module importable, e.g.
#       tools/cross_test.sh aarch64 -- python3 tools/compare_platforms.py ...
#       MNEMO_AARCH64_MODULE_DIR names another directory holding the module
#       (an installed wheel, say) instead of the cross build.
#   tools/cross_test.sh windows
#       The C++ core and its native unit tests cross-built for 64-bit
#       Windows (Debian's MinGW-w64 g++), in the default form and with
#       MNEMO_PORTABLE, and run under wine.
#
# Everything the step needs (Debian's cross compilers, qemu-user, the arm64
# CPython libraries, wine, the test extra's packages for the emulated
# interpreter) is installed on first use; the builds and the interpreter are
# kept under build/cross/ (wine's prefix under ~/.cache), so later runs are
# quick.
set -euo pipefail
CALLER=$PWD
cd "$(dirname "$0")/.."
ROOT=$PWD
CROSS=$ROOT/build/cross
source "$ROOT/tools/system_packages.sh"  # the Debian packages and wine's prefix
TARGET=${1:?usage: tools/cross_test.sh aarch64 [native | -- COMMAND ARGS...] | windows}
shift
mkdir -p "$CROSS"

SUDO=
[ "$(id -u)" = 0 ] || SUDO=sudo
# CMake from PyPI where the machine has none.
command -v cmake >/dev/null || python3 -m pip install --quiet --disable-pip-version-check cmake

# Installs the Debian packages not yet installed, quietly.
apt_install() {
    local missing=() pkg
    for pkg in "$@"; do
        dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "   installing ${missing[*]}"
    $SUDO apt-get update -qq
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
}

elapsed() { echo "   ($((SECONDS - $1)) s)"; }

# run_ctest DIR: the native unit tests of a cross build, through CTest, which
# runs each group under the toolchain file's CMAKE_CROSSCOMPILING_EMULATOR
# (qemu-aarch64, wine64): a line per group, the whole log on failure.
run_ctest() {
    if ! ctest --test-dir "$1" --output-on-failure >"$1.ctest.log" 2>&1; then
        cat "$1.ctest.log" >&2
        return 1
    fi
    sed -n 's/^ *[0-9]*\/[0-9]* Test *#[0-9]*: /   /p' "$1.ctest.log"
}

# cmake_build DIR TOOLCHAIN ARGS...: configures (once) and builds quietly,
# printing the log on failure.
cmake_build() {
    local dir=$1 toolchain=$2
    shift 2
    if ! { cmake -S "$ROOT" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/$toolchain.cmake" \
               -DCMAKE_BUILD_TYPE=Release "$@" && cmake --build "$dir" -j2; } \
           >"$dir.log" 2>&1; then
        cat "$dir.log" >&2
        return 1
    fi
}

# --- aarch64 -----------------------------------------------------------------

AARCH64=$CROSS/aarch64
PY_AARCH64=$AARCH64/bin/python3

aarch64_setup() {
    if ! arm64_added; then
        $SUDO dpkg --add-architecture arm64
        $SUDO apt-get update -qq
    fi
    apt_install "${AARCH64_PACKAGES[@]}"
    mkdir -p "$AARCH64/bin" "$AARCH64/site"
    # The interpreter: CPython's own main, linked against Debian's arm64
    # libpython3.11, whose standard library is /usr/lib/python3.11.
    if [ ! -x "$AARCH64/bin/python3.11-aarch64" ]; then
        printf '%s\n' 'extern int Py_BytesMain(int, char **);' \
            'int main(int argc, char **argv) { return Py_BytesMain(argc, argv); }' \
            >"$AARCH64/launcher.c"
        aarch64-linux-gnu-gcc -O2 -o "$AARCH64/bin/python3.11-aarch64" "$AARCH64/launcher.c" \
            -L/usr/lib/aarch64-linux-gnu -Wl,-rpath-link,/usr/lib/aarch64-linux-gnu -lpython3.11
    fi
    # The name everything calls, sys.executable included (qemu's -0 sets the
    # guest's argv[0], from which CPython takes sys.executable), so that the
    # tests' subprocesses run under emulation too.
    cat >"$PY_AARCH64" <<SH
#!/bin/sh
# aarch64 CPython 3.11 under qemu-user (made by tools/cross_test.sh).
export PYTHONPATH="$AARCH64/site\${PYTHONPATH:+:\$PYTHONPATH}"
exec qemu-aarch64 -0 "\$0" "$AARCH64/bin/python3.11-aarch64" "\$@"
SH
    chmod +x "$PY_AARCH64"
    # The test extra's packages for aarch64 (pure Python, or wheels for
    # aarch64 Linux), put by the host's pip where the emulated interpreter
    # finds them; all but mypy, whose stub checks do not depend on the
    # platform and which would take long under emulation (its tests skip).
    local wanted
    wanted=$(python3 -c 'import tomllib
extra = tomllib.load(open("pyproject.toml", "rb"))["project"]["optional-dependencies"]["test"]
print(" ".join(d for d in extra if not d.startswith("mypy")))')
    if [ "$(cat "$AARCH64/site/.installed" 2>/dev/null)" != "$wanted" ]; then
        # shellcheck disable=SC2086
        python3 -m pip install --quiet --disable-pip-version-check --root-user-action=ignore \
            --target "$AARCH64/site" --python-version 3.11 --implementation cp \
            --platform manylinux_2_17_aarch64 --only-binary=:all: --upgrade $wanted
        echo "$wanted" >"$AARCH64/site/.installed"
    fi
}

aarch64_build() {
    cmake_build "$AARCH64/native" aarch64-linux-gnu -DMNEMO_PYTHON_MODULE=OFF -DMNEMO_BUILD_TESTS=ON
    cmake_build "$AARCH64/module" aarch64-linux-gnu -DPython_EXECUTABLE="$(command -v python3)" \
        -DPython_INCLUDE_DIR=/usr/include/python3.11
}

if [ "$TARGET" = aarch64 ]; then
    start=$SECONDS
    echo "== aarch64: toolchain, qemu-user and CPython 3.11 (arm64)"
    aarch64_setup
    echo "== aarch64: cross build"
    aarch64_build
    elapsed "$start"
    export PYTHONPATH="${MNEMO_AARCH64_MODULE_DIR:-$AARCH64/module}${PYTHONPATH:+:$PYTHONPATH}"
    if [ "${1:-}" = -- ]; then
        shift
        [ "${1:-}" = python3 ] && { shift; set -- "$PY_AARCH64" "$@"; }
        cd "$CALLER"
        exec "$@"
    fi
    "$PY_AARCH64" -c 'import platform, mnemoweaver_engine_native as m
print("   interpreter:", platform.machine(), platform.python_version(), "module:", m.__file__)'
    start=$SECONDS
    echo "== aarch64: native unit tests under qemu-user"
    run_ctest "$AARCH64/native"
    elapsed "$start"
    [ "${1:-}" = native ] && exit 0
    start=$SECONDS
    echo "== aarch64: Python tests under qemu-user"
    select=(-m "not stress")
    [ "${MNEMO_CROSS_STRESS:-0}" = 1 ] && select=()
    # No speed checks of hypothesis under emulation (tests/conftest.py).
    "$PY_AARCH64" -m pytest -q -rs --hypothesis-profile=emulated -p no:cacheprovider "${select[@]}"
    elapsed "$start"
    exit 0
fi

# --- windows -----------------------------------------------------------------

if [ "$TARGET" = windows ]; then
    WINDOWS=$CROSS/windows
    mkdir -p "$WINDOWS"
    echo "== windows: MinGW-w64 g++ and wine"
    apt_install "${WINDOWS_PACKAGES[@]}"
    # wine's prefix links its drive z: to / : it lives outside the source
    # tree, which the sdist's file walk would otherwise follow.
    export WINEPREFIX=$WINE_PREFIX
    export WINEDEBUG=-all
    for form in default portable; do
        start=$SECONDS
        echo "== windows ($form): cross build of the core and its native unit tests, run under wine"
        flags=(-DMNEMO_PYTHON_MODULE=OFF -DMNEMO_BUILD_TESTS=ON)
        [ "$form" = portable ] && flags+=(-DMNEMO_PORTABLE=ON)
        cmake_build "$WINDOWS/$form" x86_64-w64-mingw32 "${flags[@]}"
        run_ctest "$WINDOWS/$form"
        elapsed "$start"
    done
    exit 0
fi

echo "unknown target: $TARGET (aarch64 or windows)" >&2
exit 2
