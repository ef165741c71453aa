#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace udi_test {

// The handles this process has open, taken when made. Under Wine 8
// GetProcessHandleCount always reports 0: the handles are looked at one by
// one instead.
class OpenHandles {
public:
    OpenHandles();

    // The names of the objects of the handles open now that were not open
    // then, sorted; an object without a name (or one whose name is gone, as
    // a deleted registry key's) by its type in parentheses, as "(Key)". The
    // process's standard streams are never among them, whatever handle
    // values a capture of them gave them back.
    std::vector<std::wstring> openedSince() const;

    struct Handle {
        std::uintptr_t value;
        std::wstring type;
        std::wstring name;
    };

private:
    std::vector<Handle> handles;
};

}  // namespace udi_test
