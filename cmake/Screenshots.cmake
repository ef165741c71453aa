# Pictures of a program's looks, taken by scripts/lib/screenshot on an X
# display of their own and kept in screenshots/<name>/ of the build tree.
#   kelvane_add_screenshots(name TARGET program LOOKS a b ...
#                           [TITLE window-title] [LOCK name] [TIMEOUT s])
# Without TITLE the program is a harness that drives itself into each look
# and asks for its picture (tests/support/ScreenshotScript.h); with it, the
# one look is the program's window of that title as it starts. The test
# fails unless the program ends well and every look was saved.
function(kelvane_add_screenshots name)
    cmake_parse_arguments(arg "" "TARGET;TITLE;LOCK;TIMEOUT" "LOOKS" ${ARGN})
    if(NOT arg_TARGET OR NOT arg_LOOKS)
        message(FATAL_ERROR "kelvane_add_screenshots(${name}) needs TARGET and LOOKS")
    endif()
    if(NOT arg_TIMEOUT)
        set(arg_TIMEOUT 240)
    endif()

    set(command "${CMAKE_SOURCE_DIR}/scripts/lib/screenshot"
        --out "${CMAKE_BINARY_DIR}/screenshots/${name}"
        --prefix "${KELVANE_WINEPREFIX}"
        --timeout ${arg_TIMEOUT})
    foreach(look IN LISTS arg_LOOKS)
        list(APPEND command --expect ${look})
    endforeach()
    if(arg_TITLE)
        list(LENGTH arg_LOOKS looks)
        if(NOT looks EQUAL 1)
            message(FATAL_ERROR "kelvane_add_screenshots(${name}): a TITLE gives one look")
        endif()
        list(APPEND command --title "${arg_TITLE}" --name ${arg_LOOKS})
    endif()

    add_test(NAME screenshots.${name} COMMAND ${command} "$<TARGET_FILE:${arg_TARGET}>")
    # The tool's own limit comes first and says what it waited for.
    math(EXPR limit "${arg_TIMEOUT} + 30")
    set_tests_properties(screenshots.${name} PROPERTIES TIMEOUT ${limit})
    if(arg_LOCK)
        set_tests_properties(screenshots.${name} PROPERTIES RESOURCE_LOCK ${arg_LOCK})
    endif()
endfunction()
