/* White space at the end of a text. */
#ifndef UDI_TRIM_H
#define UDI_TRIM_H

#ifdef __cplusplus
extern "C" {
#endif

/* Cuts trailing white space in place; a text of only white space becomes empty. */
void trim_trailing_space(char *text);

#ifdef __cplusplus
}
#endif

#endif
