#pragma once

#include <dxgi.h>

#include <atomic>

// COM interfaces have no virtual destructor: an object is only ever deleted
// by its own Release, never through an interface pointer.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace dxgiproxy
{
    // The factory handed out when Wine's cannot be had (its saved copy is
    // missing, or Wine refuses, as it does on an X server without GLX): one
    // with no adapters. JUCE uses the factory unchecked, so a failed creation
    // would crash it; with this it just gets no vertical blanks.
    class NoAdapterFactory final : public IDXGIFactory1
    {
    public:
        NoAdapterFactory() = default;
        virtual ~NoAdapterFactory() = default;

        NoAdapterFactory (const NoAdapterFactory&) = delete;
        NoAdapterFactory& operator= (const NoAdapterFactory&) = delete;

        HRESULT STDMETHODCALLTYPE QueryInterface (REFIID iid, void** object) override;
        ULONG STDMETHODCALLTYPE AddRef() override;
        ULONG STDMETHODCALLTYPE Release() override;

        HRESULT STDMETHODCALLTYPE SetPrivateData (REFGUID guid, UINT size, const void* data) override;
        HRESULT STDMETHODCALLTYPE SetPrivateDataInterface (REFGUID guid, const IUnknown* object) override;
        HRESULT STDMETHODCALLTYPE GetPrivateData (REFGUID guid, UINT* size, void* data) override;
        HRESULT STDMETHODCALLTYPE GetParent (REFIID iid, void** parent) override;

        HRESULT STDMETHODCALLTYPE EnumAdapters (UINT index, IDXGIAdapter** adapter) override;
        HRESULT STDMETHODCALLTYPE MakeWindowAssociation (HWND window, UINT flags) override;
        HRESULT STDMETHODCALLTYPE GetWindowAssociation (HWND* window) override;
        HRESULT STDMETHODCALLTYPE CreateSwapChain (IUnknown* device, DXGI_SWAP_CHAIN_DESC* desc,
                                                   IDXGISwapChain** swapChain) override;
        HRESULT STDMETHODCALLTYPE CreateSoftwareAdapter (HMODULE rasteriser, IDXGIAdapter** adapter) override;
        HRESULT STDMETHODCALLTYPE EnumAdapters1 (UINT index, IDXGIAdapter1** adapter) override;
        WINBOOL STDMETHODCALLTYPE IsCurrent() override;

    private:
        std::atomic<ULONG> references { 1 };
        HWND associatedWindow = nullptr;
    };
}

#pragma GCC diagnostic pop
