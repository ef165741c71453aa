#include "VBlankOutput.h"

#include "VBlankClock.h"

namespace dxgiproxy
{
    bool VBlankOutput::answersFor (REFIID iid) const
    {
        return iid == __uuidof (IUnknown) || iid == __uuidof (IDXGIObject) || iid == __uuidof (IDXGIOutput);
    }

    HRESULT VBlankOutput::WaitForVBlank()
    {
        // A Wine that has learnt to wait is asked first.
        const auto result = inner->WaitForVBlank();

        if (result != E_NOTIMPL)
            return result;

        // A real wait returns in a later refresh than the one it was asked
        // in, however late the caller was. A sleep can end a little before
        // its time on another clock than this one: then it sleeps again,
        // for the rest of the refresh.
        LARGE_INTEGER now, frequency;
        QueryPerformanceFrequency (&frequency);
        QueryPerformanceCounter (&now);
        const auto askedIn = frameAt (now.QuadPart, frequency.QuadPart);
        // A broken clock gives one short sleep, not a spin or a hang.
        const auto clockWorks = frequency.QuadPart > 0 && now.QuadPart >= 0;

        do
        {
            Sleep (msUntilNextVBlank (now.QuadPart, frequency.QuadPart));
            QueryPerformanceCounter (&now);
        } while (clockWorks && frameAt (now.QuadPart, frequency.QuadPart) <= askedIn);

        return S_OK;
    }

    HRESULT VBlankOutput::GetDesc (DXGI_OUTPUT_DESC* desc) { return inner->GetDesc (desc); }

    HRESULT VBlankOutput::GetDisplayModeList (DXGI_FORMAT format, UINT flags, UINT* count, DXGI_MODE_DESC* modes)
    {
        return inner->GetDisplayModeList (format, flags, count, modes);
    }

    HRESULT VBlankOutput::FindClosestMatchingMode (const DXGI_MODE_DESC* mode, DXGI_MODE_DESC* closest,
                                                   IUnknown* device)
    {
        return inner->FindClosestMatchingMode (mode, closest, device);
    }

    HRESULT VBlankOutput::TakeOwnership (IUnknown* device, WINBOOL exclusive)
    {
        return inner->TakeOwnership (device, exclusive);
    }

    void VBlankOutput::ReleaseOwnership() { inner->ReleaseOwnership(); }

    HRESULT VBlankOutput::GetGammaControlCapabilities (DXGI_GAMMA_CONTROL_CAPABILITIES* caps)
    {
        return inner->GetGammaControlCapabilities (caps);
    }

    HRESULT VBlankOutput::SetGammaControl (const DXGI_GAMMA_CONTROL* gamma) { return inner->SetGammaControl (gamma); }

    HRESULT VBlankOutput::GetGammaControl (DXGI_GAMMA_CONTROL* gamma) { return inner->GetGammaControl (gamma); }

    HRESULT VBlankOutput::SetDisplaySurface (IDXGISurface* surface) { return inner->SetDisplaySurface (surface); }

    HRESULT VBlankOutput::GetDisplaySurfaceData (IDXGISurface* surface)
    {
        return inner->GetDisplaySurfaceData (surface);
    }

    HRESULT VBlankOutput::GetFrameStatistics (DXGI_FRAME_STATISTICS* stats)
    {
        return inner->GetFrameStatistics (stats);
    }
}
