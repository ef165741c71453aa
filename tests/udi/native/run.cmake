# Configures, builds and runs the native tests of libudi's pure logic with
# the build machine's own compilers.
#   cmake -DSOURCE=... -DBINARY=... -P run.cmake
foreach(step IN ITEMS configure build run)
    if(step STREQUAL "configure")
        set(command "${CMAKE_COMMAND}" -S "${SOURCE}" -B "${BINARY}" -G Ninja
            -DCMAKE_BUILD_TYPE=Release)
    elseif(step STREQUAL "build")
        set(command "${CMAKE_COMMAND}" --build "${BINARY}")
    else()
        set(command "${BINARY}/udi_native_tests")
    endif()
    # The cross build's compiler choice must not leak into this one.
    execute_process(COMMAND "${CMAKE_COMMAND}" -E env --unset=CC --unset=CXX ${command}
                    RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "native tests: ${step} failed (${result})")
    endif()
endforeach()
