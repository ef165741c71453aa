# Sourced by the build scripts. Debian's JUCE has its bundled libpng and
# libjpeg removed, and Debian ships neither for mingw: cross-build both from
# Debian's own source packages, once, into a cache keyed by their versions.

kelvane_cache_root() {
    echo "${KELVANE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kelvane-updater}"
}

# A private apt configuration with one deb-src line, so that nothing
# system-wide changes just to fetch two source packages.
kelvane_apt_src() {
    local dir
    dir="$(kelvane_cache_root)/apt-src"
    if [ ! -f "$dir/apt.conf" ]; then
        mkdir -p "$dir/lists/partial" "$dir/cache/archives/partial" "$dir/etc"
        local uri keyring
        uri=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null)
        keyring=$(awk '/^Signed-By:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null)
        : "${uri:=http://deb.debian.org/debian}"
        : "${keyring:=/usr/share/keyrings/debian-archive-keyring.gpg}"
        echo "deb-src [signed-by=$keyring] $uri bookworm main" > "$dir/etc/sources.list"
        cat > "$dir/apt.conf" <<CONF
Dir::Etc::SourceList "$dir/etc/sources.list";
Dir::Etc::SourceParts "";
Dir::State::Lists "$dir/lists";
Dir::Cache "$dir/cache";
CONF
    fi
    if [ -z "$(ls "$dir/lists" 2>/dev/null | grep -v partial)" ]; then
        APT_CONFIG="$dir/apt.conf" apt-get update -q >&2
    fi
    echo "$dir/apt.conf"
}

kelvane_src_version() {  # package
    APT_CONFIG="$KELVANE_APT_CONF" apt-cache showsrc "$1" 2>/dev/null |
        awk '/^Version:/ {print $2}' | sort -V | tail -n 1
}

kelvane_fetch_source() {  # package version dest
    local work="$3.src"
    rm -rf "$work"; mkdir -p "$work"
    (cd "$work" && APT_CONFIG="$KELVANE_APT_CONF" apt-get source -q "$1=$2" >&2) || return 1
    find "$work" -mindepth 1 -maxdepth 1 -type d | head -n 1
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
    if [ -f "$prefix/.done" ]; then echo "$prefix"; return 0; fi

    echo "Cross-building libjpeg-turbo $jpeg_ver and libpng $png_ver" >&2
    rm -rf "$prefix"; mkdir -p "$prefix"
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
    touch "$prefix/.done"
    echo "$prefix"
}
