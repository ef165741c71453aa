#include "user_owned_security.h"

#include "error_text.h"
#include "log.h"
#include "user_files.h"

SECURITY_ATTRIBUTES *user_owned_security_init(user_owned_security *security, const char *caller)
{
    security->owner = GetSid();
    if (security->owner == NULL
        || !InitializeSecurityDescriptor(&security->descriptor, SECURITY_DESCRIPTOR_REVISION)
        || !SetSecurityDescriptorOwner(&security->descriptor, security->owner, FALSE)) {
        log_message(LOG_ERROR, caller, "Could not set security descriptor: %s",
                    windows_error_text(0));
        return NULL;
    }
    security->attributes.nLength = sizeof(security->attributes);
    security->attributes.lpSecurityDescriptor = &security->descriptor;
    security->attributes.bInheritHandle = FALSE;
    return &security->attributes;
}

void user_owned_security_free(user_owned_security *security)
{
    if (security->owner != NULL)
        LocalFree(security->owner);
    security->owner = NULL;
}
