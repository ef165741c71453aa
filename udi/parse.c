/*
 * libudi's Windows-free logic: formatting, trimming, the log levels, the ids
 * and versions read out of the system's texts, the service names, and the
 * fixed tables of names and texts, and the decoding of the installer's
 * messages. Built natively too (tests/udi/native): nothing here may call
 * Windows.
 */
#include "parse.h"

#include "libudi.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Formatting, over the standard C printf family. */

int format_bounded(char *buffer, size_t size, const char *format, ...)
{
    va_list arguments;
    int length;

    if (buffer == NULL || size == 0 || format == NULL)
        return -1;
    va_start(arguments, format);
    length = vsnprintf(buffer, size, format, arguments);
    va_end(arguments);
    return (length < 0 || (size_t)length >= size) ? -1 : length;
}

int format_bounded_wide(wchar_t *buffer, size_t size, const wchar_t *format, ...)
{
    va_list arguments;
    int length;

    if (buffer == NULL || size == 0 || format == NULL)
        return -1;
    va_start(arguments, format);
    /* Unlike vsnprintf, vswprintf answers a negative length when the text
       does not fit, whatever the C library. */
    length = vswprintf(buffer, size, format, arguments);
    va_end(arguments);
    return (length < 0 || (size_t)length >= size) ? -1 : length;
}

int format_truncated_va(char *buffer, size_t size, const char *format, va_list arguments)
{
    int length;

    if (buffer == NULL || size == 0)
        return -1;
    if (format == NULL) {
        buffer[0] = '\0';
        return -1;
    }
    length = vsnprintf(buffer, size, format, arguments);
    buffer[size - 1] = '\0';
    if (length < 0) {
        buffer[0] = '\0';
        return -1;
    }
    return ((size_t)length >= size) ? -1 : length;
}

int format_truncated(char *buffer, size_t size, const char *format, ...)
{
    va_list arguments;
    int length;

    va_start(arguments, format);
    length = format_truncated_va(buffer, size, format, arguments);
    va_end(arguments);
    return length;
}

int format_unbounded(char *buffer, const char *format, ...)
{
    va_list arguments;
    int length;

    if (buffer == NULL || format == NULL)
        return -1;
    va_start(arguments, format);
    length = vsprintf(buffer, format, arguments);
    va_end(arguments);
    return length;
}

/* Trimming. */

/* White space as the C locale has it. isspace follows the program's locale,
   under which a byte of a UTF-8 character may count as space: the last byte
   of U+00E0 (C3 A0) is a no-break space in Windows-1252. */
static int is_ascii_space(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

void trim_trailing_space(char *text)
{
    size_t length;

    if (text == NULL)
        return;
    length = strlen(text);
    while (length > 0 && is_ascii_space(text[length - 1]))
        text[--length] = '\0';
}

/* Log levels. */

int log_level_threshold = LOG_INFO;

const char *log_level_name(int level)
{
    switch (level) {
    case LOG_DEBUG:   return "debug";
    case LOG_INFO:    return "info";
    case LOG_WARNING: return "warning";
    case LOG_ERROR:   return "error";
    default:          return "unknown";
    }
}

/* Device instance ids. */

static int is_separator(char c)
{
    return c == '\\' || c == '#' || c == '&';
}

static int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

/* At most max_digits hexadecimal digits from text up to end; at least one. */
static int read_hex(const char *text, const char *end, int max_digits, unsigned *value)
{
    int digits = 0;

    *value = 0;
    while (text < end && digits < max_digits && hex_value(*text) >= 0) {
        *value = *value * 16 + (unsigned)hex_value(*text);
        text++;
        digits++;
    }
    return digits > 0;
}

static int starts_with(const char *token, const char *end, const char *prefix)
{
    size_t length = strlen(prefix);

    return (size_t)(end - token) >= length && memcmp(token, prefix, length) == 0;
}

static void read_token(const char *token, const char *end, device_id_tokens *out)
{
    unsigned value;

    if (starts_with(token, end, "VID_")) {
        out->has_vendor_token = 1;
        if (read_hex(token + 4, end, 4, &value))
            out->vendor_id = (uint16_t)value;
        else
            out->bad_vendor_token = 1;
    } else if (starts_with(token, end, "PID_")) {
        if (read_hex(token + 4, end, 4, &value))
            out->product_id = (uint16_t)value;
        else
            out->bad_product_token = 1;
    } else if (starts_with(token, end, "MI_")) {
        if (read_hex(token + 3, end, 2, &value)) {
            out->has_interface_number = 1;
            out->interface_number = (uint8_t)value;
        } else {
            out->bad_interface_token = 1;
        }
    }
}

void parse_device_id_tokens(const char *id, device_id_tokens *out)
{
    const char *token;
    const char *end;

    memset(out, 0, sizeof(*out));
    if (id == NULL)
        return;
    token = id;
    while (*token != '\0') {
        while (is_separator(*token))
            token++;
        end = token;
        while (*end != '\0' && !is_separator(*end))
            end++;
        if (end > token)
            read_token(token, end, out);
        token = end;
    }
}

/* Service names. */

static const char *const hub_services[] = {
    "usbhub", "usbhub3", "usb3hub", "nusb3hub", "rusb3hub", "flxhcih", "tihub3",
    "etronhub3", "viahub3", "asmthub3", "iusb3hub", "vusb3hub", "amdhub30", "vhhub",
};

static char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

static int same_name(const char *a, const char *b)
{
    while (*a != '\0' && lower(*a) == lower(*b)) {
        a++;
        b++;
    }
    return lower(*a) == lower(*b);
}

int is_hub_service(const char *service)
{
    size_t i;

    if (service == NULL)
        return 0;
    for (i = 0; i < sizeof(hub_services) / sizeof(hub_services[0]); i++) {
        if (same_name(service, hub_services[i]))
            return 1;
    }
    return 0;
}

int is_composite_parent_service(const char *service)
{
    return service != NULL && same_name(service, "usbccgp");
}

/* Driver versions. */

/*
 * Like atoi on the part from text up to end (white space, a sign, digits),
 * held to the 16 bits a part has, so that a part out of range cannot spill
 * into the part above it.
 */
static uint64_t part_value(const char *text, const char *end)
{
    long value = 0;
    int negative = 0;

    while (text < end && is_ascii_space(*text))
        text++;
    if (text < end && (*text == '+' || *text == '-')) {
        negative = *text == '-';
        text++;
    }
    while (text < end && *text >= '0' && *text <= '9' && value < 0x10000) {
        value = value * 10 + (*text - '0');
        text++;
    }
    if (negative)
        return 0;
    return value > 0xFFFF ? 0xFFFF : (uint64_t)value;
}

uint64_t pack_driver_version(const char *text)
{
    uint64_t version = 0;
    const char *part;
    const char *end;

    if (text == NULL || *text == '\0')
        return 0;
    part = text;
    for (;;) {
        end = part;
        while (*end != '\0' && *end != '.')
            end++;
        version = (version << 16) | part_value(part, end);
        if (*end == '\0')
            break;
        part = end + 1;
    }
    return version;
}

/* The Windows version: the rules that turn what Windows reports about itself into one code. */

#define PLATFORM_WIN32_NT   2u
#define HIGHEST_PROBED      9u

int windows_version_code_from(unsigned platform, unsigned major, unsigned minor,
                              const windows_version_probe *probe)
{
    unsigned probed_major;
    unsigned probed_minor;
    int code;

    if (platform != PLATFORM_WIN32_NT)
        return -1;

    if (probe != NULL && (major > 6 || (major == 6 && minor >= 2))) {
        for (probed_major = major; probed_major <= HIGHEST_PROBED; probed_major++) {
            if (!probe->major_is(probe->context, probed_major))
                continue;
            if (probed_major > major) {
                major = probed_major;
                minor = 0;
            }
            for (probed_minor = minor; probed_minor <= HIGHEST_PROBED; probed_minor++) {
                if (probe->version_is(probe->context, major, probed_minor)) {
                    minor = probed_minor;
                    break;
                }
            }
            break;
        }
    }

    if (major > 15 || minor > 15)
        return -1;
    code = (int)(major * 16 + minor);
    return code < 0x61 ? 0 : code;
}

/* Vendor names. */

const char *find_vendor_name(const usb_vendor_name *table, size_t count, uint16_t vendor_id)
{
    size_t i;

    if (table == NULL)
        return NULL;
    for (i = 0; i < count; i++) {
        if (table[i].id == vendor_id)
            return table[i].name;
    }
    return NULL;
}

/* The cryptography error texts. */

int is_pki_error_code(uint32_t code)
{
    return (code >> 16) == 0x8009u;
}

const char *pki_error_fixed_text(uint32_t code)
{
    switch (code) {
    case 0x800706D9u: return "This system is missing required cryptographic services.";
    case 0x80070020u: return "Sharing violation - Some data handles to this file are still open.";
    case 0x80090001u: return "Bad UID.";
    case 0x80090006u: return "This system's cryptographic DLL has been tampered with.";
    case 0x80090009u:
    case 0x8009000Fu:
    case 0x80090014u:
    case 0x8009001Fu: return "Invalid parameter.";
    case 0x8009000Eu: return "Out of memory.";
    case 0x80090016u: return "The key container could not be opened.";
    case 0x80090019u: return "The requested provider does not exist.";
    case 0x8009001Au: return "The requested key container is corrupted.";
    case 0x8009001Cu:
    case 0x8009001Du:
    case 0x8009001Eu: return "This system's cryptographic DLL can not be loaded.";
    case 0x80091001u: return "An error occurred while performing an operation on a cryptographic message.";
    case 0x80091002u: return "Unknown cryptographic algorithm.";
    case 0x80091004u: return "Invalid cryptographic message type.";
    case 0x80091007u: return "The hash value is not correct";
    case 0x8009100Du: return "Invalid issuer and/or serial number.";
    case 0x80092001u: return "The length specified for the output data was insufficient.";
    case 0x80092002u: return "An error occurred during encode or decode operation.";
    case 0x80092003u: return "An error occurred while reading or writing to a file.";
    case 0x80092004u: return "Cannot find object or property.";
    case 0x80092005u: return "The object or property already exists.";
    case 0x80092006u: return "No provider was specified for the store or object.";
    case 0x80092008u: return "The previous certificate or CRL context was deleted.";
    case 0x80092009u: return "Cannot find the requested object.";
    case 0x8009200Au:
    case 0x8009200Bu:
    case 0x8009200Cu: return "Private key or certificate issue";
    case 0x8009200Du: return "Not a cryptographic message.";
    case 0x8009200Eu: return "The signed cryptographic message does not have a signer for the specified signer index.";
    case 0x80092010u: return "The certificate is revoked.";
    case 0x80092011u:
    case 0x80092012u:
    case 0x80092013u:
    case 0x80092014u: return "Cannot check certificate revocation.";
    case 0x80092020u:
    case 0x80092021u:
    case 0x80092022u:
    case 0x80092023u:
    case 0x80092024u: return "Invalid string.";
    case 0x80092026u: return "The cryptographic operation failed due to a local security option setting.";
    case 0x80092028u:
    case 0x80092029u: return "Cannot complete usage check.";
    case 0x8009202Bu: return "None of the signers of the cryptographic message or certificate trust list is trusted.";
    default:          return NULL;
    }
}

char *format_unknown_pki_error(char *buffer, size_t size, uint32_t code)
{
    format_truncated(buffer, size, "Unknown PKI error 0x%08X", (unsigned)code);
    return buffer;
}

/* Token replacement. */

/* What an output grows by beyond what the next piece needs. */
#define TOKEN_OUTPUT_SLACK 1024

typedef struct growing_text {
    char *bytes;
    size_t length;
    size_t capacity;  /* always above length: the terminator has room */
} growing_text;

/* Nonzero when the piece was appended; else the text is freed and NULL. */
static int append_piece(growing_text *text, const char *piece, size_t size)
{
    if (text->length + size >= text->capacity) {
        size_t capacity;
        char *grown;

        if (size > SIZE_MAX - TOKEN_OUTPUT_SLACK - text->length)
            grown = NULL;
        else {
            capacity = text->length + size + TOKEN_OUTPUT_SLACK;
            grown = realloc(text->bytes, capacity);
        }
        if (grown == NULL) {
            free(text->bytes);
            text->bytes = NULL;
            return 0;
        }
        text->bytes = grown;
        text->capacity = capacity;
    }
    if (size > 0)
        memcpy(text->bytes + text->length, piece, size);
    text->length += size;
    return 1;
}

/*
 * The first start delimiter at or after position from which at least
 * room bytes remain (a delimiter closer to the end can open no token), or
 * length when there is none.
 */
static size_t find_delimiter(const char *text, size_t length, size_t position,
                             const char *start, size_t start_length, size_t room)
{
    for (; length - position >= room; position++) {
        if (memcmp(text + position, start, start_length) == 0)
            return position;
    }
    return length;
}

/* A value without its terminator ends with its buffer. */
static size_t value_length(const inf_token *token)
{
    const char *terminator = memchr(token->value, '\0', sizeof(token->value));

    return terminator != NULL ? (size_t)(terminator - token->value) : sizeof(token->value);
}

/* The entry whose name and end delimiter follow at position, or NULL. */
static const inf_token *token_at(const char *text, size_t length, size_t position,
                                 const inf_token *tokens, const char *end, size_t end_length)
{
    const size_t remaining = length - position;

    for (; tokens->name != NULL; tokens++) {
        const size_t name_length = strlen(tokens->name);

        if (remaining >= end_length && remaining - end_length >= name_length
            && memcmp(text + position, tokens->name, name_length) == 0
            && memcmp(text + position + name_length, end, end_length) == 0)
            return tokens;
    }
    return NULL;
}

int64_t replace_tokens(const char *text, size_t length, char **out, const inf_token *tokens,
                       const char *start, const char *end)
{
    growing_text output;
    size_t start_length, end_length, room, position = 0;

    if (out != NULL)
        *out = NULL;
    if (text == NULL || out == NULL || tokens == NULL || start == NULL || end == NULL
        || length == 0 || start[0] == '\0' || end[0] == '\0')
        return REPLACE_TOKENS_BAD_ARGUMENT;
    start_length = strlen(start);
    end_length = strlen(end);
    room = start_length + end_length;

    if (length > SIZE_MAX - TOKEN_OUTPUT_SLACK)
        return REPLACE_TOKENS_NO_MEMORY;
    output.length = 0;
    output.capacity = length + TOKEN_OUTPUT_SLACK;
    output.bytes = malloc(output.capacity);
    if (output.bytes == NULL)
        return REPLACE_TOKENS_NO_MEMORY;

    while (length - position > room) {
        const size_t found = find_delimiter(text, length, position, start, start_length, room);
        const inf_token *token;

        if (found == length)
            break;
        if (!append_piece(&output, text + position, found - position))
            return REPLACE_TOKENS_NO_MEMORY;
        position = found + start_length;

        token = token_at(text, length, position, tokens, end, end_length);
        if (token != NULL) {
            if (!append_piece(&output, token->value, value_length(token)))
                return REPLACE_TOKENS_NO_MEMORY;
            position += strlen(token->name) + end_length;
        } else {
            /* Scanning goes on right after the delimiter: the end of an
               unknown token such as #WORD# may open the next one. */
            if (!append_piece(&output, start, start_length))
                return REPLACE_TOKENS_NO_MEMORY;
        }
    }

    if (!append_piece(&output, text + position, length - position))
        return REPLACE_TOKENS_NO_MEMORY;
    output.bytes[output.length] = '\0';
    *out = output.bytes;
    return (int64_t)output.length;
}

/* The names of a catalog template. */

int cut_catalog_list(const char *text, size_t length, const char *inf_file_name, catalog_list *list)
{
    size_t position = 0;
    size_t used = 0;

    if (list == NULL)
        return 0;
    memset(list, 0, sizeof(*list));
    if (text != NULL && length > 0) {
        /* Each name and its terminator take no more room than its line
           and the line's end: the text's length and one byte hold them all. */
        list->copies = length < SIZE_MAX ? malloc(length + 1) : NULL;
        if (list->copies == NULL)
            return CATALOG_LIST_NO_MEMORY;
    }
    while (text != NULL && position < length) {
        size_t first = position, last;

        while (position < length && text[position] != '\r' && text[position] != '\n')
            position++;
        last = position;
        if (position < length)
            position++;

        while (first < last && is_ascii_space(text[first]))
            first++;
        while (last > first && is_ascii_space(text[last - 1]))
            last--;
        if (first == last || text[first] == '#')
            continue;
        if (list->count == CATALOG_LIST_TEMPLATE_ENTRIES) {
            list->cut = 1;
            break;
        }
        memcpy(list->copies + used, text + first, last - first);
        list->copies[used + (last - first)] = '\0';
        list->names[list->count++] = list->copies + used;
        used += last - first + 1;
    }
    if (inf_file_name != NULL)
        list->names[list->count++] = inf_file_name;
    return 0;
}

void free_catalog_list(catalog_list *list)
{
    if (list == NULL)
        return;
    free(list->copies);
    memset(list, 0, sizeof(*list));
}

/* Texts inside the double quotes of an INF string. */

/* The bytes of the UTF-8 character at text, as far as the text goes. */
static size_t character_length(const char *text)
{
    const unsigned char lead = (unsigned char)text[0];
    size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    size_t i;

    for (i = 1; i < length; i++) {
        if (((unsigned char)text[i] & 0xC0) != 0x80)
            return i;
    }
    return length;
}

size_t inf_string_value(char *buffer, size_t size, const char *text)
{
    size_t length = 0;

    if (buffer == NULL || size == 0)
        return 0;
    buffer[0] = '\0';
    for (; text != NULL && *text != '\0';) {
        const unsigned char c = (unsigned char)*text;
        const char *piece = text;
        size_t piece_length = 1, taken = 1;

        if (c == '"')
            piece = "\"\"", piece_length = 2;
        else if (c < 0x20 || c == 0x7F)
            piece = " ";
        else
            piece_length = taken = character_length(text);

        if (length + piece_length >= size)
            break;
        memcpy(buffer + length, piece, piece_length);
        length += piece_length;
        text += taken;
    }
    buffer[length] = '\0';
    return length;
}

/* The installer's messages. */

static void refuse_message(installer_message *out, int result, const char *format, ...)
    UDI_PRINTF_LIKE(3, 4);

static void refuse_message(installer_message *out, int result, const char *format, ...)
{
    va_list arguments;

    out->action = INSTALLER_ACTION_REFUSE;
    out->result = result;
    va_start(arguments, format);
    format_truncated_va(out->error, sizeof(out->error), format, arguments);
    va_end(arguments);
}

/* A text runs to its first zero byte or to the end of the message. */
static void log_text(installer_message *out, const unsigned char *text, size_t length, int level,
                     const char *log_name)
{
    const unsigned char *end = memchr(text, 0, length);

    out->action = INSTALLER_ACTION_LOG;
    out->text = text;
    out->text_length = end != NULL ? (size_t)(end - text) : length;
    out->level = level;
    out->log_name = log_name;
}

/* Requests and markers carry nothing: bytes after the type mean that the
   other end speaks something else. */
static int refuse_payload(installer_message *out, size_t payload_length)
{
    if (payload_length == 0)
        return 0;
    refuse_message(out, UDI_ERR_MISSING, "Installer message %d carries %zu unexpected bytes",
                   out->type, payload_length);
    return 1;
}

void decode_installer_message(const unsigned char *buffer, size_t length, int filter_mode,
                              installer_message *out)
{
    const unsigned char *payload;
    size_t payload_length;

    memset(out, 0, sizeof(*out));
    out->type = -1;
    if (buffer == NULL || length == 0) {
        refuse_message(out, UDI_ERR_BAD_ARGUMENT, "Empty installer message");
        return;
    }
    if (filter_mode) {
        /* Console output: the bytes as they came, zero bytes and all. */
        out->action = INSTALLER_ACTION_LOG;
        out->text = buffer;
        out->text_length = length;
        out->level = LOG_INFO;
        out->log_name = "install-filter";
        return;
    }

    out->type = buffer[0];
    payload = buffer + 1;
    payload_length = length - 1;
    switch (out->type) {
    case INSTALLER_PROGRESS:
        if (payload_length == 0)
            refuse_message(out, UDI_ERR_MISSING, "Print_message: no data");
        else
            log_text(out, payload, payload_length, LOG_DEBUG, "installer process");
        return;
    case INSTALLER_SETUP_LOG:
        if (payload_length == 0)
            refuse_message(out, UDI_ERR_MISSING, "Syslog_message: no data");
        else
            log_text(out, payload, payload_length, LOG_DEBUG, "syslog");
        return;
    case INSTALLER_WARNING:
        if (payload_length == 0)
            refuse_message(out, UDI_ERR_MISSING, "Warning_message: no data");
        else
            log_text(out, payload, payload_length, LOG_WARNING, "installer process");
        return;
    case INSTALLER_STATUS:
        if (payload_length == 0) {
            refuse_message(out, UDI_ERR_MISSING, "Set status: no data");
        } else if (payload_length > 1) {
            refuse_message(out, UDI_ERR_MISSING, "Set status: %zu bytes instead of one",
                           payload_length);
        } else {
            out->action = INSTALLER_ACTION_STATUS;
            out->result = (int)(signed char)payload[0];
        }
        return;
    case INSTALLER_ASK_DEVICE_ID:
    case INSTALLER_ASK_HARDWARE_ID:
    case INSTALLER_ASK_USER_SID:
    case INSTALLER_LONG_STEP_BEGINS:
    case INSTALLER_LONG_STEP_ENDED:
    case INSTALLER_FINISHED:
        if (refuse_payload(out, payload_length))
            return;
        break;
    default:
        refuse_message(out, UDI_ERR_MISSING, "Unrecognized installer message");
        return;
    }

    switch (out->type) {
    case INSTALLER_ASK_DEVICE_ID:
        out->action = INSTALLER_ACTION_REPLY_DEVICE_ID;
        break;
    case INSTALLER_ASK_HARDWARE_ID:
        out->action = INSTALLER_ACTION_REPLY_HARDWARE_ID;
        break;
    case INSTALLER_ASK_USER_SID:
        out->action = INSTALLER_ACTION_REPLY_USER_SID;
        break;
    case INSTALLER_LONG_STEP_BEGINS:
        out->action = INSTALLER_ACTION_TIMEOUT_INFINITE;
        break;
    case INSTALLER_LONG_STEP_ENDED:
        out->action = INSTALLER_ACTION_TIMEOUT_FINITE;
        break;
    default:
        out->action = INSTALLER_ACTION_FINISHED;
        break;
    }
}

char *clean_relayed_text(char *out, const unsigned char *text, size_t length)
{
    size_t i;

    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r'))
        length--;
    for (i = 0; i < length; i++)
        out[i] = (text[i] < 0x20 || text[i] == 0x7F) ? ' ' : (char)text[i];
    out[length] = '\0';
    return out;
}
