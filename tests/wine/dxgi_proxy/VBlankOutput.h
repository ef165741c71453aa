#pragma once

#include "DelegatingObject.h"

namespace dxgiproxy
{
    // An output whose WaitForVBlank returns once per refresh even where
    // Wine's answers E_NOTIMPL: JUCE's windows repaint only on those returns.
    class VBlankOutput final : public DelegatingObject<IDXGIOutput, IDXGIOutput>
    {
    public:
        using DelegatingObject::DelegatingObject;

        HRESULT STDMETHODCALLTYPE GetDesc (DXGI_OUTPUT_DESC* desc) override;
        HRESULT STDMETHODCALLTYPE GetDisplayModeList (DXGI_FORMAT format, UINT flags, UINT* count,
                                                      DXGI_MODE_DESC* modes) override;
        HRESULT STDMETHODCALLTYPE FindClosestMatchingMode (const DXGI_MODE_DESC* mode, DXGI_MODE_DESC* closest,
                                                           IUnknown* device) override;
        HRESULT STDMETHODCALLTYPE WaitForVBlank() override;
        HRESULT STDMETHODCALLTYPE TakeOwnership (IUnknown* device, WINBOOL exclusive) override;
        void STDMETHODCALLTYPE ReleaseOwnership() override;
        HRESULT STDMETHODCALLTYPE GetGammaControlCapabilities (DXGI_GAMMA_CONTROL_CAPABILITIES* caps) override;
        HRESULT STDMETHODCALLTYPE SetGammaControl (const DXGI_GAMMA_CONTROL* gamma) override;
        HRESULT STDMETHODCALLTYPE GetGammaControl (DXGI_GAMMA_CONTROL* gamma) override;
        HRESULT STDMETHODCALLTYPE SetDisplaySurface (IDXGISurface* surface) override;
        HRESULT STDMETHODCALLTYPE GetDisplaySurfaceData (IDXGISurface* surface) override;
        HRESULT STDMETHODCALLTYPE GetFrameStatistics (DXGI_FRAME_STATISTICS* stats) override;

    private:
        bool answersFor (REFIID iid) const override;
    };
}
