# kelvane_embed_files(target NAMESPACE ns FILES symbol path [symbol path ...])
# Adds to `target` one generated source per file, defining in namespace `ns`
# `const char* const symbol` (the bytes) and `const int symbolSize`. The
# declarations are the project's to write, in a header of its own.
function(kelvane_embed_files target)
    cmake_parse_arguments(arg "" "NAMESPACE" "FILES" ${ARGN})
    list(LENGTH arg_FILES count)
    math(EXPR last "${count} - 1")
    foreach(i RANGE 0 ${last} 2)
        math(EXPR j "${i} + 1")
        list(GET arg_FILES ${i} symbol)
        list(GET arg_FILES ${j} input)
        set(output "${CMAKE_CURRENT_BINARY_DIR}/embedded/${symbol}.cpp")
        add_custom_command(
            OUTPUT "${output}"
            COMMAND "${CMAKE_COMMAND}" -DINPUT=${input} -DOUTPUT=${output}
                    -DSYMBOL=${symbol} -DNAMESPACE=${arg_NAMESPACE}
                    -P "${CMAKE_SOURCE_DIR}/cmake/EmbedFile.cmake"
            DEPENDS "${input}" "${CMAKE_SOURCE_DIR}/cmake/EmbedFile.cmake"
            VERBATIM)
        target_sources(${target} PRIVATE "${output}")
    endforeach()
endfunction()
