#pragma once

#include <cstring>

#include <windows.h>

// A record whose every byte is 0xAB, so that a field the library fills, or
// leaves alone, shows.
inline VS_FIXEDFILEINFO filledRecord()
{
    VS_FIXEDFILEINFO record;
    std::memset (&record, 0xAB, sizeof (record));
    return record;
}

inline bool sameRecord (const VS_FIXEDFILEINFO& a, const VS_FIXEDFILEINFO& b)
{
    return std::memcmp (&a, &b, sizeof (a)) == 0;
}
