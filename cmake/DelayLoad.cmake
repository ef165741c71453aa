# Import libraries whose DLL loads on the first call into it rather than
# when the program starts.
#
# The updater runs elevated from a folder that its user can write to. For a
# DLL that it imports by name and that is not one of the system's known
# DLLs, the loader looks in the program's own folder first, and it does so
# before the first instruction of ours has run: a file of that name put
# there would run as administrator. Loaded on first call instead, the DLL is
# looked for only after app/SystemDllSearch.cpp has limited every search to
# System32.
#
#   kelvane_delay_load_libraries(<variable> <library>...)
#
# Makes a delay-import library for each of mingw-w64's import libraries
# lib<library>.a, with the same DLL name and every function of it, and sets
# <variable> to their paths, to be linked in place of the plain names, and
# <variable>_DLLS to the DLLs' names (VERSION.dll...).
# They are made with the build tree, from the toolchain's own libraries.
find_program(KELVANE_DLLTOOL x86_64-w64-mingw32-dlltool REQUIRED)
find_program(KELVANE_NM x86_64-w64-mingw32-nm REQUIRED)

function(kelvane_delay_load_libraries variable)
    set(folder "${CMAKE_BINARY_DIR}/delayload")
    file(MAKE_DIRECTORY "${folder}")
    set(made)
    set(dlls)
    foreach(library IN LISTS ARGN)
        find_library(kelvane_implib_${library} NAMES lib${library}.a)
        set(implib "${kelvane_implib_${library}}")
        if(NOT implib)
            message(FATAL_ERROR "No import library lib${library}.a in the toolchain")
        endif()

        # The DLL name as the plain import library records it (VERSION.dll,
        # dxgi.dll...), and its functions: every __imp_ symbol. A data export
        # cannot be delay-loaded; the libraries used here have none, and one
        # that appears stops the configuration rather than linking wrongly.
        execute_process(COMMAND "${KELVANE_DLLTOOL}" --identify "${implib}"
            OUTPUT_VARIABLE dll OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
        execute_process(COMMAND "${KELVANE_NM}" -g "${implib}"
            OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
        string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
        set(imports)
        set(code)
        foreach(line IN LISTS lines)
            if(line MATCHES " I __imp_([^ ]+)$")
                list(APPEND imports "${CMAKE_MATCH_1}")
            elseif(line MATCHES " T ([^ ]+)$")
                list(APPEND code "${CMAKE_MATCH_1}")
            endif()
        endforeach()
        list(REMOVE_DUPLICATES imports)
        list(SORT imports)
        if(NOT imports)
            message(FATAL_ERROR "${implib} names no function")
        endif()
        foreach(name IN LISTS imports)
            if(NOT name IN_LIST code)
                message(FATAL_ERROR "${dll} exports data (${name}), which cannot be delay-loaded")
            endif()
        endforeach()

        list(JOIN imports "\n    " exports)
        set(def "${folder}/${library}.def")
        set(delaylib "${folder}/lib${library}_delayed.a")
        file(CONFIGURE OUTPUT "${def}" CONTENT "LIBRARY \"${dll}\"\nEXPORTS\n    ${exports}\n" @ONLY)
        if(NOT EXISTS "${delaylib}" OR "${def}" IS_NEWER_THAN "${delaylib}")
            execute_process(COMMAND "${KELVANE_DLLTOOL}" --input-def "${def}" --dllname "${dll}"
                    --output-delaylib "${delaylib}"
                COMMAND_ERROR_IS_FATAL ANY)
        endif()
        list(APPEND made "${delaylib}")
        list(APPEND dlls "${dll}")
    endforeach()
    set(${variable} "${made}" PARENT_SCOPE)
    set(${variable}_DLLS "${dlls}" PARENT_SCOPE)
endfunction()
