#include "log.h"

int log_level_threshold = LOG_INFO;

const char *log_level_name(int level)
{
    switch (level) {
    case LOG_DEBUG:   return "debug";
    case LOG_INFO:    return "info";
    case LOG_WARNING: return "warning";
    case LOG_ERROR:   return "error";
    default:          return "unknown";
    }
}
