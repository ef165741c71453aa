#pragma once

#include <map>
#include <string>

#include "support/TempFolder.h"

namespace installer_test
{
    // A driver package folder as the library prepares one: the payload
    // written out with extract_binaries, and INF files filled from the
    // WinUSB template. The folder goes with the object.
    class DriverPackage
    {
    public:
        DriverPackage();

        // Whether the payload was written.
        bool ready() const { return extracted; }
        const std::wstring& folder() const { return temp.wide(); }
        std::wstring path (const std::wstring& below) const { return temp.wide (below); }

        // Writes name as the library does: UTF-16LE with a byte-order mark.
        void writeInf (const std::wstring& name, const std::string& text) const;

    private:
        udi_test::TempFolder temp;
        bool extracted = false;
    };

    // The WinUSB template with its tokens filled for a device matching
    // USB\<hardwareIdToken>, such as "VID_6E3C&PID_0222".
    std::string winUsbInf (const std::string& infName, const std::string& hardwareIdToken);

    // text with every "#NAME#" of the table replaced by its value.
    std::string replaceTokens (std::string text, const std::map<std::string, std::string>& values);
}
