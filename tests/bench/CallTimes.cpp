// Times single calls for scripts/bench, one line per measurement:
//   tool RUNS          runAndExpect against the stand-in tool beside this
//                      program, which prints its line and ends at once; and
//                      the same tool started and waited for alone
//   list REPEATS N...  udi_create_list with N fake devices present, for each
//                      N in turn, beside a bare walk of the same device set
// Lines: "<what> <count> <milliseconds>"; the script takes the medians.
#include "tools/ProcessRunner.h"

#include "support/FakeUsbDevices.h"
#include "udi/libudi.h"

#include <windows.h>
#include <setupapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace
{
    using Clock = std::chrono::steady_clock;

    double millisecondsSince (Clock::time_point start)
    {
        return std::chrono::duration<double, std::milli> (Clock::now() - start).count();
    }

    juce::String besideThisProgram (const char* name)
    {
        return juce::File::getSpecialLocation (juce::File::currentExecutableFile)
            .getSiblingFile (name).getFullPathName();
    }

    int timeToolRuns (int runs)
    {
        // Without a script the stand-in prints this line and ends with 0.
        SetEnvironmentVariableA ("KELVANE_FAKE_TOOL_SCRIPT", nullptr);
        const juce::StringArray args { besideThisProgram ("fake_tool.exe") };

        for (int i = 0; i < runs; ++i)
        {
            auto start = Clock::now();
            if (! runAndExpect (args, "fake tool: no script", 0))
            {
                std::fprintf (stderr, "runAndExpect missed the tool's line\n");
                return 1;
            }
            std::printf ("run_and_expect 1 %.1f\n", millisecondsSince (start));

            // What the tool itself costs: its start under Wine and its end.
            start = Clock::now();
            juce::ChildProcess process;
            if (! process.start (args))
                return 1;
            process.readAllProcessOutput();
            std::printf ("tool_alone 1 %.1f\n", millisecondsSince (start));
            std::fflush (stdout);
        }
        return 0;
    }

    udi_test::FakeUsbDevice fakeDevice (int number)
    {
        wchar_t product[8], serial[16];
        std::swprintf (product, 8, L"%04X", number & 0xFFFF);
        std::swprintf (serial, 16, L"%05d", number);

        udi_test::FakeUsbDevice device;
        device.instanceId = std::wstring (L"USB\\VID_1209&PID_") + product + L"\\UDITEST" + serial;
        device.hardwareIds = { std::wstring (L"USB\\VID_1209&PID_") + product + L"&REV_0100",
                               std::wstring (L"USB\\VID_1209&PID_") + product };
        device.compatibleIds = { L"USB\\Class_FF&SubClass_00&Prot_00", L"USB\\Class_FF" };
        device.description = std::wstring (L"Bench device ") + serial;
        return device;
    }

    // The platform's share: the set opened and walked by member index, as
    // the listing does, and nothing read from the devices.
    int bareWalk()
    {
        HDEVINFO set = SetupDiGetClassDevsA (nullptr, "USB", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
        if (set == INVALID_HANDLE_VALUE)
            return 0;
        SP_DEVINFO_DATA device = {};
        device.cbSize = sizeof (device);
        DWORD index = 0;
        while (SetupDiEnumDeviceInfo (set, index, &device))
            ++index;
        SetupDiDestroyDeviceInfoList (set);
        return (int) index;
    }

    int timeListings (int repeats, int argc, char** argv)
    {
        udi_test::FakeUsbDevices devices;
        const udi_list_options appOptions = { 1, 0, 0 }; // the application's choice
        int present = 0;

        std::printf ("foreign_devices 0 %d\n", udi_test::FakeUsbDevices::foreignDeviceCount());

        for (int a = 0; a < argc; ++a)
        {
            const int count = std::atoi (argv[a]);

            const auto addStart = Clock::now();
            for (; present < count; ++present)
                if (! devices.add (fakeDevice (present)))
                {
                    std::fprintf (stderr, "could not add fake device %d\n", present);
                    return 1;
                }
            std::printf ("devices_added %d %.1f\n", count, millisecondsSince (addStart));

            for (int r = 0; r < repeats; ++r)
            {
                auto start = Clock::now();
                const int walked = bareWalk();
                std::printf ("bare_walk %d %.1f\n", count, millisecondsSince (start));

                udi_device_node* head = nullptr;
                start = Clock::now();
                const udi_result result = udi_create_list (&head, &appOptions);
                const double listed = millisecondsSince (start);

                int nodes = 0;
                for (auto* node = head; node != nullptr; node = node->next_device)
                    ++nodes;
                udi_destroy_list (head);

                if (result != 0 || nodes < count)
                {
                    std::fprintf (stderr, "listing of %d devices gave %d with %d nodes (walk %d)\n",
                                  count, (int) result, nodes, walked);
                    return 1;
                }
                std::printf ("create_list %d %.1f\n", count, listed);
                std::fflush (stdout);
            }
        }
        return 0;
    }
}

int main (int argc, char** argv)
{
    const std::string what = argc > 1 ? argv[1] : "";

    if (what == "tool" && argc == 3)
        return timeToolRuns (std::atoi (argv[2]));

    if (what == "list" && argc >= 4)
        return timeListings (std::atoi (argv[2]), argc - 3, argv + 3);

    std::fprintf (stderr, "usage: bench_calls tool RUNS | list REPEATS N...\n");
    return 2;
}
