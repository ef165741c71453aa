#!/usr/bin/env bash
# The DLLs that a program imports plainly come in as it starts, looked for
# before any code of it can say where: each must be one of the system's
# known DLLs, which always come from System32, never from the program's
# folder. Any other is delay-loaded (cmake/DelayLoad.cmake). Reads the
# program's import table with binutils' objdump.
#   check-imports.sh PROGRAM
set -uo pipefail
program="$1"

# Known DLLs on every Windows the updater runs on (7 and later).
known="advapi32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll shell32.dll shlwapi.dll user32.dll ws2_32.dll"

imports=$(x86_64-w64-mingw32-objdump -p "$program" | awk '/^The Import Tables/ { on = 1 } on && $1 == "DLL" && $2 == "Name:" { print $3 }')
[ -n "$imports" ] || { echo "FAIL: no import table read from $program"; exit 1; }
echo "imported plainly:" $imports
status=0
for dll in $imports; do
    case " $known " in
        *" ${dll,,} "*) ;;
        *) echo "FAIL: $dll is imported plainly and is not one of the known DLLs above: a file of that name beside the program would load; delay-load it"; status=1 ;;
    esac
done
exit $status
