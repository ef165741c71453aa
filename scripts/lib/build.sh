# Sourced by scripts/run and scripts/test: everything up to a built tree.
#   KELVANE_BUILD_DIR   the build tree (default: build/ in the checkout)

kelvane_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$kelvane_root/scripts/lib/packages.sh"
source "$kelvane_root/scripts/lib/imagelibs.sh"
source "$kelvane_root/scripts/lib/dfuutil.sh"
source "$kelvane_root/scripts/lib/wine.sh"

kelvane_build() {
    kelvane_install_packages || return 1
    KELVANE_BUILD_DIR="$(realpath -m "${KELVANE_BUILD_DIR:-$kelvane_root/build}")"
    export KELVANE_BUILD_DIR
    KELVANE_IMAGE_LIBS="$(kelvane_build_image_libs)" || return 1
    export KELVANE_IMAGE_LIBS
    KELVANE_DFU_UTIL="$(kelvane_build_dfu_util)" || return 1
    export KELVANE_DFU_UTIL
    cmake --preset windows -S "$kelvane_root" -B "$KELVANE_BUILD_DIR" >/dev/null || return 1
    cmake --build "$KELVANE_BUILD_DIR" -j "$(nproc)" || return 1
    kelvane_wine_prefix "$KELVANE_BUILD_DIR/wine" &&
        kelvane_wine_dxgi_proxy "$KELVANE_BUILD_DIR/wine" "$KELVANE_BUILD_DIR/tests/wine/dxgi_proxy/dxgi.dll"
}
