#pragma once

#include <windows.h>

namespace udi_test {

// While it lives, the calls that this program makes to one function it
// imports from a system DLL go to a function of the test's own instead.
// For the few system functions that the driver library calls directly
// rather than binding at run time, where the binding's seam cannot reach.
class ReplacedImport {
public:
    ReplacedImport(const char *dll, const char *function, const void *replacement);
    ~ReplacedImport();

    ReplacedImport(const ReplacedImport &) = delete;
    ReplacedImport &operator=(const ReplacedImport &) = delete;

    // False when the program does not import the function from that DLL.
    bool active() const { return slot != nullptr; }

    // The system's function, for a replacement that hands the call on.
    template <typename Function>
    Function original() const
    {
        return reinterpret_cast<Function>(saved);
    }

private:
    void **slot = nullptr;
    void *saved = nullptr;
};

}  // namespace udi_test
