/* Lets the compiler check the library's printf-like calls against their arguments. */
#ifndef UDI_PRINTF_CHECK_H
#define UDI_PRINTF_CHECK_H

/* The library builds with the standard C printf family (gnu_printf), also
   on mingw, whose default is the system's own. */
#if defined(__GNUC__)
#define UDI_PRINTF_LIKE(format_index, first_argument) \
    __attribute__((format(gnu_printf, format_index, first_argument)))
#else
#define UDI_PRINTF_LIKE(format_index, first_argument)
#endif

#endif
