#pragma once

#include <functional>
#include <string>
#include <vector>

// Runs the package's installer program as the library does and plays the
// library's side of the pipe: it answers the installer's requests and keeps
// every message. Every wait is bounded, so that an installer that hangs
// fails the test instead of stopping it.
namespace installer_test
{
    struct Message
    {
        unsigned char type = 0;
        std::string payload;
    };

    struct Script
    {
        // The reply bytes to the requests of types 2, 3 and 4, sent as they are.
        std::string deviceIdReply;
        std::string hardwareIdReply;
        std::string userSidReply;
        // Close the pipe when a message of this type arrives; -1: never.
        int closeAtType = -1;
        // Keep the pipe open but answer no request.
        bool answerNothing = false;
        // Make the pipe only this long after the installer started.
        unsigned pipeDelayMs = 0;
        // The working folder to start it in; empty: the package folder.
        std::wstring workingFolder;
        // Called with each message as it arrives.
        std::function<void (const Message&)> onMessage;
    };

    // The reply that stands for "none": one zero byte.
    const std::string noValue (1, '\0');

    // The replies for a device of that instance id and hardware id.
    Script answering (const std::string& deviceId, const std::string& hardwareId);

    struct Outcome
    {
        std::vector<Message> messages;
        int exitCode = -1000;      // -1000: it did not end in time and was ended
        double seconds = 0;        // from its start to its end

        std::vector<int> types() const;
        // All progress texts, one a line.
        std::string progress() const;
        // The status byte of the type-7 message, or -1000 when there was none.
        int status() const;
    };

    // Starts folder\installer_x64.exe with "\"infName\"" in folder (or the
    // script's working folder), hidden and elevated as the library does, and
    // serves the pipe by the script.
    Outcome runInstaller (const std::wstring& folder, const std::wstring& infName, const Script& script);

    // Starts it with these parameters as they are, with nobody serving the pipe.
    Outcome runInstallerAlone (const std::wstring& folder, const std::wstring& parameters);
}
