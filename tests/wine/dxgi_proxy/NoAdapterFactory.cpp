#include "NoAdapterFactory.h"

namespace dxgiproxy
{
    HRESULT NoAdapterFactory::QueryInterface (REFIID iid, void** object)
    {
        if (object == nullptr)
            return E_POINTER;

        if (iid == __uuidof (IUnknown) || iid == __uuidof (IDXGIObject) || iid == __uuidof (IDXGIFactory)
            || iid == __uuidof (IDXGIFactory1))
        {
            *object = static_cast<IDXGIFactory1*> (this);
            AddRef();
            return S_OK;
        }

        *object = nullptr;
        return E_NOINTERFACE;
    }

    ULONG NoAdapterFactory::AddRef() { return ++references; }

    ULONG NoAdapterFactory::Release()
    {
        const auto left = --references;

        if (left == 0)
            delete this;

        return left;
    }

    HRESULT NoAdapterFactory::SetPrivateData (REFGUID, UINT, const void*) { return E_NOTIMPL; }

    HRESULT NoAdapterFactory::SetPrivateDataInterface (REFGUID, const IUnknown*) { return E_NOTIMPL; }

    HRESULT NoAdapterFactory::GetPrivateData (REFGUID, UINT* size, void*)
    {
        if (size != nullptr)
            *size = 0;

        return DXGI_ERROR_NOT_FOUND;
    }

    HRESULT NoAdapterFactory::GetParent (REFIID, void** parent)
    {
        if (parent != nullptr)
            *parent = nullptr;

        return E_NOINTERFACE;
    }

    HRESULT NoAdapterFactory::EnumAdapters (UINT, IDXGIAdapter** adapter)
    {
        if (adapter == nullptr)
            return DXGI_ERROR_INVALID_CALL;

        *adapter = nullptr;
        return DXGI_ERROR_NOT_FOUND;
    }

    HRESULT NoAdapterFactory::EnumAdapters1 (UINT, IDXGIAdapter1** adapter)
    {
        if (adapter == nullptr)
            return DXGI_ERROR_INVALID_CALL;

        *adapter = nullptr;
        return DXGI_ERROR_NOT_FOUND;
    }

    HRESULT NoAdapterFactory::MakeWindowAssociation (HWND window, UINT)
    {
        associatedWindow = window;
        return S_OK;
    }

    HRESULT NoAdapterFactory::GetWindowAssociation (HWND* window)
    {
        if (window == nullptr)
            return DXGI_ERROR_INVALID_CALL;

        *window = associatedWindow;
        return S_OK;
    }

    HRESULT NoAdapterFactory::CreateSwapChain (IUnknown*, DXGI_SWAP_CHAIN_DESC*, IDXGISwapChain** swapChain)
    {
        if (swapChain != nullptr)
            *swapChain = nullptr;

        return DXGI_ERROR_UNSUPPORTED;
    }

    HRESULT NoAdapterFactory::CreateSoftwareAdapter (HMODULE, IDXGIAdapter** adapter)
    {
        if (adapter != nullptr)
            *adapter = nullptr;

        return DXGI_ERROR_UNSUPPORTED;
    }

    WINBOOL NoAdapterFactory::IsCurrent() { return TRUE; }
}
