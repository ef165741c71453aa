#include "ChildProcess.h"

#include <windows.h>

namespace udi_test {

std::wstring probePath(const wchar_t *name)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    path.erase(path.find_last_of(L'\\') + 1);
    return path + name;
}

std::wstring probeCommand(const std::vector<std::wstring> &arguments, const wchar_t *name)
{
    std::wstring command = L"\"" + probePath(name) + L"\"";
    for (const auto &argument : arguments)
        command += L" \"" + argument + L"\"";
    return command;
}

int runProbe(const std::vector<std::wstring> &arguments, const wchar_t *name,
             std::string *errorOutput)
{
    return runCommand(probeCommand(arguments, name), errorOutput, false);
}

int runCommand(std::wstring command, std::string *output, bool withStandardOutput)
{
    SECURITY_ATTRIBUTES inheritable = { sizeof(inheritable), nullptr, TRUE };
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (output != nullptr) {
        CreatePipe(&readEnd, &writeEnd, &inheritable, 0);
        SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    }

    STARTUPINFOW startup = { sizeof(startup) };
    if (writeEnd != nullptr) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = withStandardOutput ? writeEnd : GetStdHandle(STD_OUTPUT_HANDLE);
        startup.hStdError = writeEnd;
    }
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, writeEnd != nullptr,
                                  0, nullptr, nullptr, &startup, &process);
    if (writeEnd != nullptr)
        CloseHandle(writeEnd);
    if (!started) {
        if (readEnd != nullptr)
            CloseHandle(readEnd);
        return -1000;
    }

    if (readEnd != nullptr) {
        char buffer[512];
        DWORD got = 0;
        while (ReadFile(readEnd, buffer, sizeof(buffer), &got, nullptr) && got > 0)
            output->append(buffer, got);
        CloseHandle(readEnd);
    }

    return waitForEnd(process, -1000);
}

int exitCodeOf(HANDLE process, int unfinished)
{
    DWORD code = static_cast<DWORD>(unfinished);
    if (WaitForSingleObject(process, 10000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process, &code);
    else
        TerminateProcess(process, 1);
    return static_cast<int>(code);
}

int waitForEnd(PROCESS_INFORMATION &process, int unfinished)
{
    const int code = exitCodeOf(process.hProcess, unfinished);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

}  // namespace udi_test
