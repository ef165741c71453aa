// The dxgi.dll of the test prefix, seen from a program as JUCE sees it: the
// factory, adapters and outputs it hands out, their reference counts and
// interfaces, vertical blanks once per 1/60 s, Direct3D and Direct2D still
// working through it, and a JUCE component that repaints.
#include "dxgi_proxy/VBlankClock.h"
#include "support/MessageLoop.h"

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <windows.h>
#include <d2d1.h>
#include <d3d11.h>
#include <dxgi1_3.h>

namespace
{
    // Owns one COM reference.
    template <typename Interface>
    class Com
    {
    public:
        Com() = default;
        ~Com() { reset(); }
        Com (const Com&) = delete;
        Com& operator= (const Com&) = delete;

        void reset()
        {
            if (object != nullptr)
                object->Release();

            object = nullptr;
        }

        Interface** put()
        {
            reset();
            return &object;
        }

        void** putVoid() { return reinterpret_cast<void**> (put()); }

        Interface* operator->() const { return object; }
        Interface* get() const { return object; }
        explicit operator bool() const { return object != nullptr; }

    private:
        Interface* object = nullptr;
    };

    ULONG referencesOf (IUnknown* object)
    {
        object->AddRef();
        return object->Release();
    }

    // The refresh the machine is in now, as the proxy counts them.
    long long frameNow()
    {
        LARGE_INTEGER now, frequency;
        QueryPerformanceCounter (&now);
        QueryPerformanceFrequency (&frequency);
        return dxgiproxy::frameAt (now.QuadPart, frequency.QuadPart);
    }

    struct FirstOutput
    {
        Com<IDXGIFactory> factory;
        Com<IDXGIAdapter> adapter;
        Com<IDXGIOutput> output;
    };

    void openFirstOutput (FirstOutput& first)
    {
        ASSERT_EQ (CreateDXGIFactory (__uuidof (IDXGIFactory), first.factory.putVoid()), S_OK);
        ASSERT_EQ (first.factory->EnumAdapters (0, first.adapter.put()), S_OK);
        ASSERT_EQ (first.adapter->EnumOutputs (0, first.output.put()), S_OK);
    }
}

//==============================================================================
struct VBlankCase
{
    long long now, ticksPerSecond;
    unsigned expectedMs;
};

class VBlankClock : public testing::TestWithParam<VBlankCase>
{
};

TEST_P (VBlankClock, WaitsToTheNextSixtiethRoundedUp)
{
    const auto& c = GetParam();
    EXPECT_EQ (dxgiproxy::msUntilNextVBlank (c.now, c.ticksPerSecond), c.expectedMs);
}

INSTANTIATE_TEST_SUITE_P (Boundaries, VBlankClock,
                          testing::Values (
                              // On a boundary: a whole frame, not none.
                              VBlankCase { 0, 1000, 17 }, VBlankCase { 10000000, 10000000, 17 },
                              // Just past one: nearly a whole frame.
                              VBlankCase { 1, 1000, 16 },
                              // Just before one: the last millisecond, never 0.
                              VBlankCase { 166666, 10000000, 1 }, VBlankCase { 16, 1000, 1 },
                              // Halfway, on Wine's 10 MHz counter after a day.
                              VBlankCase { 864000000000LL + 83333, 10000000, 9 },
                              // A broken clock still gives a short wait, not a spin or a hang.
                              VBlankCase { 5, 0, 1 }, VBlankCase { -5, 1000, 1 }));

struct FrameCase
{
    long long now, ticksPerSecond, expectedFrame;
};

class VBlankFrames : public testing::TestWithParam<FrameCase>
{
};

TEST_P (VBlankFrames, CountsSixtiethsSinceTheClocksStart)
{
    const auto& c = GetParam();
    EXPECT_EQ (dxgiproxy::frameAt (c.now, c.ticksPerSecond), c.expectedFrame);
}

INSTANTIATE_TEST_SUITE_P (Boundaries, VBlankFrames,
                          testing::Values (
                              FrameCase { 0, 1000, 0 }, FrameCase { 16, 1000, 0 }, FrameCase { 17, 1000, 1 },
                              // The first tick of a refresh belongs to it, the one before to the last.
                              FrameCase { 166667, 10000000, 1 }, FrameCase { 166666, 10000000, 0 },
                              // A year of Wine's 10 MHz counter, and a count where now * 60
                              // would overflow.
                              FrameCase { 315360000000000LL, 10000000, 1892160000LL },
                              FrameCase { 200000000000000000LL + 5, 10000000, 1200000000000LL },
                              // A broken clock counts no refreshes.
                              FrameCase { 5, 0, 0 }, FrameCase { -5, 1000, 0 }));

//==============================================================================
TEST (ProxyObjects, EveryOutputWaitsForTheNextVBlank)
{
    FirstOutput first;
    ASSERT_NO_FATAL_FAILURE (openFirstOutput (first));

    DXGI_OUTPUT_DESC desc = {};
    ASSERT_EQ (first.output->GetDesc (&desc), S_OK);
    EXPECT_TRUE (desc.AttachedToDesktop);
    EXPECT_EQ (desc.Monitor, MonitorFromPoint ({ 0, 0 }, MONITOR_DEFAULTTOPRIMARY));

    // A wait ends in a later refresh than the one it was asked in, however
    // late the caller came: each of ten crosses a boundary. A busy machine
    // may wake a caller frames late, but not every time: a wait that always
    // lets a refresh go by (30 Hz) is not what JUCE's vblank thread expects.
    int intoTheNext = 0;

    for (int i = 0; i < 10; ++i)
    {
        const auto askedIn = frameNow();
        ASSERT_EQ (first.output->WaitForVBlank(), S_OK);
        const auto endedIn = frameNow();
        EXPECT_GT (endedIn, askedIn) << "wait " << i << " returned in the refresh it was asked in";
        intoTheNext += endedIn == askedIn + 1 ? 1 : 0;
    }

    EXPECT_GE (intoTheNext, 1) << "no wait of ten ended in the next refresh";
}

TEST (ProxyObjects, AnswersForItsOwnInterfacesAndCountsReferences)
{
    FirstOutput first;
    ASSERT_NO_FATAL_FAILURE (openFirstOutput (first));

    EXPECT_EQ (referencesOf (first.factory.get()), 1u);
    EXPECT_EQ (referencesOf (first.output.get()), 1u);

    Com<IUnknown> unknown;
    ASSERT_EQ (first.output->QueryInterface (__uuidof (IUnknown), unknown.putVoid()), S_OK);
    EXPECT_EQ (static_cast<void*> (unknown.get()), static_cast<void*> (first.output.get()));
    EXPECT_EQ (referencesOf (first.output.get()), 2u);
    unknown.reset();
    EXPECT_EQ (referencesOf (first.output.get()), 1u);

    Com<IDXGIObject> object;
    ASSERT_EQ (first.adapter->QueryInterface (__uuidof (IDXGIObject), object.putVoid()), S_OK);
    EXPECT_EQ (static_cast<void*> (object.get()), static_cast<void*> (first.adapter.get()));

    // Newer interfaces are Wine's own, and work.
    Com<IDXGIOutput1> output1;
    ASSERT_EQ (first.output->QueryInterface (__uuidof (IDXGIOutput1), output1.putVoid()), S_OK);
    DXGI_OUTPUT_DESC desc = {};
    EXPECT_EQ (output1->GetDesc (&desc), S_OK);

    // An output outlives the factory and adapter it came from.
    first.factory.reset();
    first.adapter.reset();
    EXPECT_EQ (first.output->WaitForVBlank(), S_OK);
}

TEST (ProxyObjects, EnumerationEndsWithNotFound)
{
    FirstOutput first;
    ASSERT_NO_FATAL_FAILURE (openFirstOutput (first));

    IDXGIAdapter* adapter = reinterpret_cast<IDXGIAdapter*> (1);
    EXPECT_EQ (first.factory->EnumAdapters (64, &adapter), DXGI_ERROR_NOT_FOUND);
    EXPECT_EQ (adapter, nullptr);

    IDXGIOutput* output = reinterpret_cast<IDXGIOutput*> (1);
    EXPECT_EQ (first.adapter->EnumOutputs (64, &output), DXGI_ERROR_NOT_FOUND);
    EXPECT_EQ (output, nullptr);

    EXPECT_EQ (CreateDXGIFactory (__uuidof (IDXGIFactory), nullptr), E_POINTER);
}

TEST (ProxyObjects, FactoryOneAndTwoReachWrappedOutputs)
{
    Com<IDXGIFactory1> factory1;
    ASSERT_EQ (CreateDXGIFactory1 (__uuidof (IDXGIFactory1), factory1.putVoid()), S_OK);
    EXPECT_TRUE (factory1->IsCurrent());

    Com<IDXGIAdapter1> adapter1;
    ASSERT_EQ (factory1->EnumAdapters1 (0, adapter1.put()), S_OK);
    DXGI_ADAPTER_DESC1 desc = {};
    EXPECT_EQ (adapter1->GetDesc1 (&desc), S_OK);

    Com<IDXGIOutput> output;
    ASSERT_EQ (adapter1->EnumOutputs (0, output.put()), S_OK);
    EXPECT_EQ (output->WaitForVBlank(), S_OK);

    // A plain factory grows into a 1 only if Wine's does; both answer the same.
    Com<IDXGIFactory> plain;
    ASSERT_EQ (CreateDXGIFactory1 (__uuidof (IDXGIFactory), plain.putVoid()), S_OK);
    Com<IDXGIFactory1> grown;
    EXPECT_EQ (plain->QueryInterface (__uuidof (IDXGIFactory1), grown.putVoid()), S_OK);

    Com<IDXGIFactory2> factory2;
    ASSERT_EQ (CreateDXGIFactory2 (0, __uuidof (IDXGIFactory2), factory2.putVoid()), S_OK);
    Com<IDXGIAdapter> adapter;
    EXPECT_EQ (factory2->EnumAdapters (0, adapter.put()), S_OK);
}

//==============================================================================
// Wine's Direct3D and Direct2D reach dxgi too, and get wrappers back.
TEST (Direct3DThroughProxy, DevicesOnTheDefaultAndOnAWrappedAdapter)
{
    Com<ID3D11Device> device;
    EXPECT_EQ (D3D11CreateDevice (nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION,
                                  device.put(), nullptr, nullptr),
               S_OK);

    FirstOutput first;
    ASSERT_NO_FATAL_FAILURE (openFirstOutput (first));
    Com<ID3D11Device> onAdapter;
    EXPECT_EQ (D3D11CreateDevice (first.adapter.get(), D3D_DRIVER_TYPE_UNKNOWN, nullptr, 0, nullptr, 0,
                                  D3D11_SDK_VERSION, onAdapter.put(), nullptr, nullptr),
               S_OK);
}

TEST (Direct3DThroughProxy, Direct2DDrawsIntoADeviceContext)
{
    Com<ID2D1Factory> factory;
    ASSERT_EQ (D2D1CreateFactory (D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof (ID2D1Factory), nullptr,
                                  factory.putVoid()),
               S_OK);

    const auto props = D2D1::RenderTargetProperties (
        D2D1_RENDER_TARGET_TYPE_DEFAULT, D2D1::PixelFormat (DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_IGNORE));
    Com<ID2D1DCRenderTarget> target;
    ASSERT_EQ (factory->CreateDCRenderTarget (&props, target.put()), S_OK);

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof (info.bmiHeader);
    info.bmiHeader.biWidth = 8;
    info.bmiHeader.biHeight = -8;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    const auto dc = CreateCompatibleDC (nullptr);
    const auto bitmap = CreateDIBSection (dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const auto previous = SelectObject (dc, bitmap);

    const RECT area { 0, 0, 8, 8 };
    EXPECT_EQ (target->BindDC (dc, &area), S_OK);
    target->BeginDraw();
    target->Clear (D2D1::ColorF (1.0f, 0.0f, 0.0f));
    EXPECT_EQ (target->EndDraw(), S_OK);
    EXPECT_EQ (static_cast<const DWORD*> (bits)[9] & 0xffffffu, 0xff0000u);

    SelectObject (dc, previous);
    DeleteObject (bitmap);
    DeleteDC (dc);
}

//==============================================================================
namespace
{
    class CountedPaints : public juce::Component
    {
    public:
        void paint (juce::Graphics& g) override
        {
            g.fillAll (juce::Colours::darkgrey);
            ++paints;
        }

        int paints = 0;
    };
}

TEST (JuceRepaint, ARepaintReachesPaintAgain)
{
    CountedPaints component;
    component.setBounds (100, 100, 200, 120);
    component.addToDesktop (juce::ComponentPeer::windowHasTitleBar);
    component.setVisible (true);
    ASSERT_TRUE (testsupport::pumpUntil ([&] { return component.paints >= 1; }, 5000));

    for (int round = 1; round <= 3; ++round)
    {
        const auto before = component.paints;
        component.repaint();
        EXPECT_TRUE (testsupport::pumpUntil ([&] { return component.paints > before; }, 2000))
            << "round " << round;
    }
}
