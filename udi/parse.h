/*
 * libudi's Windows-free logic, all of it in parse.c: the formatting
 * functions, the log levels, reading ids, versions and service names out of
 * the system's texts, and the fixed tables of names and texts.
 *
 * Nothing declared here may need Windows: parse.c is also built and tested
 * with the build machine's own compilers (tests/udi/native).
 */
#ifndef UDI_PARSE_H
#define UDI_PARSE_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The library builds with the standard C printf family (gnu_printf), also
   on mingw, whose default is the system's own. */
#if defined(__clang__)
/* clang knows no gnu_printf; its printf checks are the standard C ones. */
#define UDI_PRINTF_LIKE(format_index, first_argument) \
    __attribute__((format(printf, format_index, first_argument)))
#elif defined(__GNUC__)
#define UDI_PRINTF_LIKE(format_index, first_argument) \
    __attribute__((format(gnu_printf, format_index, first_argument)))
#else
#define UDI_PRINTF_LIKE(format_index, first_argument)
#endif

/*
 * Formatting, with the limits the callers rely on. Wide formats take %ls for
 * UTF-16 texts.
 *
 * format_bounded writes at most size characters. It returns the length, or
 * -1 when the text does not fit; then the buffer need not be terminated, so
 * callers put a terminator into buffer[size - 1] to keep the cut text.
 */
int format_bounded(char *buffer, size_t size, const char *format, ...) UDI_PRINTF_LIKE(3, 4);
int format_bounded_wide(wchar_t *buffer, size_t size, const wchar_t *format, ...);

/* Always terminates, cutting a long text; returns -1 when it cut, else the length. */
int format_truncated(char *buffer, size_t size, const char *format, ...) UDI_PRINTF_LIKE(3, 4);
int format_truncated_va(char *buffer, size_t size, const char *format, va_list arguments);

/* No limit: the caller has sized the buffer for the text. */
int format_unbounded(char *buffer, const char *format, ...) UDI_PRINTF_LIKE(2, 3);

/*
 * Cuts trailing ASCII white space in place, whatever the locale; a text of
 * only white space becomes empty.
 */
void trim_trailing_space(char *text);

/* Log levels; the log call itself is log_message (internal.h). */
#define LOG_DEBUG    0
#define LOG_INFO     1
#define LOG_WARNING  2
#define LOG_ERROR    3

/* Lines below it are dropped. LOG_INFO unless changed; nothing in the program changes it. */
extern int log_level_threshold;

/* "debug", "info", "warning", "error", or "unknown" for any other level. */
const char *log_level_name(int level);

/*
 * The USB ids inside a device instance id such as
 * USB\VID_6E3C&PID_0222&MI_01\6&1A2B3C&0&0001.
 */
typedef struct device_id_tokens {
    uint16_t vendor_id;
    uint16_t product_id;
    int has_interface_number;
    uint8_t interface_number;
    int has_vendor_token;    /* a "VID_" token was seen, readable or not */
    int bad_vendor_token;    /* ... and could not be read */
    int bad_product_token;
    int bad_interface_token;
} device_id_tokens;

/*
 * Cuts id at every '\', '#' and '&' and reads the "VID_", "PID_" (four hex
 * digits at most) and "MI_" (two) tokens; prefixes are case-sensitive.
 */
void parse_device_id_tokens(const char *id, device_id_tokens *out);

/* Nonzero when service (may be NULL) names a USB hub driver, ignoring case. */
int is_hub_service(const char *service);

/* Nonzero for the composite-device parent driver "usbccgp", ignoring case. */
int is_composite_parent_service(const char *service);

/*
 * The "DriverVersion" text of a driver key, "a.b.c.d", as one number with a
 * in the top 16 bits; each part is read like atoi, a part without digits
 * counts 0, parts beyond four shift the leftmost ones out.
 */
uint64_t pack_driver_version(const char *text);

/*
 * Questions the Windows version detection asks the running system beyond
 * what it reports: whether its major version is major, and whether its
 * version is major.minor.
 */
typedef struct windows_version_probe {
    int (*major_is)(void *context, unsigned major);
    int (*version_is)(void *context, unsigned major, unsigned minor);
    void *context;
} windows_version_probe;

/*
 * The version code (see windows_version_code) of a system that reports
 * platform, major and minor. A report of 6.2 or above may understate the
 * system (Windows caps it for programs without a compatibility manifest),
 * so then probe (may be NULL) is asked.
 */
int windows_version_code_from(unsigned platform, unsigned major, unsigned minor,
                              const windows_version_probe *probe);

/* A row of a table of USB vendor names by id. */
typedef struct usb_vendor_name {
    uint16_t id;
    const char *name;
} usb_vendor_name;

/* The name of the first row of the id, or NULL when the table has none. */
const char *find_vendor_name(const usb_vendor_name *table, size_t count, uint16_t vendor_id);

/* The fixed English text of a cryptography code, or NULL when the table does not name it. */
const char *pki_error_fixed_text(uint32_t code);

/* Whether code lies in the cryptography range (upper 16 bits 0x8009). */
int is_pki_error_code(uint32_t code);

/* "Unknown PKI error 0x%08X" into buffer (cut to size - 1); returns buffer. */
char *format_unknown_pki_error(char *buffer, size_t size, uint32_t code);

/*
 * Token replacement, for the INF and catalog templates of a driver package.
 * A token is a name between a start and an end delimiter, "#INF_FILENAME#"
 * in the templates. A table of tokens ends with an entry whose name is NULL.
 */
#define INF_TOKEN_VALUE_SIZE 1024

typedef struct inf_token {
    const char *name;
    char value[INF_TOKEN_VALUE_SIZE];  /* terminated; longer values are cut */
} inf_token;

#define REPLACE_TOKENS_BAD_ARGUMENT  -160
#define REPLACE_TOKENS_NO_MEMORY     -8

/*
 * Copies length bytes of text into a new buffer *out (the caller frees it),
 * terminated, with every known token replaced by its value; an unknown
 * token and a lone delimiter are copied as they are, and the end of an
 * unknown token may start the next one. The output's length in bytes, or
 * REPLACE_TOKENS_BAD_ARGUMENT (a NULL argument, length 0, an empty
 * delimiter) or REPLACE_TOKENS_NO_MEMORY, with *out NULL.
 */
int64_t replace_tokens(const char *text, size_t length, char **out, const inf_token *tokens,
                       const char *start, const char *end);

/*
 * The file names a catalog lists, cut out of a catalog template: one a
 * line, lines ended by CR or LF, white space around a name dropped, empty
 * lines and lines starting with "#" passed over.
 */
#define CATALOG_LIST_TEMPLATE_ENTRIES 16
#define CATALOG_LIST_NO_MEMORY        -8

typedef struct catalog_list {
    /* The template's names, then the INF's own: the template's are the
       list's own copies, the INF's is the pointer given. */
    const char *names[CATALOG_LIST_TEMPLATE_ENTRIES + 1];
    uint32_t count;
    int cut;  /* the template held more names than the list keeps: the rest were left out */
    char *copies;  /* the bytes of the template's names; free_catalog_list frees them */
} catalog_list;

/*
 * Cuts the length bytes of text into list, keeping the first
 * CATALOG_LIST_TEMPLATE_ENTRIES names, and adds inf_file_name last. The
 * text is only read, and no further than length: a template's last name
 * may run to its very end. Returns 0, or CATALOG_LIST_NO_MEMORY with an
 * empty list.
 */
int cut_catalog_list(const char *text, size_t length, const char *inf_file_name, catalog_list *list);

/* Frees the list's copies of the names; the list is empty afterwards. */
void free_catalog_list(catalog_list *list);

/*
 * A text from outside (a device's description, a vendor's name) made safe
 * to stand between the double quotes of an INF string: a double quote is
 * doubled, as INF files escape it, and every control character, a line
 * break above all, becomes a space, so that the text can neither end the
 * string nor start a line of its own. Cut, at a whole character, to what
 * fits into size bytes with the terminator. The length written.
 */
size_t inf_string_value(char *buffer, size_t size, const char *text);

/*
 * One message of the package's installer over the library's pipe: byte 0 is
 * the type, the rest the payload. The other end may be anything that got
 * hold of the pipe, so a message is judged by its bytes alone, whatever its
 * length, and never read beyond them.
 */
enum installer_message_type {
    INSTALLER_PROGRESS = 0,          /* text */
    INSTALLER_SETUP_LOG = 1,         /* text */
    INSTALLER_ASK_DEVICE_ID = 2,     /* the library replies */
    INSTALLER_ASK_HARDWARE_ID = 3,   /* the library replies */
    INSTALLER_ASK_USER_SID = 4,      /* the library replies */
    INSTALLER_LONG_STEP_BEGINS = 5,  /* silence without limit from here */
    INSTALLER_LONG_STEP_ENDED = 6,   /* silence limited again */
    INSTALLER_STATUS = 7,            /* one signed byte */
    INSTALLER_FINISHED = 8,
    INSTALLER_WARNING = 9            /* text, logged as a warning */
};

/* What the library does with a message. */
typedef enum installer_action {
    INSTALLER_ACTION_LOG,              /* log text at level under log_name */
    INSTALLER_ACTION_REPLY_DEVICE_ID,
    INSTALLER_ACTION_REPLY_HARDWARE_ID,
    INSTALLER_ACTION_REPLY_USER_SID,
    INSTALLER_ACTION_TIMEOUT_INFINITE,
    INSTALLER_ACTION_TIMEOUT_FINITE,
    INSTALLER_ACTION_STATUS,           /* result holds the status */
    INSTALLER_ACTION_FINISHED,
    INSTALLER_ACTION_REFUSE            /* log error at error level; result ends the talk */
} installer_action;

typedef struct installer_message {
    installer_action action;
    int type;                 /* byte 0, or -1 for an empty message */
    /* INSTALLER_ACTION_LOG: the text's bytes inside the message (not
       terminated; up to its first zero byte) and how to log it. */
    const unsigned char *text;
    size_t text_length;
    int level;
    const char *log_name;
    /* INSTALLER_ACTION_REFUSE: why, as it is logged. */
    char error[96];
    /* What the message makes of the conversation: 0 goes on, anything else
       ends it with that result. Replies and timeouts go on. */
    int result;
} installer_message;

/*
 * Decodes the length bytes of one message. In filter mode every message is
 * console output of the filter installer, logged whole. An empty message
 * ends with UDI_ERR_BAD_ARGUMENT (-2); a message without the data of its
 * type, with data its type does not carry, or of an unknown type ends with
 * UDI_ERR_MISSING (-5).
 */
void decode_installer_message(const unsigned char *buffer, size_t length, int filter_mode,
                              installer_message *out);

/*
 * Copies length bytes of a relayed text into out (at least length + 1
 * bytes) for the console: line breaks at its end go, and every other control
 * character becomes a space, so that a text can neither forge log lines nor
 * steer the terminal. Returns out.
 */
char *clean_relayed_text(char *out, const unsigned char *text, size_t length);

#ifdef __cplusplus
}
#endif

#endif
