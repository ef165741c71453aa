# Run by CTest as <target>.registered_suites (see GoogleTest.cmake): compares
# the suites a test program has with those its CMake lines name.
#   -DRUNNER=wine-test -DPREFIX=prefix -DPROGRAM=program.exe -DSUITES=a,b,...
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND "${RUNNER}" "${PREFIX}" "${PROGRAM}" --gtest_list_tests
    OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} --gtest_list_tests failed (${status}):\n${listing}${errors}")
endif()

# A suite's line starts the line: "Suite." or, for parameterised and typed
# tests, "Prefix/Suite." and "Suite/0."; its tests are indented below it.
# An entry's filter "NAME.*:NAME/*" runs the suite named NAME and those whose
# name starts with "NAME/".
string(REPLACE ";" "," listing "${listing}")
string(REPLACE "\r" "" listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")
set(found "")
foreach(line IN LISTS lines)
    if(line MATCHES "^([A-Za-z0-9_/]+)\\.")
        list(APPEND found "${CMAKE_MATCH_1}")
    endif()
endforeach()
list(REMOVE_DUPLICATES found)

string(REPLACE "," ";" registered "${SUITES}")

function(runs_under name filter_name result)
    string(LENGTH "${filter_name}/" length)
    string(SUBSTRING "${name}/" 0 ${length} head)
    if(name STREQUAL filter_name OR head STREQUAL "${filter_name}/")
        set(${result} TRUE PARENT_SCOPE)
    else()
        set(${result} FALSE PARENT_SCOPE)
    endif()
endfunction()

set(unregistered "")
foreach(suite IN LISTS found)
    set(runs FALSE)
    foreach(name IN LISTS registered)
        runs_under("${suite}" "${name}" matched)
        if(matched)
            set(runs TRUE)
        endif()
    endforeach()
    if(NOT runs)
        list(APPEND unregistered "${suite}")
    endif()
endforeach()

set(absent "")
foreach(name IN LISTS registered)
    set(used FALSE)
    foreach(suite IN LISTS found)
        runs_under("${suite}" "${name}" matched)
        if(matched)
            set(used TRUE)
        endif()
    endforeach()
    if(NOT used)
        list(APPEND absent "${name}")
    endif()
endforeach()

if(unregistered OR absent)
    message(FATAL_ERROR "${PROGRAM}:\n"
        "  suites it has that no kelvane_add_gtest names (they never run): ${unregistered}\n"
        "  suites named that it does not have (their entries run nothing): ${absent}")
endif()
message(STATUS "${PROGRAM}: all ${SUITES} registered")
