#pragma once

#include <gtest/gtest.h>

#include <string>

// What the library logs while the owner lives: its info lines go to standard
// output, every other level to standard error.
class LogCapture
{
public:
    LogCapture()
    {
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
    }

    ~LogCapture() { stop(); }

    LogCapture (const LogCapture&) = delete;
    LogCapture& operator= (const LogCapture&) = delete;

    const std::string& infoLines() { stop(); return output; }
    const std::string& otherLines() { stop(); return errors; }

private:
    void stop()
    {
        if (stopped)
            return;
        stopped = true;
        output = ::testing::internal::GetCapturedStdout();
        errors = ::testing::internal::GetCapturedStderr();
    }

    bool stopped = false;
    std::string output, errors;
};
