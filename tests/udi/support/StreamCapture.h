#pragma once

#include <string>

namespace udi_test {

// Sends what the process writes to standard output and standard error into
// files of its own while it lives, and gives the texts back.
class StreamCapture {
public:
    StreamCapture();
    ~StreamCapture();

    StreamCapture(const StreamCapture &) = delete;
    StreamCapture &operator=(const StreamCapture &) = delete;

    // Ends the capture (once) and reads what was written.
    void finish();
    const std::string &out() const { return outText; }
    const std::string &err() const { return errText; }

private:
    struct Redirect {
        int stream = -1;
        int saved = -1;
        std::string path;
    };
    static void start(Redirect &redirect, int stream, const char *name);
    static std::string stop(Redirect &redirect);

    Redirect outRedirect, errRedirect;
    std::string outText, errText;
    bool finished = false;
};

}  // namespace udi_test
