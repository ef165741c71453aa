# Sourced by scripts/run, scripts/test and the tools beside this: a Wine
# prefix inside the build tree, a persistent wineserver for it, and an X
# display to draw on.

kelvane_wine=/usr/lib/wine/wine64
kelvane_wineserver=/usr/lib/wine/wineserver64

# dxgi: the prefix's own (tests/wine/dxgi_proxy), without which JUCE's windows
# never repaint after their first frame. winedbg: a crashing program ends at
# once instead of leaving a debugger that holds CTest's output pipe open.
kelvane_wine_env() {  # prefix
    export WINEPREFIX="$1" WINEARCH=win64
    export WINEDEBUG="${WINEDEBUG:--all}"
    export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;dxgi=n,b;winedbg.exe=d}"
}

# Makes the prefix once. Its Documents folder is made a folder of the prefix's
# own, so the tests' log files never land in the user's home.
kelvane_wine_prefix() {  # prefix
    local prefix="$1"
    [ -f "$prefix/.kelvane-ready" ] && return 0
    echo "Making the Wine prefix $prefix" >&2
    rm -rf "$prefix"; mkdir -p "$prefix"
    (kelvane_wine_env "$prefix"; "$kelvane_wine" wineboot -i >/dev/null 2>&1; "$kelvane_wineserver" -w)
    local user_dir
    for user_dir in "$prefix"/drive_c/users/*/; do
        [ -L "$user_dir/Documents" ] && rm -f "$user_dir/Documents" && mkdir -p "$user_dir/Documents"
    done
    touch "$prefix/.kelvane-ready"
}

# Puts the dxgi.dll built in tests/wine/dxgi_proxy into the prefix, and Wine's
# own beside it as wine_dxgi.dll, where ours finds it. Wine's sits in
# system32 as dxgi.dll until ours replaces it, and again after Wine updates
# the prefix: it is told from ours by the mark Wine puts in its own DLLs.
kelvane_wine_dxgi_proxy() {  # prefix proxy-dll
    local system32="$1/drive_c/windows/system32"
    [ -f "$2" ] || { echo "no dxgi proxy at $2" >&2; return 1; }
    if head -c 256 "$system32/dxgi.dll" 2>/dev/null | grep -qa "Wine builtin DLL"; then
        kelvane_replace_file "$system32/dxgi.dll" "$system32/wine_dxgi.dll" || return 1
    fi
    [ -f "$system32/wine_dxgi.dll" ] || { echo "Wine's own dxgi.dll is missing from $system32" >&2; return 1; }
    cmp -s "$2" "$system32/dxgi.dll" || kelvane_replace_file "$2" "$system32/dxgi.dll"
}

# Copies by renaming a new file into place: a running program that has the
# old one mapped keeps it whole.
kelvane_replace_file() {  # from to
    cp "$1" "$2.new" && mv -f "$2.new" "$2"
}

# A wineserver that stays up between test programs: a process then starts in
# milliseconds instead of most of a second.
# The prefix's own services (services.exe, plugplay, winedevice) start with
# the first program and outlive it; they are started here, with no standard
# handles of ours, because one that inherits a test's output pipe keeps CTest
# waiting for that test to end.
kelvane_wineserver_start() {  # prefix
    (kelvane_wine_env "$1"; "$kelvane_wineserver" -p
     "$kelvane_wine" cmd /c exit </dev/null >/dev/null 2>&1)
}

kelvane_wineserver_stop() {  # prefix
    (kelvane_wine_env "$1"; "$kelvane_wineserver" -k 2>/dev/null || true)
}

# Starts an Xvfb of our own when there is no display; sets DISPLAY.
#   kelvane_display [--without-glx]
kelvane_xvfb_pid=
kelvane_display() {
    # GLX, which Xvfb has by default, named all the same: without it
    # Wine's CreateDXGIFactory fails and JUCE's windows crash.
    local glx=+extension
    [ "${1:-}" = --without-glx ] && glx=-extension
    if [ -n "${DISPLAY:-}" ] && [ -z "${KELVANE_FORCE_XVFB:-}" ]; then return 0; fi
    local n
    for n in $(seq 90 140); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 "$glx" GLX -nolisten tcp >/dev/null 2>&1 &
        kelvane_xvfb_pid=$!
        local i
        # Two runs may race for one number: the display is ours only when
        # the server that holds its lock file is the one started here.
        for i in $(seq 1 100); do
            kill -0 "$kelvane_xvfb_pid" 2>/dev/null || break
            if [ -e "/tmp/.X11-unix/X$n" ] &&
               [ "$(tr -d ' \n' <"/tmp/.X$n-lock" 2>/dev/null)" = "$kelvane_xvfb_pid" ]; then
                export DISPLAY=":$n"; return 0
            fi
            sleep 0.05
        done
        kill "$kelvane_xvfb_pid" 2>/dev/null; kelvane_xvfb_pid=
    done
    echo "could not start Xvfb" >&2
    return 1
}

kelvane_display_stop() {
    [ -n "$kelvane_xvfb_pid" ] && kill "$kelvane_xvfb_pid" 2>/dev/null
    kelvane_xvfb_pid=
}
