#pragma once

#include <filesystem>
#include <string>

namespace udi_test {

// A new folder below TEMP for one test, removed with all it holds.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();

    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    const std::wstring &wide() const { return folder; }
    std::filesystem::path path() const { return folder; }
    std::string utf8() const;                             // the folder in UTF-8
    std::string utf8(const std::wstring &below) const;    // folder\below in UTF-8
    std::wstring wide(const std::wstring &below) const { return folder + L"\\" + below; }
    // A path right below the folder, exactly length characters long.
    std::filesystem::path pathOfLength(size_t length) const;

private:
    std::wstring folder;
};

std::string toUtf8(const std::wstring &text);
bool isFolder(const std::wstring &path);
bool isFile(const std::wstring &path);
// The whole file as bytes; empty when it cannot be read.
std::string readFile(const std::wstring &path);
// Replaces the file's content with the bytes.
void writeFile(const std::wstring &path, const std::string &bytes);

}  // namespace udi_test
