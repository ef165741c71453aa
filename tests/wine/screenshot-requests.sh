#!/usr/bin/env bash
# How scripts/lib/screenshot takes a program's requests: pictures of good
# names are saved in the output folder and nowhere else, bad requests are
# answered as errors and fail the run, --expect notices a missing look, and
# the exit code that the program said it would end with stands in for a kill
# at its exit, and for nothing else.
#   screenshot-requests.sh SCREENSHOT_TOOL WINEPREFIX PROGRAM WORK_DIR
set -uo pipefail
tool="$1" prefix="$2" program="$3" work="$4"
rm -rf "$work"; mkdir -p "$work/out"
status=0
fail() { echo "FAIL: $*"; status=1; }

log="$work/good.log"
"$tool" --out "$work/out" --prefix "$prefix" --timeout 30 --expect corner --expect "v1.0_page-2" "$program" \
    "shot corner 0 0 16 8" "shot v1.0_page-2 10 10 4 4" "click 5 5" >"$log" 2>&1 ||
    fail "good requests failed: $(cat "$log")"
[ "$(grep -c '^answer ok' "$log")" -eq 3 ] || fail "not every good request was answered ok: $(cat "$log")"
[ "$(identify -format '%wx%h' "$work/out/corner.png" 2>/dev/null)" = 16x8 ] || fail "corner.png is not 16x8"
[ -f "$work/out/v1.0_page-2.png" ] || fail "v1.0_page-2.png is missing"

bad=("shot ../escaped 0 0 4 4" "shot /tmp/escaped 0 0 4 4" "shot .hidden 0 0 4 4" "shot sub/dir 0 0 4 4"
     "shot a 0 0 0 4" "shot a 0 0 4" "shot a x 0 4 4" "shot a 0 0 4 4 extra" "shot a\$(touch\ escaped) 0 0 4 4"
     "click 5" "click 5 y" "zoom 1 2")
for request in "${bad[@]}"; do
    log="$work/bad.log"
    if "$tool" --out "$work/out/bad" --prefix "$prefix" --timeout 30 "$program" "$request" >"$log" 2>&1; then
        fail "'$request' did not fail the run"
    fi
    grep -q '^answer error' "$log" || fail "'$request' was not answered as an error: $(cat "$log")"
done
[ -z "$(find "$work" -name '*escaped*')" ] && [ ! -e "$work/out/.hidden.png" ] ||
    fail "a bad name made a file: $(find "$work" -name '*escaped*' -o -name '.hidden*')"

log="$work/missing.log"
if "$tool" --out "$work/out" --prefix "$prefix" --timeout 30 --expect never "$program" "shot corner 0 0 4 4" \
    >"$log" 2>&1; then
    fail "--expect of a look never asked for passed"
fi
grep -q 'never.png was not saved' "$log" || fail "--expect did not say what was missing: $(cat "$log")"
# The program's requests and the tool's exit code. 137 is how a program that
# Wine ended by force shows.
ends=("0|end 0|exit:137" "3|end 3|exit:137" "1|end 0|exit:1" "137|exit:137" "1|end x|exit:0" "4|end 0|exit:4")
for row in "${ends[@]}"; do
    want="${row%%|*}"
    IFS='|' read -r -a requests <<<"${row#*|}"
    "$tool" --out "$work/out/end" --prefix "$prefix" --timeout 30 "$program" "${requests[@]}" >"$work/end.log" 2>&1
    got=$?
    [ "$got" -eq "$want" ] || fail "${requests[*]}: the tool ended with $got, not $want: $(cat "$work/end.log")"
done
exit $status
