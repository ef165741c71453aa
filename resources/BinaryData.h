#pragma once

// The files embedded in the executable, by resource name: each is its bytes
// and their count, valid for the whole run. Nothing looks them up by name at
// run time. Built by resources/CMakeLists.txt.
namespace BinaryData
{
    extern const char* const RobotoBold_ttf;
    extern const int RobotoBold_ttfSize;
    extern const char* const RobotoMedium_ttf;
    extern const int RobotoMedium_ttfSize;
    extern const char* const RobotoRegular_ttf;
    extern const int RobotoRegular_ttfSize;

    extern const char* const kelvane_normal_png;
    extern const int kelvane_normal_pngSize;
    extern const char* const kelvane_repair_png;
    extern const int kelvane_repair_pngSize;
    extern const char* const kelvane_ok_png;
    extern const int kelvane_ok_pngSize;
    extern const char* const kelvane_warning_png;
    extern const int kelvane_warning_pngSize;
    extern const char* const kelvane_connect_png;
    extern const int kelvane_connect_pngSize;

    extern const char* const loading_loop_rim_png;
    extern const int loading_loop_rim_pngSize;
    extern const char* const help_icon_png;
    extern const int help_icon_pngSize;
}
