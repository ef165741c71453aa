# Configures and builds the fuzz targets with clang, then runs each one for
# SECONDS seconds on its seeds, collecting what it finds new in the build
# tree (the seed folders stay as they are).
#   cmake -DSOURCE=... -DBINARY=... -DSECONDS=5 -P run.cmake
if(NOT SECONDS)
    set(SECONDS 5)
endif()

# The cross build's compiler choice must not leak into this one.
set(native_env "${CMAKE_COMMAND}" -E env --unset=CFLAGS --unset=CXXFLAGS CC=clang CXX=clang++)
foreach(step IN ITEMS configure build)
    if(step STREQUAL "configure")
        set(command "${CMAKE_COMMAND}" -S "${SOURCE}" -B "${BINARY}" -G Ninja
            -DCMAKE_BUILD_TYPE=RelWithDebInfo)
    else()
        set(command "${CMAKE_COMMAND}" --build "${BINARY}")
    endif()
    execute_process(COMMAND ${native_env} ${command} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "fuzzing: ${step} failed (${result})")
    endif()
endforeach()

file(GLOB targets "${BINARY}/targets/*.cmake")
if(NOT targets)
    message(FATAL_ERROR "fuzzing: no target found in ${BINARY}/targets")
endif()
set(failed "")
foreach(target IN LISTS targets)
    get_filename_component(name "${target}" NAME_WE)
    include("${target}")
    set(found "${BINARY}/found/${name}")
    file(MAKE_DIRECTORY "${found}")
    message(STATUS "fuzzing ${name} for ${SECONDS} s")
    # Crash inputs go beside the found corpus, named crash-..., for the report.
    execute_process(COMMAND "${program}" -max_total_time=${SECONDS} -timeout=10
                            -rss_limit_mb=2048 -print_final_stats=1
                            "-artifact_prefix=${BINARY}/found/${name}-"
                            "${found}" ${seeds}
                    RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        list(APPEND failed "${name}")
    endif()
endforeach()
if(failed)
    message(FATAL_ERROR "fuzzing found faults in: ${failed} (inputs in ${BINARY}/found)")
endif()
