// The factory creation functions of this dxgi.dll; every other export is
// forwarded to Wine's own (see dxgi.def).
#include "NoAdapterFactory.h"
#include "ProxyFactory.h"
#include "WineDxgi.h"

#include <new>

namespace
{
    using namespace dxgiproxy;

    // Wraps what Wine's function made, or stands in for it where it made
    // nothing, and answers `iid` from that.
    HRESULT handOut (HRESULT created, IDXGIFactory* wineFactory, REFIID iid, void** factory)
    {
        IDXGIFactory* ours = nullptr;

        if (SUCCEEDED (created) && wineFactory != nullptr)
        {
            ours = new (std::nothrow) ProxyFactory (wineFactory);

            if (ours == nullptr)
                wineFactory->Release();
        }
        else
        {
            ours = new (std::nothrow) NoAdapterFactory;
        }

        if (ours == nullptr)
            return E_OUTOFMEMORY;

        const auto result = ours->QueryInterface (iid, factory);
        ours->Release();
        return result;
    }

    // Wine's factory is always asked for as the plain interface: whether it
    // also is an IDXGIFactory1 is then its own choice, as the wrapper's is.
    template <typename Create, typename... Flags>
    HRESULT create (Create wineCreate, REFIID iid, void** factory, Flags... flags)
    {
        if (factory == nullptr)
            return E_POINTER;

        *factory = nullptr;
        IDXGIFactory* wineFactory = nullptr;
        const auto created = wineCreate != nullptr
                                 ? wineCreate (flags..., __uuidof (IDXGIFactory), reinterpret_cast<void**> (&wineFactory))
                                 : E_FAIL;
        return handOut (created, wineFactory, iid, factory);
    }
}

extern "C"
{
    HRESULT WINAPI CreateDXGIFactory (REFIID iid, void** factory)
    {
        return create (wineDxgi().createFactory, iid, factory);
    }

    HRESULT WINAPI CreateDXGIFactory1 (REFIID iid, void** factory)
    {
        return create (wineDxgi().createFactory1, iid, factory);
    }

    HRESULT WINAPI CreateDXGIFactory2 (UINT flags, REFIID iid, void** factory)
    {
        return create (wineDxgi().createFactory2, iid, factory, flags);
    }
}
