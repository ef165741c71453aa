#include "DriverPackage.h"

#include <windows.h>

#include "udi/internal.h"

namespace installer_test
{
    DriverPackage::DriverPackage()
    {
        extracted = extract_binaries (temp.utf8().c_str()) == 0;
    }

    void DriverPackage::writeInf (const std::wstring& name, const std::string& text) const
    {
        const int length = MultiByteToWideChar (CP_UTF8, 0, text.data(), (int) text.size(), nullptr, 0);
        std::wstring wide ((size_t) length, L'\0');
        MultiByteToWideChar (CP_UTF8, 0, text.data(), (int) text.size(), wide.data(), length);
        std::string bytes = "\xFF\xFE";
        bytes.append (reinterpret_cast<const char*> (wide.data()), wide.size() * sizeof (wchar_t));
        udi_test::writeFile (path (name), bytes);
    }

    std::string replaceTokens (std::string text, const std::map<std::string, std::string>& values)
    {
        for (const auto& [name, value] : values)
        {
            const std::string token = "#" + name + "#";
            for (size_t at = text.find (token); at != std::string::npos; at = text.find (token, at + value.size()))
                text.replace (at, token.size(), value);
        }
        return text;
    }

    std::string winUsbInf (const std::string& infName, const std::string& hardwareIdToken)
    {
        const embedded_file* row = find_embedded_template ("winusb.inf.in");
        if (row == nullptr)
            return {};
        const std::string catName = infName.substr (0, infName.size() - 3) + "cat";
        return replaceTokens (std::string (reinterpret_cast<const char*> (row->data), (size_t) row->size),
                              { { "INF_FILENAME", infName },
                                { "CAT_FILENAME", catName },
                                { "DEVICE_DESCRIPTION", "Kelvane" },
                                { "DEVICE_MANUFACTURER", "(Undefined Vendor)" },
                                { "DEVICE_HARDWARE_ID", hardwareIdToken },
                                { "DEVICE_INTERFACE_GUID", "{6E3C0222-8A1D-4C55-9D0E-3A5B7C9D1E2F}" },
                                { "DRIVER_DATE", "06/23/2020" },
                                { "DRIVER_VERSION", "6.1.7600.16385" },
                                { "USE_DEVICE_INTERFACE_GUID", "AddDeviceInterfaceGUID" },
                                { "WDF_VERSION", "01011" },
                                { "KMDF_VERSION", "1.11" } });
    }
}
