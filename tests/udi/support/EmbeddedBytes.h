#pragma once

#include <string>

#include "udi/internal.h"

// The bytes that one row of the embedded files carries.
inline std::string bytesOf (const embedded_file& row)
{
    return std::string (reinterpret_cast<const char*> (row.data), (size_t) row.size);
}
