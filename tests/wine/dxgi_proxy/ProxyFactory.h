#pragma once

#include "DelegatingObject.h"

namespace dxgiproxy
{
    // A factory whose adapters are ProxyAdapters. It is an IDXGIFactory1 only
    // where the factory it wraps is one (Wine's from CreateDXGIFactory is not).
    // Newer factory interfaces are the wrapped factory's own.
    class ProxyFactory final : public DelegatingObject<IDXGIFactory1, IDXGIFactory>
    {
    public:
        explicit ProxyFactory (IDXGIFactory* innerToOwn);
        ~ProxyFactory() override;

        HRESULT STDMETHODCALLTYPE EnumAdapters (UINT index, IDXGIAdapter** adapter) override;
        HRESULT STDMETHODCALLTYPE MakeWindowAssociation (HWND window, UINT flags) override;
        HRESULT STDMETHODCALLTYPE GetWindowAssociation (HWND* window) override;
        HRESULT STDMETHODCALLTYPE CreateSwapChain (IUnknown* device, DXGI_SWAP_CHAIN_DESC* desc,
                                                   IDXGISwapChain** swapChain) override;
        HRESULT STDMETHODCALLTYPE CreateSoftwareAdapter (HMODULE rasteriser, IDXGIAdapter** adapter) override;
        HRESULT STDMETHODCALLTYPE EnumAdapters1 (UINT index, IDXGIAdapter1** adapter) override;
        WINBOOL STDMETHODCALLTYPE IsCurrent() override;

    private:
        bool answersFor (REFIID iid) const override;

        IDXGIFactory1* inner1 = nullptr;
    };
}
