#pragma once

#include <string>

namespace udi_test {

// A new folder below TEMP for one test, removed with all it holds.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();

    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    const std::wstring &wide() const { return path; }
    std::string utf8() const;                             // the folder in UTF-8
    std::string utf8(const std::wstring &below) const;    // folder\below in UTF-8
    std::wstring wide(const std::wstring &below) const { return path + L"\\" + below; }

private:
    std::wstring path;
};

std::string toUtf8(const std::wstring &text);
bool isFolder(const std::wstring &path);
bool isFile(const std::wstring &path);
std::string readFile(const std::wstring &path);

}  // namespace udi_test
