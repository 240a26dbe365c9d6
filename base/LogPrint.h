#pragma once

#include <cstdint>

#define LOG_LEVEL_ERROR 1
#define LOG_LEVEL_INFO 2
#define LOG_LEVEL_WARNING 3

// Writes one log message to standard output: a level prefix with local time
// and thread id (levels 1 to 3 only), "file (line) ", then the message. The
// format understands %d, %ld, %lld, %f and %s; "%" before any other character
// writes that character. No line end is added. Safe from any thread.
void LogPrint(const char* file, const char* function, int32_t line, int32_t level, const char* format, ...);
