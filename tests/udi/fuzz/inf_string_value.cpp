// inf_string_value on arbitrary text and buffer sizes: what it writes never
// leaves an INF string's quotes or its line, and is the text escaped, cut at
// a whole character. The first input byte is the buffer's size.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "udi/parse.h"

namespace {

// The escaped text and the places where it may be cut.
void escape(const std::string &text, std::string &out, std::vector<size_t> &cuts)
{
    cuts.push_back(0);
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"') {
            out += "\"\"";
            i++;
        } else if (c < 0x20 || c == 0x7F) {
            out += ' ';
            i++;
        } else {
            size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            size_t taken = 1;
            while (taken < length && i + taken < text.size()
                   && (static_cast<unsigned char>(text[i + taken]) & 0xC0) == 0x80)
                taken++;
            out += text.substr(i, taken);
            i += taken;
        }
        cuts.push_back(out.size());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t bufferSize = data[0];
    const std::string input(reinterpret_cast<const char *>(data + 1), size - 1);
    const std::string text = input.c_str();  // the function takes a C text

    // Exactly the given size, so that a write past it is caught.
    std::vector<char> buffer(bufferSize + 1);
    char *start = bufferSize == 0 ? nullptr : buffer.data();
    const size_t length = inf_string_value(start, bufferSize, input.c_str());
    if (bufferSize == 0) {
        if (length != 0)
            std::abort();
        return 0;
    }
    buffer.resize(bufferSize);  // the last element stays in the allocation; what counts is size
    if (length >= bufferSize || buffer[length] != '\0' || std::strlen(buffer.data()) != length)
        std::abort();

    for (size_t i = 0; i < length; i++) {
        const unsigned char c = static_cast<unsigned char>(buffer[i]);
        if (c < 0x20 || c == 0x7F)
            std::abort();
        if (c == '"') {
            if (i + 1 >= length || buffer[i + 1] != '"')
                std::abort();
            i++;
        }
    }

    std::string escaped;
    std::vector<size_t> cuts;
    escape(text, escaped, cuts);
    if (escaped.compare(0, length, buffer.data(), length) != 0)
        std::abort();
    // Cut at the last whole piece that fits with the terminator.
    size_t longest = 0;
    for (size_t cut : cuts) {
        if (cut < bufferSize)
            longest = cut;
    }
    if (length != longest)
        std::abort();
    return 0;
}
