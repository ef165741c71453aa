# Sourced by scripts/run and scripts/test: everything up to a built tree.
#   KELVANE_BUILD_DIR   the build tree (default: build/ in the checkout)

kelvane_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$kelvane_root/scripts/lib/packages.sh"
source "$kelvane_root/scripts/lib/imagelibs.sh"
source "$kelvane_root/scripts/lib/dfuutil.sh"
source "$kelvane_root/scripts/lib/wine.sh"

# One compile job per core, but no more than the free memory holds: a JUCE
# module at -O3 takes up to 2 GiB, and several build trees may be building on
# one machine at once.
kelvane_build_jobs() {
    local cores available_kib jobs
    cores=$(nproc)
    available_kib=$(awk '/^MemAvailable:/ { print $2 }' /proc/meminfo)
    jobs=$(( ${available_kib:-0} / (2 * 1024 * 1024) ))
    [ "$jobs" -gt "$cores" ] && jobs=$cores
    [ "$jobs" -lt 1 ] && jobs=1
    echo "$jobs"
}

kelvane_build() {
    kelvane_install_packages || return 1
    KELVANE_BUILD_DIR="$(realpath -m "${KELVANE_BUILD_DIR:-$kelvane_root/build}")"
    export KELVANE_BUILD_DIR
    KELVANE_IMAGE_LIBS="$(kelvane_build_image_libs)" || return 1
    export KELVANE_IMAGE_LIBS
    KELVANE_DFU_UTIL="$(kelvane_build_dfu_util)" || return 1
    export KELVANE_DFU_UTIL
    cmake --preset windows -S "$kelvane_root" -B "$KELVANE_BUILD_DIR" >/dev/null || return 1
    cmake --build "$KELVANE_BUILD_DIR" -j "$(kelvane_build_jobs)" || return 1
    kelvane_wine_prefix "$KELVANE_BUILD_DIR/wine" &&
        kelvane_wine_dxgi_proxy "$KELVANE_BUILD_DIR/wine" "$KELVANE_BUILD_DIR/tests/wine/dxgi_proxy/dxgi.dll"
}
