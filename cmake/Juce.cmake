# JUCE's modules, compiled once into one static library that the updater and
# its tests share. Debian's JUCE has its bundled image codecs removed, so zlib
# comes from mingw-w64's package and libpng and libjpeg from KELVANE_IMAGE_LIBS
# (cross-built by scripts/lib/imagelibs.sh).
set(JUCE_MODULES_DIR /usr/share/juce/modules CACHE PATH "JUCE's module folder")
set(KELVANE_IMAGE_LIBS "" CACHE PATH "Prefix holding the cross-built libpng and libjpeg")

if(NOT EXISTS "${KELVANE_IMAGE_LIBS}/lib/libpng16.a" OR NOT EXISTS "${KELVANE_IMAGE_LIBS}/lib/libjpeg.a")
    message(FATAL_ERROR "KELVANE_IMAGE_LIBS must name the prefix made by scripts/lib/imagelibs.sh")
endif()

set(kelvane_juce_modules juce_core juce_events juce_data_structures juce_graphics juce_gui_basics)

add_library(juce STATIC)
foreach(module IN LISTS kelvane_juce_modules)
    target_sources(juce PRIVATE "${JUCE_MODULES_DIR}/${module}/${module}.cpp")
    target_compile_definitions(juce PUBLIC JUCE_MODULE_AVAILABLE_${module}=1)
endforeach()

target_include_directories(juce SYSTEM PUBLIC "${JUCE_MODULES_DIR}")
target_include_directories(juce SYSTEM PRIVATE
    "${CMAKE_CURRENT_LIST_DIR}/compat" "${KELVANE_IMAGE_LIBS}/include")

target_compile_definitions(juce PUBLIC
    JUCE_GLOBAL_MODULE_SETTINGS_INCLUDED=1
    JUCE_STANDALONE_APPLICATION=1
    JUCE_DISPLAY_SPLASH_SCREEN=0
    JUCE_REPORT_APP_USAGE=0
    JUCE_WEB_BROWSER=0
    JUCE_USE_CURL=0
    JUCE_MODAL_LOOPS_PERMITTED=1
    JUCE_STRICT_REFCOUNTEDPOINTER=1
    JUCE_APPLICATION_NAME_STRING="Kelvane Firmware Updater"
    JUCE_APPLICATION_VERSION_STRING="1.0.0")

target_compile_options(juce PUBLIC -Wa,-mbig-obj)
target_compile_features(juce PUBLIC cxx_std_17)

# The system DLLs that JUCE needs and that are not the system's known DLLs
# load on first call (cmake/DelayLoad.cmake says why); every program built
# on JUCE, the updater and its tests alike, links them so.
include("${CMAKE_CURRENT_LIST_DIR}/DelayLoad.cmake")
kelvane_delay_load_libraries(KELVANE_DELAYED_LIBRARIES dxgi version wininet winmm comdlg32 imm32)
# SetupAPI and the common controls, which libudi calls, are no known DLLs
# either. They are kept apart because the planted-DLL tests cannot take them:
# Wine aborts in its own SetupAPI when that name is set native first.
kelvane_delay_load_libraries(KELVANE_UDI_DELAYED_LIBRARIES setupapi comctl32)

target_link_libraries(juce PUBLIC
    "${KELVANE_IMAGE_LIBS}/lib/libpng16.a"
    "${KELVANE_IMAGE_LIBS}/lib/libjpeg.a"
    z
    ${KELVANE_DELAYED_LIBRARIES} ${KELVANE_UDI_DELAYED_LIBRARIES}
    ws2_32 shlwapi uuid ole32 oleaut32
    dwmapi gdi32 user32 kernel32 advapi32 shell32 rpcrt4 winspool
    d2d1 dwrite d3d11 usp10)
