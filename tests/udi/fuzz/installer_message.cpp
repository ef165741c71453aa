// decode_installer_message and clean_relayed_text on arbitrary messages, as
// anything that gets hold of the pipe may send them: the first input byte
// chooses filter mode, the rest is the message, copied to the heap at its
// exact length so that a read past it is caught. The decoding is checked
// against the rules of each type, the cleaned text against its promise.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "udi/parse.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const int filter = data[0] & 1;
    std::vector<unsigned char> message(data + 1, data + size);
    const size_t length = message.size();
    installer_message m;
    decode_installer_message(length ? message.data() : nullptr, length, filter, &m);

    if (length == 0 && m.result != -2)
        abort();
    if (m.action == INSTALLER_ACTION_REFUSE) {
        if (m.result == 0 || memchr(m.error, 0, sizeof(m.error)) == nullptr)
            abort();
        return 0;
    }
    if (!filter && m.type != message[0])
        abort();
    if (m.action == INSTALLER_ACTION_STATUS && (length != 2 || m.result != (signed char)message[1]))
        abort();
    if (m.action != INSTALLER_ACTION_STATUS && m.result != 0)
        abort();
    if (m.action == INSTALLER_ACTION_LOG) {
        const unsigned char *begin = message.data();
        if (m.text < begin || m.text + m.text_length > begin + length)
            abort();
        std::vector<char> clean(m.text_length + 1);
        clean_relayed_text(clean.data(), m.text, m.text_length);
        for (size_t i = 0; clean[i] != '\0'; i++)
            if ((unsigned char)clean[i] < 0x20 || clean[i] == 0x7F)
                abort();
    }
    return 0;
}
