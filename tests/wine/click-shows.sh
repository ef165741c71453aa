#!/usr/bin/env bash
# Clicks the button of click_shows.exe through scripts/lib/screenshot, first
# with the prefix's dxgi proxy, then with Wine's own dxgi, and keeps the
# pictures of each (with_proxy/, wines_own/ under OUT_DIR). Passes when the
# click shows with the proxy: the button is red before and green after.
# With Wine's own dxgi it only tells what it saw (Wine 8: no change).
#   click-shows.sh SCREENSHOT_TOOL WINEPREFIX PROGRAM OUT_DIR
set -uo pipefail
tool="$1" prefix="$2" program="$3" out="$4"

# The button's middle pixel as "R G B".
middle() {
    convert "$1" -format '%[fx:int(255*p{w/2,h/2}.r+0.5)] %[fx:int(255*p{w/2,h/2}.g+0.5)] %[fx:int(255*p{w/2,h/2}.b+0.5)]' info:
}

near() {  # "R G B" R G B
    local got=($1)
    local i want=("$2" "$3" "$4")
    for i in 0 1 2; do
        local d=$((got[i] - want[i]))
        [ ${d#-} -le 8 ] || return 1
    done
}

rm -rf "$out"
"$tool" --out "$out/with_proxy" --prefix "$prefix" --timeout 120 "$program" || { echo "FAIL: the run with the proxy failed"; exit 1; }
before=$(middle "$out/with_proxy/before.png") && after=$(middle "$out/with_proxy/after.png") || exit 1
echo "with the proxy: before $before, after $after"
status=0
near "$before" 208 32 32 || { echo "FAIL: the button is not red before the click"; status=1; }
near "$after" 32 176 32 || { echo "FAIL: the click does not show: the button is not green after it"; status=1; }

WINEDLLOVERRIDES="mscoree,mshtml=;dxgi=b;winedbg.exe=d" \
    "$tool" --out "$out/wines_own" --prefix "$prefix" --timeout 120 "$program"
before=$(middle "$out/wines_own/before.png") && after=$(middle "$out/wines_own/after.png") &&
    if [ "$before" = "$after" ]; then
        echo "with Wine's own dxgi: the click does not show (before and after $before)"
    else
        echo "with Wine's own dxgi: the click shows (before $before, after $after): the proxy may no longer be needed"
    fi
exit $status
