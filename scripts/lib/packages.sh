# Sourced by scripts/run and scripts/test: installs the Debian packages the
# cross-build and the Wine test environment need, once per machine.

kelvane_packages=(
    cmake ninja-build make pkg-config dpkg-dev ca-certificates
    gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix
    binutils-mingw-w64-x86-64 mingw-w64-tools mingw-w64-x86-64-dev
    libz-mingw-w64-dev juce-modules-source googletest
    wine wine64 xvfb xauth x11-apps imagemagick
    fonts-roboto-unhinted hwdata
    gcc-mingw-w64-i686-posix
    gcc g++ libgtest-dev
    xdotool
    openssl
    clang libclang-rt-14-dev
    stress-ng
)

kelvane_install_packages() {
    local missing=()
    local p
    for p in "${kelvane_packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get -o DPkg::Lock::Timeout=600 update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${missing[@]}"
}
