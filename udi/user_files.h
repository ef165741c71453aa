/*
 * Folders and files created owned by the current user, so that the elevated
 * installer's output stays the user's, and the user's SID behind that.
 */
#ifndef UDI_USER_FILES_H
#define UDI_USER_FILES_H

#include <stdio.h>
#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A stand-alone copy of the current user's SID (free with LocalFree), or NULL. */
PSID GetSid(void);

/*
 * 0 when path (UTF-8, may be in double quotes) is a folder. With create
 * nonzero a missing folder and its missing parents are made. Otherwise
 * UDI_ERR_FILE_ACCESS, UDI_ERR_BAD_ARGUMENT (name too long) or
 * UDI_ERR_OUT_OF_RESOURCES, logged under "check_dir".
 */
int check_dir(const char *path, int create);

/*
 * Creates or truncates path (UTF-8) for writing, owned by the current user;
 * "r" in mode adds read access. NULL on failure or without "w" in mode.
 */
FILE *fopen_as_userU(const char *path, const char *mode);

#ifdef __cplusplus
}
#endif

#endif
