#include "WineDxgi.h"

namespace dxgiproxy
{
    namespace
    {
        template <typename Function>
        Function find (HMODULE module, const char* name)
        {
            // GetProcAddress's FARPROC stands for any function type.
            return module != nullptr ? reinterpret_cast<Function> (reinterpret_cast<void*> (GetProcAddress (module, name)))
                                     : nullptr;
        }

        WineDxgi load()
        {
            // Not from DllMain: loading a library there risks the loader lock.
            const auto module = LoadLibraryW (wineDxgiName);
            WineDxgi functions;
            functions.createFactory = find<WineDxgi::CreateFactory> (module, "CreateDXGIFactory");
            functions.createFactory1 = find<WineDxgi::CreateFactory> (module, "CreateDXGIFactory1");
            functions.createFactory2 = find<WineDxgi::CreateFactory2> (module, "CreateDXGIFactory2");
            return functions;
        }
    }

    const WineDxgi& wineDxgi()
    {
        static const WineDxgi functions = load();
        return functions;
    }
}
