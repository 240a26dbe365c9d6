#include "base/LogPrint.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace {

std::mutex& LogMutex()
{
    // Never destroyed, so logging from static destructors stays safe.
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}

const char* LevelFormat(int32_t level)
{
    switch (level) {
    case LOG_LEVEL_ERROR: return "[ ERROR ][%d-%02d-%02d %02d:%02d:%02d][%lld]";
    case LOG_LEVEL_INFO: return "[ INFO  ][%d-%02d-%02d %02d:%02d:%02d][%lld]";
    case LOG_LEVEL_WARNING: return "[WARNING][%d-%02d-%02d %02d:%02d:%02d][%lld]";
    default: return nullptr;
    }
}

} // namespace

void LogPrint(const char* file, const char* /*function*/, int32_t line, int32_t level, const char* format, ...)
{
    std::lock_guard<std::mutex> lock(LogMutex());

    const time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    const long long thread = static_cast<long long>(syscall(SYS_gettid));

    if (const char* prefix = LevelFormat(level))
        std::printf(prefix, local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                    local.tm_sec, thread);
    std::printf("%s (%d) ", file ? file : "", line);

    va_list args;
    va_start(args, format);
    for (const char* p = format ? format : ""; *p; ++p) {
        if (*p != '%') {
            std::putchar(*p);
            continue;
        }
        const char next = *++p;
        if (next == '\0')
            break; // a lone trailing '%' writes nothing
        if (next == 'd') {
            std::printf("%d", va_arg(args, int));
        } else if (next == 'l' && p[1] == 'd') {
            ++p;
            std::printf("%ld", va_arg(args, long));
        } else if (next == 'l' && p[1] == 'l' && p[2] == 'd') {
            p += 2;
            std::printf("%lld", va_arg(args, long long));
        } else if (next == 'f') {
            std::printf("%f", va_arg(args, double));
        } else if (next == 's') {
            const char* s = va_arg(args, const char*);
            std::fputs(s ? s : "(null)", stdout);
        } else {
            std::putchar(next);
        }
    }
    va_end(args);
    std::fflush(stdout);
}
