#pragma once

#include <windows.h>

namespace dxgiproxy
{
    // Wine's own dxgi, saved beside this one in system32 under another name
    // (the same name the forwarders in dxgi.def and scripts/lib/wine.sh use).
    constexpr const wchar_t* wineDxgiName = L"wine_dxgi.dll";

    // Its factory creation functions, loaded on first use and kept for the
    // life of the process; null where the copy or a function is missing.
    struct WineDxgi
    {
        using CreateFactory = HRESULT (WINAPI*) (REFIID, void**);
        using CreateFactory2 = HRESULT (WINAPI*) (UINT, REFIID, void**);

        CreateFactory createFactory = nullptr;
        CreateFactory createFactory1 = nullptr;
        CreateFactory2 createFactory2 = nullptr;
    };

    const WineDxgi& wineDxgi();
}
