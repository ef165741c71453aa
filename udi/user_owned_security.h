/* A security descriptor that makes the current user the owner, nothing more. */
#ifndef UDI_USER_OWNED_SECURITY_H
#define UDI_USER_OWNED_SECURITY_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct user_owned_security {
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES attributes;
    PSID owner;
} user_owned_security;

/*
 * The attributes to create with, or NULL (logged under caller as
 * "Could not set security descriptor: %s") to create with the defaults.
 */
SECURITY_ATTRIBUTES *user_owned_security_init(user_owned_security *security, const char *caller);

void user_owned_security_free(user_owned_security *security);

#ifdef __cplusplus
}
#endif

#endif
