/* The current user's SID, for owning what the library creates. */
#include "user_files.h"

#include <sddl.h>
#include <stdlib.h>

#include "error_text.h"
#include "log.h"

PSID GetSid(void)
{
    HANDLE token = NULL;
    DWORD size = 0;
    TOKEN_USER *user = NULL;
    char *sid_text = NULL;
    PSID sid = NULL;

    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        log_message(LOG_ERROR, "GetSid", "OpenProcessToken failed: %s", windows_error_text(0));
        return NULL;
    }

    if (GetTokenInformation(token, TokenUser, NULL, 0, &size))
        goto out;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        log_message(LOG_ERROR, "GetSid", "GetTokenInformation (pre) failed: %s",
                    windows_error_text(0));
        goto out;
    }

    user = calloc(1, size);
    if (user == NULL)
        goto out;
    if (!GetTokenInformation(token, TokenUser, user, size, &size)) {
        log_message(LOG_ERROR, "GetSid", "GetTokenInformation (real) failed: %s",
                    windows_error_text(0));
        goto out;
    }

    /* Through the text form to get a copy that outlives the token
       buffer and is freed like any other system allocation. */
    if (!ConvertSidToStringSidA(user->User.Sid, &sid_text)) {
        log_message(LOG_ERROR, "GetSid", "Unable to convert SID to string: %s",
                    windows_error_text(0));
        goto out;
    }
    if (!ConvertStringSidToSidA(sid_text, &sid)) {
        log_message(LOG_ERROR, "GetSid", "Unable to convert string back to SID: %s",
                    windows_error_text(0));
        sid = NULL;
    }

out:
    if (sid_text != NULL)
        LocalFree(sid_text);
    free(user);
    CloseHandle(token);
    return sid;
}
