# Sourced by the build scripts. Debian's JUCE has its bundled libpng and
# libjpeg removed, and Debian ships neither for mingw: cross-build both from
# Debian's own source packages, once, into a cache keyed by their versions.

source "$(dirname "${BASH_SOURCE[0]}")/debsrc.sh"

kelvane_make_image_libs() {  # prefix png-version jpeg-version
    local prefix="$1" png_ver="$2" jpeg_ver="$3"
    echo "Cross-building libjpeg-turbo $jpeg_ver and libpng $png_ver" >&2
    local tc
    tc="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/cmake/mingw-w64-x86_64.cmake"
    local common=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$tc" -DCMAKE_BUILD_TYPE=Release
                  -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_CROSSCOMPILING_EMULATOR=)

    local src
    src=$(kelvane_fetch_source libjpeg-turbo "$jpeg_ver" "$prefix/jpeg") || return 1
    cmake -S "$src" -B "$prefix/jpeg.build" "${common[@]}" -DWITH_SIMD=OFF \
          -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF >&2 &&
        cmake --build "$prefix/jpeg.build" -j "$(nproc)" >&2 &&
        cmake --install "$prefix/jpeg.build" >&2 || return 1
    # JUCE builds its JPEG reader with JPEG_INTERNALS, which needs jpegint.h.
    cp "$src/jpegint.h" "$prefix/include/"

    src=$(kelvane_fetch_source libpng1.6 "$png_ver" "$prefix/png") || return 1
    cmake -S "$src" -B "$prefix/png.build" "${common[@]}" -DPNG_SHARED=OFF \
          -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
          -DZLIB_ROOT=/usr/x86_64-w64-mingw32 >&2 &&
        cmake --build "$prefix/png.build" -j "$(nproc)" >&2 &&
        cmake --install "$prefix/png.build" >&2 || return 1

    rm -rf "$prefix/jpeg.src" "$prefix/png.src" "$prefix/jpeg.build" "$prefix/png.build"
}

# Prints the install prefix holding include/ and lib/ for both libraries.
kelvane_build_image_libs() {
    KELVANE_APT_CONF=$(kelvane_apt_src) || return 1
    local png_ver jpeg_ver
    png_ver=$(kelvane_src_version libpng1.6)
    jpeg_ver=$(kelvane_src_version libjpeg-turbo)
    [ -n "$png_ver" ] && [ -n "$jpeg_ver" ] || { echo "no source versions found" >&2; return 1; }

    local prefix
    prefix="$(kelvane_cache_root)/imagelibs/png-${png_ver//:/_}-jpeg-${jpeg_ver//:/_}"
    kelvane_cached_build "$prefix" kelvane_make_image_libs "$png_ver" "$jpeg_ver" || return 1
    echo "$prefix"
}
