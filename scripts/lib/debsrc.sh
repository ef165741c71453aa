# Sourced by the build scripts. What Debian ships only as source for mingw is
# cross-built from Debian's own source packages, once, into a cache keyed by
# their versions; this is the fetching and the caching those builds share.

kelvane_cache_root() {
    echo "${KELVANE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kelvane-updater}"
}

# A private apt configuration with one deb-src line, so that nothing
# system-wide changes just to fetch a few source packages.
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

# Prints the unpacked source tree, Debian's patches applied.
kelvane_fetch_source() {  # package version dest
    local work="$3.src"
    rm -rf "$work"; mkdir -p "$work"
    (cd "$work" && APT_CONFIG="$KELVANE_APT_CONF" apt-get source -q "$1=$2" >&2) || return 1
    find "$work" -mindepth 1 -maxdepth 1 -type d | head -n 1
}

# Makes the cache folder `dest` with `builder dir args...` unless it is there.
# The builder fills a folder of its own beside it, which takes dest's name
# only when it is whole: another build reading dest meanwhile, or one making
# it at the same time, never sees a half-made folder.
kelvane_cached_build() {  # dest builder args...
    local dest="$1" builder="$2"
    shift 2
    [ -f "$dest/.done" ] && return 0

    local work="$dest.building.$$"
    rm -rf "$work"
    mkdir -p "$work" || return 1
    if ! "$builder" "$work" "$@"; then
        rm -rf "$work"
        return 1
    fi
    touch "$work/.done"
    # A half-made dest, left by a build that wrote into it directly, goes; a
    # whole one that another build renamed into place meanwhile stays, and
    # ours goes.
    [ -d "$dest" ] && [ ! -f "$dest/.done" ] && rm -rf "$dest"
    mv -T "$work" "$dest" 2>/dev/null || rm -rf "$work"
    [ -f "$dest/.done" ]
}
