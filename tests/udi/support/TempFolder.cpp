#include "TempFolder.h"

#include <fstream>
#include <iterator>
#include <windows.h>

namespace udi_test {

namespace {

// Under Wine a program that ran in the folder holds it a moment past its end:
// the removal is tried again for up to a second.
void removeTree(const std::wstring &folder)
{
    std::error_code ignored;
    for (int attempt = 0; attempt < 50; attempt++) {
        std::filesystem::remove_all(folder, ignored);
        if (!std::filesystem::exists(folder, ignored))
            return;
        Sleep(20);
    }
}

// Taken once, before any test moves TEMP elsewhere.
const std::wstring &processTemp()
{
    static const std::wstring temp = [] {
        wchar_t path[MAX_PATH];
        GetTempPathW(MAX_PATH, path);
        return std::wstring(path);
    }();
    return temp;
}

}  // namespace

TempFolder::TempFolder()
{
    static int counter = 0;
    folder = processTemp() + L"udi_test_" + std::to_wstring(GetCurrentProcessId()) + L"_"
             + std::to_wstring(++counter);
    removeTree(folder);
    CreateDirectoryW(folder.c_str(), nullptr);
}

TempFolder::~TempFolder()
{
    removeTree(folder);
}

std::string TempFolder::utf8() const
{
    return toUtf8(folder);
}

std::string TempFolder::utf8(const std::wstring &below) const
{
    return toUtf8(wide(below));
}

std::filesystem::path TempFolder::pathOfLength(size_t length) const
{
    return path() / std::string(length - utf8().size() - 1, 'p');
}

std::string toUtf8(const std::wstring &text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8.data(), size, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(size) - 1);
    return utf8;
}

bool isFolder(const std::wstring &path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool isFile(const std::wstring &path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string readFile(const std::wstring &path)
{
    std::ifstream file(path.c_str(), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

void writeFile(const std::wstring &path, const std::string &bytes)
{
    std::ofstream file(path.c_str(), std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace udi_test
