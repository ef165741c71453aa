# Sourced by the build scripts. The updater runs dfu-util.exe from its own
# folder, and Debian ships no Windows build of it: cross-build it, linked
# statically with libusb, from Debian's own source packages of both as Debian
# ships them, with their own configure scripts and no changes of ours, once,
# into a cache keyed by their versions.

source "$(dirname "${BASH_SOURCE[0]}")/debsrc.sh"

kelvane_make_dfu_util() {  # dir dfu-util-version libusb-version
    local dir="$1" dfu_ver="$2" usb_ver="$3"
    echo "Cross-building libusb-1.0 $usb_ver and dfu-util $dfu_ver" >&2
    local host=x86_64-w64-mingw32
    local tools=(CC="$host-gcc-posix" AR="$host-gcc-ar-posix" RANLIB="$host-gcc-ranlib-posix")
    local usb="$dir/libusb.install"

    local src
    src=$(kelvane_fetch_source libusb-1.0 "$usb_ver" "$dir/libusb") || return 1
    (cd "$src" &&
        ./configure -q --host=$host --prefix="$usb" --enable-static --disable-shared "${tools[@]}" &&
        make -j "$(nproc)" &&
        make install) >&2 || return 1

    src=$(kelvane_fetch_source dfu-util "$dfu_ver" "$dir/dfu-util") || return 1
    (cd "$src" &&
        PKG_CONFIG_LIBDIR="$usb/lib/pkgconfig" PKG_CONFIG_PATH="$usb/lib/pkgconfig" \
            ./configure -q --host=$host "${tools[@]}" LDFLAGS=-static &&
        make -j "$(nproc)") >&2 || return 1

    # Symbols are of no use to a user; without them the exe is a fifth the size.
    $host-strip -o "$dir/dfu-util.exe" "$src/src/dfu-util.exe" || return 1
    rm -rf "$dir/libusb.src" "$dir/dfu-util.src" "$usb"
}

# Prints the path of the built dfu-util.exe.
kelvane_build_dfu_util() {
    KELVANE_APT_CONF=$(kelvane_apt_src) || return 1
    local dfu_ver usb_ver
    dfu_ver=$(kelvane_src_version dfu-util)
    usb_ver=$(kelvane_src_version libusb-1.0)
    [ -n "$dfu_ver" ] && [ -n "$usb_ver" ] || { echo "no source versions found" >&2; return 1; }

    local dir
    dir="$(kelvane_cache_root)/dfu-util/dfu-util-${dfu_ver//:/_}-libusb-${usb_ver//:/_}"
    kelvane_cached_build "$dir" kelvane_make_dfu_util "$dfu_ver" "$usb_ver" || return 1
    echo "$dir/dfu-util.exe"
}
