# What the test steps install or write outside the checkout, in one place:
# sourced by tools/cross_test.sh, which installs it on first use, and by
# tools/test.sh, which says what a run will change before it starts.

# The aarch64 steps (the aarch64 wheel, its tests, the comparison of answers)
# add Debian's arm64 architecture to dpkg and install these.
AARCH64_PACKAGES=(g++-aarch64-linux-gnu qemu-user libpython3.11:arm64 libpython3.11-stdlib:arm64
    libpython3.11-dev:arm64 libstdc++6:arm64)
# The windows step installs these, and wine makes its prefix (about 700 MB)
# here on its first start.
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix wine64)
WINE_PREFIX=${MNEMO_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/mnemoweaver-wine}

# missing_packages PACKAGE...: those of the Debian packages named that are
# not installed, one a line.
missing_packages() {
    local pkg
    for pkg in "$@"; do
        dpkg -s "$pkg" >/dev/null 2>&1 || echo "$pkg"
    done
}

# arm64_added: whether dpkg already knows the arm64 architecture.
arm64_added() {
    dpkg --print-foreign-architectures 2>/dev/null | grep -qx arm64
}
