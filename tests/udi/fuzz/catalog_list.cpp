// cut_catalog_list on arbitrary text, checked against a plain reading of its
// rules over std::string, and by the sanitizers.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "udi/parse.h"

namespace {

bool isSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

struct Expected {
    std::vector<std::string> names;
    bool cut = false;
};

Expected expectedList(const std::string &text, const char *infName)
{
    Expected expected;
    size_t position = 0;
    while (position < text.size()) {
        size_t end = text.find_first_of("\r\n", position);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(position, end - position);
        position = end < text.size() ? end + 1 : end;
        size_t first = 0, last = line.size();
        while (first < last && isSpace(line[first]))
            first++;
        while (last > first && isSpace(line[last - 1]))
            last--;
        line = line.substr(first, last - first);
        if (line.empty() || line[0] == '#')
            continue;
        if (expected.names.size() == CATALOG_LIST_TEMPLATE_ENTRIES) {
            expected.cut = true;
            break;
        }
        expected.names.push_back(line.c_str());  // a C text ends at its first NUL
    }
    expected.names.push_back(infName);
    return expected;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const char infName[] = "fuzz.inf";
    const std::string text(reinterpret_cast<const char *>(data), size);
    // Exactly the bytes it is given, on the heap: a read or write past them is caught.
    const std::vector<char> bytes(text.begin(), text.end());

    catalog_list list;
    if (cut_catalog_list(bytes.data(), size, infName, &list) != 0)
        std::abort();

    const Expected expected = expectedList(text, infName);
    if (list.count != expected.names.size() || (list.cut != 0) != expected.cut)
        std::abort();
    for (uint32_t i = 0; i < list.count; i++) {
        const char *name = list.names[i];
        // The template's names are the list's own; the INF's is the one given.
        const bool inText = name >= bytes.data() && name < bytes.data() + bytes.size();
        if (i + 1 == list.count ? name != infName : inText)
            std::abort();
        if (expected.names[i] != name)
            std::abort();
    }
    // Only read.
    if (std::string(bytes.begin(), bytes.end()) != text)
        std::abort();
    free_catalog_list(&list);
    return 0;
}
