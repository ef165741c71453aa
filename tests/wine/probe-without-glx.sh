#!/usr/bin/env bash
# On an X server without GLX, Wine's CreateDXGIFactory fails, and JUCE, which
# uses the factory unchecked, crashes. The proxy's factory still comes about,
# with no adapters. Runs dxgi_probe.exe on an Xvfb of its own without GLX.
#   probe-without-glx.sh WINE_EXEC WINEPREFIX PROBE
set -uo pipefail
wine_exec="$1" prefix="$2" probe="$3"

for n in $(seq 150 200); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -extension GLX -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    for i in $(seq 1 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
    [ -e "/tmp/.X11-unix/X$n" ] && break
    kill "$xvfb" 2>/dev/null; xvfb=
done
[ -n "${xvfb:-}" ] || { echo "FAIL: could not start Xvfb"; exit 1; }
trap 'kill "$xvfb" 2>/dev/null' EXIT

output=$(DISPLAY=":$n" timeout 30 "$wine_exec" "$prefix" "$probe" 2>&1 | tr -d '\r')
echo "$output"
grep -qx "factory 0x00000000" <<<"$output" && grep -qx "adapters 0" <<<"$output" ||
    { echo "FAIL: no factory, or one with adapters, without GLX"; exit 1; }
