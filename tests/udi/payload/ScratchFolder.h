#pragma once

#include <filesystem>
#include <string>

// A fresh folder below the process's TEMP at start, removed with everything
// in it when the owner goes.
class ScratchFolder
{
public:
    ScratchFolder();
    ~ScratchFolder();

    ScratchFolder (const ScratchFolder&) = delete;
    ScratchFolder& operator= (const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return folder; }

    // The folder's path as the library takes it (UTF-8, backslashes).
    std::string text() const { return folder.string(); }

private:
    std::filesystem::path folder;
};

// The whole file as bytes; empty when it cannot be read.
std::string readFile (const std::filesystem::path& file);

void writeFile (const std::filesystem::path& file, const std::string& bytes);

// Sets an environment variable of this process for the owner's lifetime.
class ScopedEnvironment
{
public:
    // value nullptr removes the variable.
    ScopedEnvironment (const wchar_t* name, const wchar_t* value);
    ~ScopedEnvironment();

    ScopedEnvironment (const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator= (const ScopedEnvironment&) = delete;

private:
    std::wstring name, oldValue;
    bool hadValue = false;
};
