#pragma once

#include "DelegatingObject.h"

namespace dxgiproxy
{
    // An adapter whose outputs are VBlankOutputs. It is an IDXGIAdapter1 only
    // where the adapter it wraps is one.
    class ProxyAdapter final : public DelegatingObject<IDXGIAdapter1, IDXGIAdapter>
    {
    public:
        explicit ProxyAdapter (IDXGIAdapter* innerToOwn);
        ~ProxyAdapter() override;

        // A wrapper of `adapter` to hand out in its place, taking over the
        // caller's reference; nullptr, with the reference released, when
        // there is no memory for one.
        static ProxyAdapter* wrap (IDXGIAdapter* adapter);

        HRESULT STDMETHODCALLTYPE EnumOutputs (UINT index, IDXGIOutput** output) override;
        HRESULT STDMETHODCALLTYPE GetDesc (DXGI_ADAPTER_DESC* desc) override;
        HRESULT STDMETHODCALLTYPE CheckInterfaceSupport (REFGUID guid, LARGE_INTEGER* version) override;
        HRESULT STDMETHODCALLTYPE GetDesc1 (DXGI_ADAPTER_DESC1* desc) override;

    private:
        bool answersFor (REFIID iid) const override;

        IDXGIAdapter1* inner1 = nullptr;
    };
}
