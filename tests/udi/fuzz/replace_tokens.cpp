// replace_tokens on arbitrary text, token tables and delimiters, checked
// against a plain reading of its rules over std::string, and by the
// sanitizers for every byte it reads or writes.
//
// An input is a text alone, replaced with the templates' own tokens between
// "#" delimiters; or a text, the line "--tokens--", the start delimiter, the
// end delimiter and up to 16 lines NAME=VALUE, each line ended by "\n".
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "udi/parse.h"

namespace {

const std::string parametersMark = "\n--tokens--\n";
const size_t maxTokens = 16;

struct Table {
    std::vector<std::string> names;
    std::vector<std::string> values;  // as the buffer holds them: at most 1,024 bytes
    std::vector<inf_token> entries;

    void add(const std::string &name, const std::string &value)
    {
        names.push_back(name);
        values.push_back(value.substr(0, INF_TOKEN_VALUE_SIZE));
    }

    // Names are C texts: they end at their first NUL.
    const inf_token *build()
    {
        entries.assign(names.size() + 1, inf_token{});
        for (size_t i = 0; i < names.size(); i++) {
            entries[i].name = names[i].c_str();
            // A value of the whole buffer has no terminator: it ends with the buffer.
            std::memcpy(entries[i].value, values[i].data(), values[i].size());
        }
        entries.back().name = nullptr;
        return entries.data();
    }
};

void addTemplateTokens(Table &table)
{
    table.add("INF_FILENAME", "deviceDrv.inf");
    table.add("CAT_FILENAME", "deviceDrv.cat");
    table.add("DEVICE_DESCRIPTION", "Kelvane DFU");
    table.add("DEVICE_HARDWARE_ID", "VID_6E3C&PID_0222");
    table.add("DEVICE_INTERFACE_GUID", "{6E3C0222-0000-4000-8000-000000000000}");
    table.add("DEVICE_MANUFACTURER", "(Undefined Vendor)");
    table.add("DRIVER_DATE", "06/23/2020");
    table.add("DRIVER_VERSION", "6.1.7600.16385");
    table.add("USE_DEVICE_INTERFACE_GUID", "AddDeviceInterfaceGUID");
    table.add("WDF_VERSION", "01011");
    table.add("KMDF_VERSION", "1.11");
    table.add("LK_COMMA", ",");
    table.add("LK_DLL", "libusbk.dll");
    table.add("LK_X86_DLL", "libusbk_x86.dll");
    table.add("LK_EQ_X86", "= 1,x86");
    table.add("LK_EQ_X64", "= 1,amd64");
}

std::string valueOf(const inf_token &token)
{
    const void *end = std::memchr(token.value, '\0', sizeof(token.value));
    return std::string(token.value, end != nullptr ? static_cast<const char *>(end) - token.value
                                                   : sizeof(token.value));
}

// The rules again, as plainly as they read.
std::string expectedText(const std::string &text, const inf_token *tokens,
                         const std::string &start, const std::string &end)
{
    const size_t n = text.size(), room = start.size() + end.size();
    std::string out;
    size_t position = 0;
    while (n - position > room) {
        size_t found = std::string::npos;
        for (size_t p = position; n - p >= room; p++) {
            if (text.compare(p, start.size(), start) == 0) {
                found = p;
                break;
            }
        }
        if (found == std::string::npos)
            break;
        out += text.substr(position, found - position);
        position = found + start.size();
        bool matched = false;
        for (const inf_token *t = tokens; t->name != nullptr && !matched; t++) {
            const std::string name = t->name;
            if (n - position >= name.size() + end.size()
                && text.compare(position, name.size(), name) == 0
                && text.compare(position + name.size(), end.size(), end) == 0) {
                out += valueOf(*t);
                position += name.size() + end.size();
                matched = true;
            }
        }
        if (!matched)
            out += start;
    }
    return out + text.substr(position);
}

void check(const std::string &text, const inf_token *tokens, const std::string &start,
           const std::string &end)
{
    // The text in a buffer of its own exact size, so that a read past it is caught.
    std::vector<char> bytes(text.begin(), text.end());
    const char *data = bytes.empty() ? "" : bytes.data();
    char *out = reinterpret_cast<char *>(&bytes);
    const std::string cStart = start.c_str(), cEnd = end.c_str();
    const int64_t length = replace_tokens(data, text.size(), &out, tokens, start.c_str(),
                                          end.c_str());

    if (text.empty() || cStart.empty() || cEnd.empty()) {
        if (length != REPLACE_TOKENS_BAD_ARGUMENT || out != nullptr)
            std::abort();
        return;
    }
    if (length < 0 || out == nullptr)
        std::abort();
    const std::string expected = expectedText(text, tokens, cStart, cEnd);
    if (static_cast<size_t>(length) != expected.size()
        || std::memcmp(out, expected.data(), expected.size()) != 0 || out[length] != '\0')
        std::abort();
    std::free(out);
}

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> result;
    size_t position = 0, end;
    while ((end = text.find('\n', position)) != std::string::npos) {
        result.push_back(text.substr(position, end - position));
        position = end + 1;
    }
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string input(reinterpret_cast<const char *>(data), size);
    const size_t mark = input.find(parametersMark);
    const std::string text = input.substr(0, mark);

    Table templates;
    addTemplateTokens(templates);
    check(text, templates.build(), "#", "#");

    if (mark != std::string::npos) {
        const std::vector<std::string> parameters =
            lines(input.substr(mark + parametersMark.size()));
        if (parameters.size() < 2)
            return 0;
        Table table;
        for (size_t i = 2; i < parameters.size() && table.names.size() < maxTokens; i++) {
            const size_t equals = parameters[i].find('=');
            table.add(parameters[i].substr(0, equals),
                      equals == std::string::npos ? "" : parameters[i].substr(equals + 1));
        }
        check(text, table.build(), parameters[0], parameters[1]);
    }
    return 0;
}
