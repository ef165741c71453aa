// Tells what the dxgi of this process offers a window's vblank thread:
// which dxgi.dll answered, the adapters and outputs of a CreateDXGIFactory
// factory, and what ten WaitForVBlank calls on the first output return and
// how long they take. Prints one "key value" line each; exits 0 when the
// factory came about and its adapters could be counted.
#include <windows.h>
#include <dxgi.h>

#include <cstdio>

namespace
{
    void printModule()
    {
        wchar_t path[MAX_PATH] = {};
        const auto module = GetModuleHandleW (L"dxgi.dll");

        if (module != nullptr)
            GetModuleFileNameW (module, path, MAX_PATH);

        std::printf ("module %ls\n", path);
        std::printf ("wine_dxgi %s\n", GetModuleHandleW (L"wine_dxgi.dll") != nullptr ? "loaded" : "absent");
    }

    void timeVBlanks (IDXGIOutput* output)
    {
        LARGE_INTEGER start, end, frequency;
        QueryPerformanceFrequency (&frequency);
        QueryPerformanceCounter (&start);

        HRESULT result = S_OK;
        const int calls = 10;

        for (int i = 0; i < calls && result == S_OK; ++i)
            result = output->WaitForVBlank();

        QueryPerformanceCounter (&end);
        std::printf ("vblank 0x%08lx\n", (unsigned long) result);
        std::printf ("vblank_ms %lld\n", (end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart);
    }
}

int main()
{
    IDXGIFactory* factory = nullptr;
    const auto created = CreateDXGIFactory (__uuidof (IDXGIFactory), reinterpret_cast<void**> (&factory));
    printModule();
    std::printf ("factory 0x%08lx\n", (unsigned long) created);

    if (FAILED (created) || factory == nullptr)
        return 1;

    UINT adapters = 0, outputs = 0;
    IDXGIAdapter* adapter = nullptr;

    while (factory->EnumAdapters (adapters, &adapter) == S_OK)
    {
        IDXGIOutput* output = nullptr;

        for (UINT i = 0; adapter->EnumOutputs (i, &output) == S_OK; ++i)
        {
            if (outputs++ == 0)
            {
                DXGI_OUTPUT_DESC desc = {};
                output->GetDesc (&desc);
                const auto primary = MonitorFromPoint ({ 0, 0 }, MONITOR_DEFAULTTOPRIMARY);
                std::printf ("primary_monitor %s\n", desc.Monitor == primary ? "yes" : "no");
                timeVBlanks (output);
            }

            output->Release();
        }

        adapter->Release();
        ++adapters;
    }

    std::printf ("adapters %u\noutputs %u\n", adapters, outputs);
    factory->Release();
    return 0;
}
