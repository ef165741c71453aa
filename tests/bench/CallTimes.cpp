// Times single calls for scripts/bench, one line per measurement:
//   tool RUNS          runAndExpect against the stand-in tool beside this
//                      program, which prints its line and ends at once;
//                      beside the same tool started and waited for alone,
//                      the runner's pause and the log's opening
//   list REPEATS N...  udi_create_list with N fake devices present, for each
//                      N in turn, beside a bare walk of the same device set
//                      and the walk with the listing's reads alone
//   prepare RUNS       udi_prepare_driver as the application calls it, on a
//                      listed fake device, beside the generation of a key
//                      like the signing's alone
// Lines: "<what> <count> <milliseconds>"; the script takes the medians.
#include "tools/ProcessRunner.h"
#include "tools/ToolLog.h"

#include "support/FakeUsbDevices.h"
#include "udi/libudi.h"

#include <windows.h>
#include <cfgmgr32.h>
#include <devpropdef.h>
#include <setupapi.h>
#include <wincrypt.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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
            // The start returns once the system has the new process running.
            std::printf ("tool_start 1 %.1f\n", millisecondsSince (start));
            process.readAllProcessOutput();
            std::printf ("tool_alone 1 %.1f\n", millisecondsSince (start));

            // What each run spends before the tool starts: the log's opening.
            start = Clock::now();
            {
                auto log = openLog();
            }
            std::printf ("open_log 1 %.1f\n", millisecondsSince (start));

            // The runner's pause itself, as the system keeps it.
            start = Clock::now();
            juce::Thread::sleep (toolrun::readPauseMs);
            std::printf ("pause 1 %.1f\n", millisecondsSince (start));

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

    // The platform's whole share: the same walk with every read that the
    // listing makes of a device without a driver, kept nowhere.
    int platformReads()
    {
        static const DEVPROPKEY busDescription = {
            { 0x540B947E, 0x8B40, 0x45BC, { 0xA8, 0xA2, 0x6A, 0x0B, 0x89, 0x4C, 0xBD, 0xA2 } }, 4
        };
        const DWORD properties[] = { SPDRP_DRIVER, SPDRP_SERVICE, SPDRP_HARDWAREID,
                                     SPDRP_COMPATIBLEIDS, SPDRP_UPPERFILTERS };
        HDEVINFO set = SetupDiGetClassDevsA (nullptr, "USB", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
        if (set == INVALID_HANDLE_VALUE)
            return 0;
        SP_DEVINFO_DATA device = {};
        device.cbSize = sizeof (device);
        DWORD index = 0;
        for (; SetupDiEnumDeviceInfo (set, index, &device); ++index)
        {
            BYTE buffer[256];
            wchar_t text[256];
            char id[256];
            DEVPROPTYPE type = 0;
            for (const DWORD property : properties)
                SetupDiGetDeviceRegistryPropertyA (set, &device, property, nullptr, buffer, sizeof (buffer), nullptr);
            CM_Get_Device_IDA (device.DevInst, id, sizeof (id), 0);
            if (! SetupDiGetDevicePropertyW (set, &device, &busDescription, &type, (BYTE*) text, sizeof (text), nullptr, 0))
                SetupDiGetDeviceRegistryPropertyW (set, &device, SPDRP_DEVICEDESC, nullptr, (BYTE*) text, sizeof (text), nullptr);
        }
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

                start = Clock::now();
                platformReads();
                std::printf ("platform_reads %d %.1f\n", count, millisecondsSince (start));

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

    // The key of the package's signing certificate: RSA of 4096 bits in a
    // machine key container, made anew; the container is deleted again.
    bool timeKeyGeneration()
    {
        const wchar_t* const container = L"kelvane bench key container";
        const DWORD flags = CRYPT_MACHINE_KEYSET | CRYPT_SILENT;
        HCRYPTPROV provider = 0;
        CryptAcquireContextW (&provider, container, nullptr, PROV_RSA_FULL, flags | CRYPT_DELETEKEYSET);
        if (! CryptAcquireContextW (&provider, container, nullptr, PROV_RSA_FULL, flags | CRYPT_NEWKEYSET))
            return false;

        HCRYPTKEY key = 0;
        const auto start = Clock::now();
        const bool made = CryptGenKey (provider, AT_SIGNATURE, (4096u << 16) | CRYPT_EXPORTABLE, &key) != FALSE;
        const double ms = millisecondsSince (start);
        if (made)
            CryptDestroyKey (key);
        CryptReleaseContext (provider, 0);
        CryptAcquireContextW (&provider, container, nullptr, PROV_RSA_FULL, flags | CRYPT_DELETEKEYSET);
        if (made)
            std::printf ("key_generation 1 %.1f\n", ms);
        return made;
    }

    int timePreparations (int runs)
    {
        udi_test::FakeUsbDevices devices;
        udi_test::FakeUsbDevice kelvane;
        kelvane.instanceId = L"USB\\VID_6E3C&PID_0222\\UDITEST_BENCH";
        kelvane.hardwareIds = { L"USB\\VID_6E3C&PID_0222&REV_0100", L"USB\\VID_6E3C&PID_0222" };
        kelvane.description = L"Kelvane DFU";
        if (! devices.add (kelvane))
            return 1;

        const udi_list_options appOptions = { 1, 0, 0 };
        udi_device_node* head = nullptr;
        if (udi_create_list (&head, &appOptions) != 0)
            return 1;
        const udi_device_node* device = head;
        while (device != nullptr && std::string (device->device_id).find ("UDITEST_BENCH") == std::string::npos)
            device = device->next_device;
        if (device == nullptr)
            return 1;

        const auto folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                                .getChildFile ("kelvane bench package");
        int failed = 0;
        for (int i = 0; i < runs && failed == 0; ++i)
        {
            folder.deleteRecursively();
            const udi_prepare_options options = {}; // the application's choice
            const auto start = Clock::now();
            const udi_result result = udi_prepare_driver (device, folder.getFullPathName().toRawUTF8(),
                                                          "deviceDrv.inf", &options);
            const double ms = millisecondsSince (start);
            if (result != 0)
            {
                std::fprintf (stderr, "udi_prepare_driver gave %d\n", (int) result);
                failed = 1;
                break;
            }
            std::printf ("prepare_driver 1 %.1f\n", ms);
            std::printf ("catalog_made 1 %d\n", folder.getChildFile ("deviceDrv.cat").existsAsFile() ? 1 : 0);
            if (! timeKeyGeneration())
            {
                std::fprintf (stderr, "no key could be generated\n");
                failed = 1;
            }
            std::fflush (stdout);
        }
        folder.deleteRecursively();
        udi_destroy_list (head);
        return failed;
    }
}

int main (int argc, char** argv)
{
    const std::string what = argc > 1 ? argv[1] : "";

    if (what == "tool" && argc == 3)
        return timeToolRuns (std::atoi (argv[2]));

    if (what == "list" && argc >= 4)
        return timeListings (std::atoi (argv[2]), argc - 3, argv + 3);

    if (what == "prepare" && argc == 3)
        return timePreparations (std::atoi (argv[2]));

    std::fprintf (stderr, "usage: bench_calls tool RUNS | list REPEATS N... | prepare RUNS\n");
    return 2;
}
