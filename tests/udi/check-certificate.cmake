# Reads the certificate that the real signing left with the host's openssl
# and checks what the signing promises of it.
#   cmake -DCERTIFICATE=path/to/certificate.der -P check-certificate.cmake
cmake_minimum_required(VERSION 3.25)
set(note "Made by the driver library of the Kelvane Firmware Updater to sign a driver package (https://help.ornvale.com/hc/kelvane)")
set(practice "https://help.ornvale.com/hc/kelvane/certification-practice")

if(NOT EXISTS "${CERTIFICATE}")
    message(FATAL_ERROR "no certificate at ${CERTIFICATE}: the real signing test did not leave one")
endif()

foreach(view IN ITEMS text structure)
    if(view STREQUAL "text")
        set(command x509 -inform DER -in "${CERTIFICATE}" -noout -text)
    else()
        set(command asn1parse -inform DER -in "${CERTIFICATE}")
    endif()
    execute_process(COMMAND openssl ${command} OUTPUT_VARIABLE ${view} ERROR_VARIABLE errors
                    RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "openssl ${command} failed (${result}): ${errors}")
    endif()
endforeach()

set(failures "")
function(expect what pattern in)
    if(NOT "${${in}}" MATCHES "${pattern}")
        set(failures "${failures}\n  ${what}" PARENT_SCOPE)
    endif()
endfunction()

string(REPLACE "." "\\." note_pattern "${note}")
string(REPLACE "(" "\\(" note_pattern "${note_pattern}")
string(REPLACE ")" "\\)" note_pattern "${note_pattern}")
string(REPLACE "." "\\." practice_pattern "${practice}")

expect("signed with SHA-1 with RSA (Windows 7)"
       "Signature Algorithm: sha1WithRSAEncryption" text)
expect("valid to 2029-01-01 00:00:00 UTC" "Not After : Jan  1 00:00:00 2029 GMT" text)
expect("a 4096-bit RSA key" "Public Key Algorithm: rsaEncryption\n *Public-Key: \\(4096 bit\\)" text)
expect("code signing, the one usage, critical"
       "X509v3 Extended Key Usage: critical\n *Code Signing\n" text)
expect("the alternative name, not critical, with the note"
       "\n *2\\.5\\.29\\.7: *\n[^\n]*${note_pattern}\n" text)
expect("one policy, not critical, with its practice statement address"
       "X509v3 Certificate Policies: *\n *Policy: Policy Qualifier CPS\n *CPS: ${practice_pattern}\n"
       text)

# The exact bytes: the note as an RFC 822 name ([1]), the address as an IA5
# string that keeps its terminating zero.
string(HEX "${note}" note_hex)
string(HEX "${practice}" practice_hex)
string(TOUPPER "${note_hex}" note_hex)
string(TOUPPER "${practice_hex}" practice_hex)
string(LENGTH "${note}" note_length)
string(LENGTH "${practice}" practice_length)
math(EXPR practice_length "${practice_length} + 1" OUTPUT_FORMAT HEXADECIMAL)
math(EXPR names_length "${note_length} + 2" OUTPUT_FORMAT HEXADECIMAL)
math(EXPR note_length "${note_length}" OUTPUT_FORMAT HEXADECIMAL)
foreach(length IN ITEMS practice_length names_length note_length)
    string(SUBSTRING "${${length}}" 2 -1 ${length})
    string(TOUPPER "${${length}}" ${length})
endforeach()
expect("the note's bytes" "HEX DUMP\\]:30${names_length}81${note_length}${note_hex}\n" structure)
expect("the address's bytes with their zero" "16${practice_length}${practice_hex}00\n" structure)

string(REGEX MATCH "Issuer: ([^\n]*)" issuer "${text}")
set(issuer "${CMAKE_MATCH_1}")
string(REGEX MATCH "Subject: ([^\n]*)" subject "${text}")
set(subject "${CMAKE_MATCH_1}")
if(issuer STREQUAL "" OR NOT issuer STREQUAL subject)
    set(failures "${failures}\n  subject equal to issuer (issuer '${issuer}', subject '${subject}')")
endif()

if(failures)
    message(FATAL_ERROR "the signed certificate lacks:${failures}\nopenssl shows:\n${text}")
endif()
message(STATUS "openssl: the certificate is as the signing makes it")
