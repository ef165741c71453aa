#include "ScratchFolder.h"

#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include <windows.h>

namespace
{
    // Taken once, before any test moves TEMP elsewhere.
    const std::filesystem::path& processTemp()
    {
        static const std::filesystem::path temp = std::filesystem::temp_directory_path();
        return temp;
    }
}

ScratchFolder::ScratchFolder()
{
    static int counter = 0;
    folder = processTemp() / ("udi-payload-" + std::to_string (GetCurrentProcessId())
                              + "-" + std::to_string (++counter));
    std::filesystem::remove_all (folder);
    std::filesystem::create_directories (folder);
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all (folder, ignored);
}

std::string readFile (const std::filesystem::path& file)
{
    std::ifstream in (file, std::ios::binary);
    return std::string (std::istreambuf_iterator<char> (in), std::istreambuf_iterator<char>());
}

void writeFile (const std::filesystem::path& file, const std::string& bytes)
{
    std::ofstream out (file, std::ios::binary | std::ios::trunc);
    out.write (bytes.data(), (std::streamsize) bytes.size());
}

ScopedEnvironment::ScopedEnvironment (const wchar_t* variable, const wchar_t* value)
    : name (variable)
{
    DWORD length = GetEnvironmentVariableW (variable, nullptr, 0);
    if (length > 0)
    {
        std::vector<wchar_t> buffer (length);
        GetEnvironmentVariableW (variable, buffer.data(), length);
        oldValue = buffer.data();
        hadValue = true;
    }
    SetEnvironmentVariableW (variable, value);
}

ScopedEnvironment::~ScopedEnvironment()
{
    SetEnvironmentVariableW (name.c_str(), hadValue ? oldValue.c_str() : nullptr);
}
