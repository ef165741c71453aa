#include "ProxyFactory.h"

#include "ProxyAdapter.h"

namespace dxgiproxy
{
    ProxyFactory::ProxyFactory (IDXGIFactory* innerToOwn) : DelegatingObject (innerToOwn)
    {
        if (FAILED (inner->QueryInterface (__uuidof (IDXGIFactory1), reinterpret_cast<void**> (&inner1))))
            inner1 = nullptr;
    }

    ProxyFactory::~ProxyFactory()
    {
        if (inner1 != nullptr)
            inner1->Release();
    }

    bool ProxyFactory::answersFor (REFIID iid) const
    {
        return iid == __uuidof (IUnknown) || iid == __uuidof (IDXGIObject) || iid == __uuidof (IDXGIFactory)
               || (iid == __uuidof (IDXGIFactory1) && inner1 != nullptr);
    }

    HRESULT ProxyFactory::EnumAdapters (UINT index, IDXGIAdapter** adapter)
    {
        if (adapter == nullptr)
            return inner->EnumAdapters (index, adapter);

        IDXGIAdapter* found = nullptr;
        const auto result = inner->EnumAdapters (index, &found);
        *adapter = nullptr;

        if (FAILED (result) || found == nullptr)
            return result;

        *adapter = ProxyAdapter::wrap (found);
        return *adapter != nullptr ? result : E_OUTOFMEMORY;
    }

    HRESULT ProxyFactory::EnumAdapters1 (UINT index, IDXGIAdapter1** adapter)
    {
        if (inner1 == nullptr)
            return E_NOTIMPL;

        if (adapter == nullptr)
            return inner1->EnumAdapters1 (index, adapter);

        IDXGIAdapter1* found = nullptr;
        const auto result = inner1->EnumAdapters1 (index, &found);
        *adapter = nullptr;

        if (FAILED (result) || found == nullptr)
            return result;

        // Made from an IDXGIAdapter1, so the wrapper answers as one too.
        *adapter = ProxyAdapter::wrap (found);
        return *adapter != nullptr ? result : E_OUTOFMEMORY;
    }

    HRESULT ProxyFactory::MakeWindowAssociation (HWND window, UINT flags)
    {
        return inner->MakeWindowAssociation (window, flags);
    }

    HRESULT ProxyFactory::GetWindowAssociation (HWND* window) { return inner->GetWindowAssociation (window); }

    HRESULT ProxyFactory::CreateSwapChain (IUnknown* device, DXGI_SWAP_CHAIN_DESC* desc, IDXGISwapChain** swapChain)
    {
        return inner->CreateSwapChain (device, desc, swapChain);
    }

    HRESULT ProxyFactory::CreateSoftwareAdapter (HMODULE rasteriser, IDXGIAdapter** adapter)
    {
        if (adapter == nullptr)
            return inner->CreateSoftwareAdapter (rasteriser, adapter);

        IDXGIAdapter* created = nullptr;
        const auto result = inner->CreateSoftwareAdapter (rasteriser, &created);
        *adapter = nullptr;

        if (FAILED (result) || created == nullptr)
            return result;

        *adapter = ProxyAdapter::wrap (created);
        return *adapter != nullptr ? result : E_OUTOFMEMORY;
    }

    WINBOOL ProxyFactory::IsCurrent() { return inner1 != nullptr ? inner1->IsCurrent() : TRUE; }
}
