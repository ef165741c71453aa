#!/usr/bin/env bash
# On an X server without GLX, Wine's CreateDXGIFactory fails, and JUCE, which
# uses the factory unchecked, crashes. The proxy's factory still comes about,
# with no adapters. Runs dxgi_probe.exe on an Xvfb of its own without GLX.
#   probe-without-glx.sh WINE_EXEC WINEPREFIX PROBE
set -uo pipefail
wine_exec="$1" prefix="$2" probe="$3"
source "$(dirname "$wine_exec")/wine.sh"

KELVANE_FORCE_XVFB=1 kelvane_display --without-glx || { echo "FAIL: could not start Xvfb"; exit 1; }
trap kelvane_display_stop EXIT

output=$(timeout 30 "$wine_exec" "$prefix" "$probe" 2>&1 | tr -d '\r')
echo "$output"
grep -qx "factory 0x00000000" <<<"$output" && grep -qx "adapters 0" <<<"$output" ||
    { echo "FAIL: no factory, or one with adapters, without GLX"; exit 1; }
