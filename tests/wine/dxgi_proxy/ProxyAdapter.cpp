#include "ProxyAdapter.h"

#include "VBlankOutput.h"

#include <new>

namespace dxgiproxy
{
    ProxyAdapter::ProxyAdapter (IDXGIAdapter* innerToOwn) : DelegatingObject (innerToOwn)
    {
        if (FAILED (inner->QueryInterface (__uuidof (IDXGIAdapter1), reinterpret_cast<void**> (&inner1))))
            inner1 = nullptr;
    }

    ProxyAdapter::~ProxyAdapter()
    {
        if (inner1 != nullptr)
            inner1->Release();
    }

    bool ProxyAdapter::answersFor (REFIID iid) const
    {
        return iid == __uuidof (IUnknown) || iid == __uuidof (IDXGIObject) || iid == __uuidof (IDXGIAdapter)
               || (iid == __uuidof (IDXGIAdapter1) && inner1 != nullptr);
    }

    ProxyAdapter* ProxyAdapter::wrap (IDXGIAdapter* adapter)
    {
        auto* proxy = new (std::nothrow) ProxyAdapter (adapter);

        if (proxy == nullptr)
            adapter->Release();

        return proxy;
    }

    HRESULT ProxyAdapter::EnumOutputs (UINT index, IDXGIOutput** output)
    {
        if (output == nullptr)
            return inner->EnumOutputs (index, output);

        IDXGIOutput* found = nullptr;
        const auto result = inner->EnumOutputs (index, &found);
        *output = nullptr;

        if (FAILED (result) || found == nullptr)
            return result;

        auto* proxy = new (std::nothrow) VBlankOutput (found);

        if (proxy == nullptr)
        {
            found->Release();
            return E_OUTOFMEMORY;
        }

        *output = proxy;
        return result;
    }

    HRESULT ProxyAdapter::GetDesc (DXGI_ADAPTER_DESC* desc) { return inner->GetDesc (desc); }

    HRESULT ProxyAdapter::CheckInterfaceSupport (REFGUID guid, LARGE_INTEGER* version)
    {
        return inner->CheckInterfaceSupport (guid, version);
    }

    HRESULT ProxyAdapter::GetDesc1 (DXGI_ADAPTER_DESC1* desc)
    {
        return inner1 != nullptr ? inner1->GetDesc1 (desc) : E_NOTIMPL;
    }
}
