# GoogleTest from Debian's source, built with the same cross toolchain.
set(GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest's source")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory("${GOOGLETEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)

# One CTest test per suite of a test program, so that CTest can run the
# suites in parallel and a slow one does not hide the others.
#   kelvane_add_gtest(target SUITES a b ... [LOCK name ...] [TIMEOUT s])
# Suites that share a LOCK name never run at the same time; a suite may
# take several.
function(kelvane_add_gtest target)
    cmake_parse_arguments(arg "" "TIMEOUT" "SUITES;LOCK" ${ARGN})
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
