# udi_standin_binary(output ARCH amd64|x86 TYPE dll|exe|sys SOURCE file
#                    VERSION a.b.c.d DESCRIPTION text [DEFINES name=value ...])
# Builds one stand-in payload file, `output` relative to UDI_PAYLOAD_DIR, with
# a version resource stating VERSION, by calling the cross compiler of its
# architecture directly: the 32-bit files need a compiler other than the
# project's. Small, stripped and without a link time stamp, so that a build
# gives the same bytes each time.
find_program(UDI_X86_CC NAMES i686-w64-mingw32-gcc-posix REQUIRED)
find_program(UDI_X86_RC NAMES i686-w64-mingw32-windres REQUIRED)

function(udi_standin_binary output)
    cmake_parse_arguments(arg "" "ARCH;TYPE;SOURCE;VERSION;DESCRIPTION" "DEFINES" ${ARGN})
    if(arg_ARCH STREQUAL "x86")
        set(cc "${UDI_X86_CC}")
        set(rc "${UDI_X86_RC}")
    elseif(arg_ARCH STREQUAL "amd64")
        set(cc "${CMAKE_C_COMPILER}")
        set(rc "${CMAKE_RC_COMPILER}")
    else()
        message(FATAL_ERROR "udi_standin_binary: unknown ARCH '${arg_ARCH}'")
    endif()

    set(flags -std=c11 -Os -s -Wall -Wextra -Werror -Wl,--no-insert-timestamp)
    if(arg_TYPE STREQUAL "dll")
        set(file_type VFT_DLL)
        set(file_subtype VFT2_UNKNOWN)
        list(APPEND flags -shared -static-libgcc)
    elseif(arg_TYPE STREQUAL "exe")
        set(file_type VFT_APP)
        set(file_subtype VFT2_UNKNOWN)
        list(APPEND flags -mconsole -static-libgcc)
    elseif(arg_TYPE STREQUAL "sys")
        # A kernel image: no C runtime, native subsystem, its own entry point.
        set(file_type VFT_DRV)
        set(file_subtype VFT2_DRV_SYSTEM)
        list(APPEND flags -nostdlib -shared -Wl,--subsystem,native -Wl,--entry,DriverEntry)
    else()
        message(FATAL_ERROR "udi_standin_binary: unknown TYPE '${arg_TYPE}'")
    endif()
    foreach(define IN LISTS arg_DEFINES)
        list(APPEND flags "-D${define}")
    endforeach()

    get_filename_component(file_name "${output}" NAME)
    set(version "${arg_VERSION}")
    string(REPLACE "." "," version_commas "${version}")
    set(description "${arg_DESCRIPTION}")
    set(work "${CMAKE_CURRENT_BINARY_DIR}/standins/${arg_ARCH}")
    configure_file("${CMAKE_CURRENT_SOURCE_DIR}/standins/version.rc.in"
                   "${work}/${file_name}.rc" @ONLY)

    set(target_file "${UDI_PAYLOAD_DIR}/${output}")
    get_filename_component(target_folder "${target_file}" DIRECTORY)
    set(source "${CMAKE_CURRENT_SOURCE_DIR}/standins/${arg_SOURCE}")
    add_custom_command(
        OUTPUT "${target_file}"
        COMMAND "${CMAKE_COMMAND}" -E make_directory "${target_folder}"
        COMMAND "${rc}" -i "${work}/${file_name}.rc" -o "${work}/${file_name}.res.o"
        COMMAND "${cc}" ${flags} "${source}" "${work}/${file_name}.res.o" -o "${target_file}"
        DEPENDS "${source}" "${work}/${file_name}.rc"
        COMMENT "Building the stand-in ${output}"
        VERBATIM)
endfunction()
