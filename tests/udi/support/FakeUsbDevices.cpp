#include "FakeUsbDevices.h"

#include <windows.h>
#include <devguid.h>
#include <devpropdef.h>
#include <newdev.h>
#include <setupapi.h>

#include <fstream>

// In SetupAPI since Vista, but missing from mingw-w64's header.
extern "C" WINSETUPAPI WINBOOL WINAPI SetupDiSetDevicePropertyW(
    HDEVINFO set, PSP_DEVINFO_DATA device, const DEVPROPKEY *key, DEVPROPTYPE type,
    const BYTE *buffer, DWORD size, DWORD flags);

namespace udi_test {

namespace {

const wchar_t *const testMark = L"UDITEST";

// {540B947E-8B40-45BC-A8A2-6A0B894CBDA2}, 4
const DEVPROPKEY busReportedDescription = {
    { 0x540B947E, 0x8B40, 0x45BC, { 0xA8, 0xA2, 0x6A, 0x0B, 0x89, 0x4C, 0xBD, 0xA2 } }, 4
};

// {4340A6C5-93FA-4706-972C-7B648008A5A7}, 3
const DEVPROPKEY problemCodeKey = {
    { 0x4340A6C5, 0x93FA, 0x4706, { 0x97, 0x2C, 0x7B, 0x64, 0x80, 0x08, 0xA5, 0xA7 } }, 3
};

std::wstring multiString(const std::vector<std::wstring> &strings)
{
    std::wstring all;
    for (const auto &s : strings) {
        all += s;
        all += L'\0';
    }
    all += L'\0';
    return all;
}

bool setText(HDEVINFO set, SP_DEVINFO_DATA *device, DWORD property, const std::wstring &text)
{
    return SetupDiSetDeviceRegistryPropertyW(set, device, property,
                                             reinterpret_cast<const BYTE *>(text.c_str()),
                                             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

bool setStrings(HDEVINFO set, SP_DEVINFO_DATA *device, DWORD property,
                const std::vector<std::wstring> &strings)
{
    const std::wstring all = multiString(strings);
    return SetupDiSetDeviceRegistryPropertyW(set, device, property,
                                             reinterpret_cast<const BYTE *>(all.data()),
                                             static_cast<DWORD>(all.size() * sizeof(wchar_t)));
}

std::wstring tempPath(const wchar_t *name)
{
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + name;
}

}  // namespace

FakeUsbDevices::FakeUsbDevices()
{
    removeAll();
}

FakeUsbDevices::~FakeUsbDevices()
{
    removeAll();
}

bool FakeUsbDevices::add(const FakeUsbDevice &device)
{
    HDEVINFO set = SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_USB, nullptr);
    if (set == INVALID_HANDLE_VALUE)
        return false;

    SP_DEVINFO_DATA data = { sizeof(data) };
    bool ok = SetupDiCreateDeviceInfoW(set, device.instanceId.c_str(), &GUID_DEVCLASS_USB,
                                       device.description.empty() ? nullptr
                                                                  : device.description.c_str(),
                                       nullptr, 0, &data);
    if (ok && !device.hardwareIds.empty())
        ok = setStrings(set, &data, SPDRP_HARDWAREID, device.hardwareIds);
    if (ok && !device.compatibleIds.empty())
        ok = setStrings(set, &data, SPDRP_COMPATIBLEIDS, device.compatibleIds);
    if (ok && !device.service.empty())
        ok = setText(set, &data, SPDRP_SERVICE, device.service);
    if (ok && !device.upperFilter.empty())
        ok = setStrings(set, &data, SPDRP_UPPERFILTERS, { device.upperFilter });
    if (ok && !device.busDescription.empty())
        ok = SetupDiSetDevicePropertyW(set, &data, &busReportedDescription, DEVPROP_TYPE_STRING,
                                       reinterpret_cast<const BYTE *>(device.busDescription.c_str()),
                                       static_cast<DWORD>((device.busDescription.size() + 1)
                                                          * sizeof(wchar_t)), 0);
    if (ok)
        ok = SetupDiRegisterDeviceInfo(set, &data, 0, nullptr, nullptr, nullptr);
    SetupDiDestroyDeviceInfoList(set);
    return ok;
}

bool FakeUsbDevices::installDriver(const std::wstring &hardwareId, const std::wstring &driverVersion)
{
    const std::wstring infPath = tempPath(L"uditest_driver.inf");
    {
        std::wofstream inf(infPath.c_str());
        inf << L"[Version]\n"
               L"Signature = \"$Windows NT$\"\n"
               L"Class = USBDevice\n"
               L"ClassGuid = {88bae032-5a81-49f0-bc3d-a4ff138216d6}\n"
               L"Provider = \"UdiTest\"\n"
               L"DriverVer = 01/02/2021, " << driverVersion << L"\n\n"
               L"[Manufacturer]\n"
               L"UdiTest = Models,NTamd64\n\n"
               L"[Models]\n"
               L"UdiTest Device = Install, " << hardwareId << L"\n\n"
               L"[Models.NTamd64]\n"
               L"UdiTest Device = Install, " << hardwareId << L"\n\n"
               L"[Install]\n"
               L"AddReg = Install_AddReg\n\n"
               L"[Install_AddReg]\n"
               L"HKR,,DriverVersion,,\"" << driverVersion << L"\"\n\n"
               L"[Install.Services]\n"
               L"AddService = WinUSB,0x00000002,Service_Install\n\n"
               L"[Service_Install]\n"
               L"ServiceType = 1\n"
               L"StartType = 3\n"
               L"ErrorControl = 1\n"
               L"ServiceBinary = %12%\\WinUSB.sys\n";
    }
    BOOL reboot = FALSE;
    const BOOL installed = UpdateDriverForPlugAndPlayDevicesW(nullptr, hardwareId.c_str(),
                                                              infPath.c_str(), INSTALLFLAG_FORCE,
                                                              &reboot);
    DeleteFileW(infPath.c_str());
    return installed != FALSE;
}

// The system keeps this property itself. Wine keeps it where a program can
// set it, and its node status function reports nothing at all.
bool FakeUsbDevices::setProblem(const std::wstring &instanceId, unsigned long problemCode)
{
    HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    if (set == INVALID_HANDLE_VALUE)
        return false;
    SP_DEVINFO_DATA device = { sizeof(device) };
    const ULONG code = problemCode;
    const bool ok = SetupDiOpenDeviceInfoW(set, instanceId.c_str(), nullptr, 0, &device)
        && SetupDiSetDevicePropertyW(set, &device, &problemCodeKey, DEVPROP_TYPE_UINT32,
                                     reinterpret_cast<const BYTE *>(&code), sizeof(code), 0);
    SetupDiDestroyDeviceInfoList(set);
    return ok;
}

void FakeUsbDevices::removeAll()
{
    // Ids first, removal after: the walk must not run over a set that shrinks.
    std::vector<std::wstring> ids;
    HDEVINFO set = SetupDiGetClassDevsW(nullptr, L"USB", nullptr, DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA data = { sizeof(data) };
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &data); index++) {
        wchar_t id[512];
        if (SetupDiGetDeviceInstanceIdW(set, &data, id, 512, nullptr) && wcsstr(id, testMark) != nullptr)
            ids.push_back(id);
        data.cbSize = sizeof(data);
    }
    SetupDiDestroyDeviceInfoList(set);

    for (const auto &id : ids) {
        HDEVINFO one = SetupDiCreateDeviceInfoList(nullptr, nullptr);
        SP_DEVINFO_DATA device = { sizeof(device) };
        if (SetupDiOpenDeviceInfoW(one, id.c_str(), nullptr, 0, &device))
            SetupDiRemoveDevice(one, &device);
        SetupDiDestroyDeviceInfoList(one);
    }
}

int FakeUsbDevices::foreignDeviceCount()
{
    int count = 0;
    HDEVINFO set = SetupDiGetClassDevsW(nullptr, L"USB", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE)
        return 0;
    SP_DEVINFO_DATA data = { sizeof(data) };
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &data); index++) {
        wchar_t id[512];
        if (SetupDiGetDeviceInstanceIdW(set, &data, id, 512, nullptr) && wcsstr(id, testMark) == nullptr)
            count++;
        data.cbSize = sizeof(data);
    }
    SetupDiDestroyDeviceInfoList(set);
    return count;
}

}  // namespace udi_test
