# kelvane_embed_files(target [LANGUAGE C|CXX] [NAMESPACE ns] FILES symbol path [symbol path ...])
# Adds to `target` one generated file per input file, holding its bytes and
# one NUL past them.
#
# CXX (the default) adds a source per file defining, in namespace `ns`,
# `const char* const symbol` (the bytes) and `const int symbolSize`. The
# declarations are the project's to write, in a header of its own.
#
# C generates a header "symbol.h" per file that defines
#     static const unsigned char symbol[]
# and puts the headers' folder on the target's include path. Include each
# header in exactly one source of the target: the array being complete there,
# `sizeof symbol - 1` is the file's size as a constant, so tables of embedded
# files can be built at compile time.
function(kelvane_embed_files target)
    cmake_parse_arguments(arg "" "LANGUAGE;NAMESPACE" "FILES" ${ARGN})
    if(NOT arg_LANGUAGE)
        set(arg_LANGUAGE CXX)
    endif()
    if(arg_LANGUAGE STREQUAL "C")
        set(folder "${CMAKE_CURRENT_BINARY_DIR}/embedded_c")
        set(suffix ".h")
    elseif(arg_LANGUAGE STREQUAL "CXX")
        if(NOT arg_NAMESPACE)
            message(FATAL_ERROR "kelvane_embed_files: C++ sources need a NAMESPACE")
        endif()
        set(folder "${CMAKE_CURRENT_BINARY_DIR}/embedded")
        set(suffix ".cpp")
    else()
        message(FATAL_ERROR "kelvane_embed_files: LANGUAGE is C or CXX, not '${arg_LANGUAGE}'")
    endif()

    set(script "${CMAKE_SOURCE_DIR}/cmake/EmbedFile.cmake")
    list(LENGTH arg_FILES count)
    math(EXPR last "${count} - 1")
    foreach(i RANGE 0 ${last} 2)
        math(EXPR j "${i} + 1")
        list(GET arg_FILES ${i} symbol)
        list(GET arg_FILES ${j} input)
        set(output "${folder}/${symbol}${suffix}")
        add_custom_command(
            OUTPUT "${output}"
            COMMAND "${CMAKE_COMMAND}" -DINPUT=${input} -DOUTPUT=${output}
                    -DSYMBOL=${symbol} -DNAMESPACE=${arg_NAMESPACE}
                    -DLANGUAGE=${arg_LANGUAGE} -P "${script}"
            DEPENDS "${input}" "${script}"
            VERBATIM)
        target_sources(${target} PRIVATE "${output}")
    endforeach()
    if(arg_LANGUAGE STREQUAL "C")
        target_include_directories(${target} PRIVATE "${folder}")
    endif()
endfunction()
