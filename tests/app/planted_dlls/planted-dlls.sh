#!/usr/bin/env bash
# Plants a DLL of our own (PlantedDll.c) under each given name beside a copy
# of a program in a fresh folder of the prefix's user, runs it there, and
# tells which of the planted files left their "<name>.loaded" marker.
#
# Each planted name is set native first for the run (WINEDLLOVERRIDES of the
# run's own processes): Windows' order for a DLL that is not a known DLL,
# where the program's folder comes first. Wine otherwise prefers its builtin
# and the test would pass for Wine's sake. The prefix's own DLL overrides
# are never changed.
#
#   planted-dlls.sh probe PREFIX PLANTED_DLL PLAIN_PROBE MENDED_PROBE DLL...
#       The plainly linked probe must leave every marker and report every
#       DLL from its own folder (the planting works); the probe built as the
#       updater is must leave none and report every DLL from System32.
#   planted-dlls.sh updater PREFIX PLANTED_DLL UPDATER OUT_DIR DLL...
#       The updater must leave no marker, and show its window with its first
#       page painted (OUT_DIR/first_page.png). See below for version.dll and
#       imm32.dll.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
tools="$here/../../../scripts/lib"
mode="$1" prefix="$2" planted="$3"
shift 3

user_dir=$(find "$prefix/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -n 1)
[ -n "$user_dir" ] || { echo "FAIL: no user folder in $prefix"; exit 1; }
folders=()
trap 'rm -rf "${folders[@]}"' EXIT

# A new folder under the user's Downloads with PROGRAM copied in and the
# planted DLL under every name; prints the folder.
plant() {  # program dll...
    local folder
    mkdir -p "$user_dir/Downloads" &&
        folder=$(mktemp -d "$user_dir/Downloads/planted-dlls.XXXXXX") || return 1
    cp "$1" "$folder/" || return 1
    shift
    local dll
    for dll in "$@"; do cp "$planted" "$folder/$dll" || return 1; done
    echo "$folder"
}

# "mscoree,mshtml=;...;a,b,c=n,b": the prefix's usual overrides, with the
# planted names native first.
overrides() {  # dll...
    local names
    names=$(printf '%s\n' "${@%.*}" | tr 'A-Z' 'a-z' | paste -sd, -)
    echo "mscoree,mshtml=;winedbg.exe=d;dxgi=n,b;$names=n,b"
}

markers_left() {  # folder dll...
    local folder="$1" dll left=()
    shift
    for dll in "$@"; do [ -e "$folder/$dll.loaded" ] && left+=("$dll"); done
    echo "${left[*]}"
}

# The directory of a Windows path, lower-cased: "c:\windows\system32".
windows_dir() {
    local path="${1,,}"
    echo "${path%\\*}"
}

# "R G B" of PICTURE at the fractions X Y of its width and height.
pixel() {  # picture x y
    local at="p{int(w*$2),int(h*$3)}"
    convert "$1" -format "%[fx:int(255*$at.r+0.5)] %[fx:int(255*$at.g+0.5)] %[fx:int(255*$at.b+0.5)]" info:
}
near() {  # "R G B" R G B
    local got=($1) want=("$2" "$3" "$4") i d
    for i in 0 1 2; do d=$((got[i] - want[i])); [ ${d#-} -le 8 ] || return 1; done
}
darkest() { printf '%s\n' $1 | sort -n | head -n 1; }
lightest() { printf '%s\n' $1 | sort -n | tail -n 1; }

status=0
fail() { echo "FAIL: $*"; status=1; }

case "$mode" in
probe)
    plain="$1" mended="$2"
    shift 2
    dlls=("$@")
    export WINEDLLOVERRIDES="$(overrides "${dlls[@]}")"

    folder=$(plant "$plain" "${dlls[@]}") || exit 1
    folders+=("$folder")
    output=$("$tools/wine-exec" "$prefix" "$folder/$(basename "$plain")" 2>/dev/null | tr -d '\r')
    echo "plainly linked: $output" | sed '2,$s/^/  /'
    left=$(markers_left "$folder" "${dlls[@]}")
    echo "plainly linked: markers left by: ${left:-none}"
    relative="${folder#"$prefix/drive_c/"}"
    want_dir="c:\\${relative//\//\\}"
    for dll in "${dlls[@]}"; do
        [ -e "$folder/$dll.loaded" ] || fail "the planted $dll did not get into the plainly linked probe: the test would see nothing"
        path=$(printf '%s\n' "$output" | awk -v name="$dll" '$1 == name { $1 = ""; sub(/^ /, ""); print }')
        [ "$(windows_dir "$path")" = "${want_dir,,}" ] ||
            fail "the plainly linked probe reports $dll from '$path', not from its own folder"
    done

    folder=$(plant "$mended" "${dlls[@]}") || exit 1
    folders+=("$folder")
    output=$("$tools/wine-exec" "$prefix" "$folder/$(basename "$mended")" 2>/dev/null | tr -d '\r')
    echo "built as the updater: $output" | sed '2,$s/^/  /'
    left=$(markers_left "$folder" "${dlls[@]}")
    echo "built as the updater: markers left by: ${left:-none}"
    [ -z "$left" ] || fail "planted DLLs got into the probe built as the updater: $left"
    system32=$(windows_dir 'c:\windows\system32\x')
    for dll in "${dlls[@]}"; do
        path=$(printf '%s\n' "$output" | awk -v name="$dll" '$1 == name { $1 = ""; sub(/^ /, ""); print }')
        [ "$(windows_dir "$path")" = "$system32" ] ||
            fail "the probe built as the updater reports $dll from '$path', not from System32"
    done
    ;;
updater)
    updater="$1" out="$2"
    shift 2
    dlls=("$@")
    # Wine's own user32.dll imports version.dll and loads imm32.dll while the
    # process starts, before the program's first instruction (WINEDEBUG
    # +loaddll shows them loaded from the program's folder, native first):
    # with those two native first no program that uses windows starts, mended
    # or not. They stay builtin first here, planted all the same; the probe,
    # which uses no windows, takes them native first.
    native=()
    for dll in "${dlls[@]}"; do
        case "${dll,,}" in version.dll|imm32.dll) ;; *) native+=("$dll") ;; esac
    done
    export WINEDLLOVERRIDES="$(overrides "${native[@]}")"

    folder=$(plant "$updater" "${dlls[@]}") || exit 1
    folders+=("$folder")
    rm -rf "$out"
    "$tools/screenshot" --out "$out" --prefix "$prefix" --timeout 60 \
        --title "Kelvane Firmware Updater" --name first_page "$folder/$(basename "$updater")" ||
        fail "the updater did not show its window with the planted DLLs beside it"
    left=$(markers_left "$folder" "${dlls[@]}")
    echo "markers left by: ${left:-none}"
    [ -z "$left" ] || fail "planted DLLs got into the updater: $left"

    # The first page as painted, at places given as fractions of the window:
    # the red "Next" button, the light body of the device's picture above
    # it, and the dark background in a corner.
    if [ -f "$out/first_page.png" ]; then
        button=$(pixel "$out/first_page.png" 0.25 0.804) picture=$(pixel "$out/first_page.png" 0.5 0.32)
        corner=$(pixel "$out/first_page.png" 0.96 0.97)
        echo "first page: button $button, picture $picture, corner $corner"
        near "$button" 224 32 32 || fail "no red Next button on the first page"
        [ "$(darkest "$picture")" -ge 190 ] || fail "no light device picture on the first page"
        [ "$(lightest "$corner")" -le 48 ] || fail "no dark background on the first page"
    fi
    ;;
*)
    echo "planted-dlls.sh: unknown mode $mode" >&2; exit 2 ;;
esac
exit $status
