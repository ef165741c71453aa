#include "StreamCapture.h"

#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <io.h>
#include <iterator>
#include <sstream>
#include <windows.h>

namespace udi_test {

StreamCapture::StreamCapture()
{
    start(outRedirect, 1, "out");
    start(errRedirect, 2, "err");
}

StreamCapture::~StreamCapture()
{
    finish();
}

void StreamCapture::start(Redirect &redirect, int stream, const char *name)
{
    char folder[MAX_PATH];
    GetTempPathA(sizeof(folder), folder);
    std::ostringstream path;
    path << folder << "udi_capture_" << GetCurrentProcessId() << '_' << name << ".txt";
    redirect.path = path.str();
    redirect.stream = stream;

    std::fflush(stdout);
    std::fflush(stderr);
    int file = _open(redirect.path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, 0600);
    redirect.saved = _dup(stream);
    _dup2(file, stream);
    _close(file);
}

std::string StreamCapture::stop(Redirect &redirect)
{
    std::fflush(stdout);
    std::fflush(stderr);
    _dup2(redirect.saved, redirect.stream);
    _close(redirect.saved);

    std::ifstream file(redirect.path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    file.close();
    DeleteFileA(redirect.path.c_str());
    return text;
}

void StreamCapture::finish()
{
    if (finished)
        return;
    finished = true;
    outText = stop(outRedirect);
    errText = stop(errRedirect);
}

}  // namespace udi_test
