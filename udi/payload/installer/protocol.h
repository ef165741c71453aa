/*
 * The installer's side of the conversation with the library: the message
 * types it writes, the status it reports, and the checks on the replies it
 * reads. Free of Windows calls, so that it builds and is tested natively.
 */
#ifndef INSTALLER_PROTOCOL_H
#define INSTALLER_PROTOCOL_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Byte 0 of every message; the rest of the message is the payload. */
enum installer_message_type {
    MESSAGE_PROGRESS = 0,          /* text */
    MESSAGE_SETUP_LOG = 1,         /* text: one line of the system's setup log */
    MESSAGE_ASK_DEVICE_ID = 2,     /* one reply follows */
    MESSAGE_ASK_HARDWARE_ID = 3,   /* one reply follows */
    MESSAGE_ASK_USER_SID = 4,      /* one reply follows */
    MESSAGE_LONG_STEP_BEGINS = 5,  /* what follows may be silent for long */
    MESSAGE_LONG_STEP_ENDED = 6,
    MESSAGE_STATUS = 7,            /* one signed byte */
    MESSAGE_FINISHED = 8,
    MESSAGE_WARNING = 9            /* text the user is to see in the library's log */
};

/*
 * The status byte. The library hands a nonzero status on as the result of
 * the installation, so the values are those of its result codes that mean
 * the same thing.
 */
enum installer_status {
    STATUS_OK = 0,
    STATUS_BAD_REPLY = -2,          /* a reply that cannot be used */
    STATUS_FILE_ACCESS = -3,        /* the INF or a file of the package cannot be had */
    STATUS_NO_DEVICE = -4,          /* the device is not present */
    STATUS_MISSING = -5,            /* no device id, or no driver for the device */
    STATUS_OUT_OF_RESOURCES = -11,
    STATUS_LOST_LIBRARY = -15,      /* the pipe broke: nobody hears the result */
    STATUS_SETUP_FAILED = -99       /* a step of the system's device installation failed, or
                                       it left the device not working */
};

/* What a reply is checked as. */
enum reply_kind {
    REPLY_DEVICE_ID,
    REPLY_HARDWARE_ID,
    REPLY_USER_SID
};

enum reply_check {
    REPLY_VALID = 0,
    REPLY_EMPTY = 1,       /* one zero byte: the library has no value */
    REPLY_TOO_LONG = -1,
    REPLY_MALFORMED = -2
};

/*
 * Device instance ids and hardware ids are at most this long; a SID in text
 * form is far shorter.
 */
#define REPLY_MAX_LENGTH 200

/*
 * Checks one reply of `length` bytes. A valid one is copied into `out`
 * (`out_size` bytes, at least REPLY_MAX_LENGTH + 1) with a terminator; for
 * any other result `out` holds an empty text.
 */
enum reply_check check_reply(enum reply_kind kind, const unsigned char *reply, size_t length,
                             char *out, size_t out_size);

/* The longest text that one progress or setup-log message carries. */
#define MESSAGE_TEXT_MAX 1024

/*
 * Cuts `text` (`length` bytes) into lines at CR and LF, for setup-log
 * messages: control characters become spaces, white space at both ends goes,
 * empty lines are skipped and a line longer than MESSAGE_TEXT_MAX bytes is
 * cut. `line` is called with each line and its length; when it returns
 * nonzero the walk stops with that value. Returns 0 after the last line.
 */
typedef int (*text_line_handler)(void *context, const char *line, size_t length);
int for_each_text_line(const char *text, size_t length, text_line_handler line, void *context);

#ifdef __cplusplus
}
#endif

#endif
