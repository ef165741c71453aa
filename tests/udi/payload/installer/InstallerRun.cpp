#include "InstallerRun.h"

#include <windows.h>
#include <shellapi.h>

namespace installer_test
{
    namespace
    {
        // Far past every bounded wait of the installer.
        const DWORD waitLimitMs = 30000;

        const wchar_t* const pipeName = L"\\\\.\\pipe\\libudi-installer";

        struct OwnedHandle
        {
            HANDLE handle = nullptr;
            ~OwnedHandle()
            {
                if (handle != nullptr && handle != INVALID_HANDLE_VALUE)
                    CloseHandle (handle);
            }
        };

        HANDLE startInstaller (const std::wstring& folder, const std::wstring& parameters,
                               const std::wstring& workingFolder = {})
        {
            const std::wstring program = folder + L"\\installer_x64.exe";
            SHELLEXECUTEINFOW info = { sizeof (info) };
            info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
            info.lpVerb = L"runas";
            info.lpFile = program.c_str();
            info.lpParameters = parameters.c_str();
            info.lpDirectory = workingFolder.empty() ? folder.c_str() : workingFolder.c_str();
            info.nShow = SW_HIDE;
            return ShellExecuteExW (&info) ? info.hProcess : nullptr;
        }

        void waitForEnd (HANDLE process, ULONGLONG started, Outcome& run)
        {
            DWORD code = 0;
            if (WaitForSingleObject (process, waitLimitMs) == WAIT_OBJECT_0 && GetExitCodeProcess (process, &code))
                run.exitCode = (int) code;
            else
                TerminateProcess (process, 1);
            run.seconds = (double) (GetTickCount64() - started) / 1000.0;
        }

        // Ends one overlapped operation on the pipe within the limit.
        DWORD finish (HANDLE pipe, OVERLAPPED& overlapped, BOOL started, DWORD& transferred)
        {
            DWORD error = started ? ERROR_SUCCESS : GetLastError();
            transferred = 0;
            if (error == ERROR_IO_PENDING)
            {
                if (WaitForSingleObject (overlapped.hEvent, waitLimitMs) != WAIT_OBJECT_0)
                {
                    CancelIo (pipe);
                    GetOverlappedResult (pipe, &overlapped, &transferred, TRUE);
                    return ERROR_TIMEOUT;
                }
            }
            else if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA)
            {
                return error;
            }
            return GetOverlappedResult (pipe, &overlapped, &transferred, FALSE) ? ERROR_SUCCESS : GetLastError();
        }

        bool connect (HANDLE pipe, HANDLE event, HANDLE process)
        {
            OVERLAPPED overlapped = {};
            overlapped.hEvent = event;
            if (ConnectNamedPipe (pipe, &overlapped))
                return true;
            const DWORD error = GetLastError();
            if (error == ERROR_PIPE_CONNECTED)
                return true;
            if (error != ERROR_IO_PENDING)
                return false;

            const HANDLE either[] = { event, process };
            if (WaitForMultipleObjects (2, either, FALSE, waitLimitMs) == WAIT_OBJECT_0)
                return true;
            CancelIo (pipe);
            DWORD ignored;
            GetOverlappedResult (pipe, &overlapped, &ignored, TRUE);
            return false;
        }

        const std::string* replyTo (unsigned char type, const Script& script)
        {
            switch (type)
            {
                case 2: return &script.deviceIdReply;
                case 3: return &script.hardwareIdReply;
                case 4: return &script.userSidReply;
                default: return nullptr;
            }
        }

        void serve (HANDLE pipe, HANDLE event, const Script& script, Outcome& run)
        {
            std::string buffer (65536, '\0');
            for (;;)
            {
                OVERLAPPED overlapped = {};
                overlapped.hEvent = event;
                DWORD got = 0;
                const DWORD error = finish (pipe, overlapped,
                                            ReadFile (pipe, buffer.data(), (DWORD) buffer.size(), nullptr, &overlapped),
                                            got);
                if ((error != ERROR_SUCCESS && error != ERROR_MORE_DATA) || got == 0)
                    return;

                Message message;
                message.type = (unsigned char) buffer[0];
                message.payload = buffer.substr (1, got - 1);
                run.messages.push_back (message);
                if (script.onMessage)
                    script.onMessage (message);
                if (message.type == script.closeAtType)
                    return;

                const std::string* reply = replyTo (message.type, script);
                if (reply != nullptr && ! script.answerNothing)
                {
                    OVERLAPPED writing = {};
                    writing.hEvent = event;
                    DWORD written = 0;
                    if (finish (pipe, writing, WriteFile (pipe, reply->data(), (DWORD) reply->size(), nullptr, &writing),
                                written) != ERROR_SUCCESS)
                        return;
                }
            }
        }
    }

    Script answering (const std::string& deviceId, const std::string& hardwareId)
    {
        Script script;
        script.deviceIdReply = deviceId;
        script.hardwareIdReply = hardwareId;
        script.userSidReply = "S-1-5-21-1004336348-1177238915-682003330-1000";
        return script;
    }

    std::vector<int> Outcome::types() const
    {
        std::vector<int> all;
        for (const auto& message : messages)
            all.push_back (message.type);
        return all;
    }

    std::string Outcome::progress() const
    {
        std::string all;
        for (const auto& message : messages)
            if (message.type == 0)
                all += message.payload + "\n";
        return all;
    }

    int Outcome::status() const
    {
        for (const auto& message : messages)
            if (message.type == 7 && message.payload.size() == 1)
                return (signed char) message.payload[0];
        return -1000;
    }

    Outcome runInstaller (const std::wstring& folder, const std::wstring& infName, const Script& script)
    {
        Outcome run;
        const ULONGLONG started = GetTickCount64();
        OwnedHandle process;
        if (script.pipeDelayMs > 0)
        {
            process.handle = startInstaller (folder, L"\"" + infName + L"\"", script.workingFolder);
            Sleep (script.pipeDelayMs);
        }
        // As the library makes it: duplex, overlapped, messages, one instance.
        OwnedHandle pipe { CreateNamedPipeW (pipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                             PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4096, 4096,
                                             0, nullptr) };
        OwnedHandle event { CreateEventW (nullptr, TRUE, FALSE, nullptr) };
        if (script.pipeDelayMs == 0 && pipe.handle != INVALID_HANDLE_VALUE)
            process.handle = startInstaller (folder, L"\"" + infName + L"\"", script.workingFolder);
        if (process.handle == nullptr)
            return run;
        if (pipe.handle != INVALID_HANDLE_VALUE && event.handle != nullptr
            && connect (pipe.handle, event.handle, process.handle))
            serve (pipe.handle, event.handle, script, run);

        DisconnectNamedPipe (pipe.handle);
        CloseHandle (pipe.handle);
        pipe.handle = nullptr;
        waitForEnd (process.handle, started, run);
        return run;
    }

    Outcome runInstallerAlone (const std::wstring& folder, const std::wstring& parameters)
    {
        Outcome run;
        const ULONGLONG started = GetTickCount64();
        OwnedHandle process { startInstaller (folder, parameters) };
        if (process.handle != nullptr)
            waitForEnd (process.handle, started, run);
        return run;
    }
}
