# kelvane_embed_files_c(target FILES symbol path [symbol path ...])
# Generates for each file a header "symbol.h" that defines
#     static const unsigned char symbol[]
# (the bytes and one NUL), and puts the headers' folder on the target's
# include path. Include each header in exactly one source of the target: the
# array being complete there, `sizeof symbol - 1` is the file's size as a
# constant, so tables of embedded files can be built at compile time.
function(kelvane_embed_files_c target)
    cmake_parse_arguments(arg "" "" "FILES" ${ARGN})
    set(folder "${CMAKE_CURRENT_BINARY_DIR}/embedded_c")
    list(LENGTH arg_FILES count)
    math(EXPR last "${count} - 1")
    foreach(i RANGE 0 ${last} 2)
        math(EXPR j "${i} + 1")
        list(GET arg_FILES ${i} symbol)
        list(GET arg_FILES ${j} input)
        set(output "${folder}/${symbol}.h")
        add_custom_command(
            OUTPUT "${output}"
            COMMAND "${CMAKE_COMMAND}" -DINPUT=${input} -DOUTPUT=${output}
                    -DSYMBOL=${symbol}
                    -P "${CMAKE_SOURCE_DIR}/cmake/EmbedFileC.cmake"
            DEPENDS "${input}" "${CMAKE_SOURCE_DIR}/cmake/EmbedFileC.cmake"
            VERBATIM)
        target_sources(${target} PRIVATE "${output}")
    endforeach()
    target_include_directories(${target} PRIVATE "${folder}")
endfunction()
