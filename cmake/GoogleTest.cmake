# GoogleTest from Debian's source, built with the same cross toolchain.
set(GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest's source")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory("${GOOGLETEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)

# One CTest test per suite of a test program, so that CTest can run the
# suites in parallel and a slow one does not hide the others.
#   kelvane_add_gtest(target SUITES a b ... [LOCK name ...] [TIMEOUT s])
# Suites that share a LOCK name never run at the same time; a suite may
# take several. A suite is a test suite's name, or the prefix of an
# instantiation of parameterised tests.
#
# The suites are listed by hand, and one left out would silently never run:
# each program also gets the entry <target>.registered_suites, which lists
# the program's tests and fails on a suite that no call here names, and on a
# named one that the program does not have.
function(kelvane_add_gtest target)
    cmake_parse_arguments(arg "" "TIMEOUT" "SUITES;LOCK" ${ARGN})
    get_property(already_checked TARGET ${target} PROPERTY KELVANE_GTEST_SUITES SET)
    set_property(TARGET ${target} APPEND PROPERTY KELVANE_GTEST_SUITES ${arg_SUITES})
    if(NOT already_checked)
        # Read when the build is generated, so every call's suites are in.
        add_test(NAME ${target}.registered_suites
            COMMAND "${CMAKE_COMMAND}"
                "-DRUNNER=${CMAKE_SOURCE_DIR}/scripts/lib/wine-test"
                "-DPREFIX=${KELVANE_WINEPREFIX}"
                "-DPROGRAM=$<TARGET_FILE:${target}>"
                "-DSUITES=$<JOIN:$<TARGET_PROPERTY:${target},KELVANE_GTEST_SUITES>,,>"
                -P "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/CheckRegisteredSuites.cmake")
    endif()
    if(NOT arg_TIMEOUT)
        set(arg_TIMEOUT 120)
    endif()
    foreach(suite IN LISTS arg_SUITES)
        add_test(NAME ${target}.${suite} COMMAND ${target} "--gtest_filter=${suite}.*:${suite}/*")
        set_tests_properties(${target}.${suite} PROPERTIES TIMEOUT ${arg_TIMEOUT})
        if(arg_LOCK)
            set_tests_properties(${target}.${suite} PROPERTIES RESOURCE_LOCK "${arg_LOCK}")
        endif()
    endforeach()
endfunction()
