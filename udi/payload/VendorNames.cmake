# Run as a script: writes the C table of USB vendor names from a USB id list
# in the format of Debian's hwdata (usb.ids): one row per vendor id, sorted
# by id, each id once (the first name given wins).
#   cmake -DINPUT=usb.ids -DOUTPUT=usb_vendor_names.c -P VendorNames.cmake
file(READ "${INPUT}" text)

# Square brackets and semicolons would change how CMake splits the lines
# into a list; carry them through as markers and put them back at the end.
string(REPLACE ";" "<udi-semicolon>" text "${text}")
string(REPLACE "[" "<udi-open-bracket>" text "${text}")
string(REPLACE "]" "<udi-close-bracket>" text "${text}")
string(REPLACE "\r" "" text "${text}")

# Vendor lines start at the left margin with four hexadecimal digits and two
# spaces; device and interface lines below them are indented with tabs.
set(hex "[0-9a-fA-F]")
string(REGEX MATCHALL "\n${hex}${hex}${hex}${hex}  [^\n]*" vendor_lines "${text}")

set(rows "")
foreach(line IN LISTS vendor_lines)
    string(SUBSTRING "${line}" 1 4 id)
    string(TOLOWER "${id}" id)
    if(DEFINED seen_${id})
        continue()
    endif()
    set(seen_${id} TRUE)
    string(SUBSTRING "${line}" 7 -1 name)
    string(STRIP "${name}" name)
    list(APPEND rows "${id}|${name}")
endforeach()
list(SORT rows)

list(LENGTH rows count)
if(count EQUAL 0)
    message(FATAL_ERROR "No vendor ids found in ${INPUT}")
endif()

set(body "")
foreach(row IN LISTS rows)
    string(SUBSTRING "${row}" 0 4 id)
    string(TOUPPER "${id}" id)
    string(SUBSTRING "${row}" 5 -1 name)
    string(REPLACE "<udi-semicolon>" ";" name "${name}")
    string(REPLACE "<udi-open-bracket>" "[" name "${name}")
    string(REPLACE "<udi-close-bracket>" "]" name "${name}")
    string(REPLACE "\\" "\\\\" name "${name}")
    string(REPLACE "\"" "\\\"" name "${name}")
    # "??" followed by certain characters is a trigraph in strict C.
    string(REPLACE "?" "\\?" name "${name}")
    string(APPEND body "    { 0x${id}, \"${name}\" },\n")
endforeach()

file(WRITE "${OUTPUT}"
"/* Generated from ${INPUT} by VendorNames.cmake; do not edit. */
#include \"udi/internal.h\"

const usb_vendor_name usb_vendor_names[] = {
${body}};

const size_t usb_vendor_names_count = sizeof usb_vendor_names / sizeof usb_vendor_names[0];
")
