#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace lumo {

// pread until `count` bytes are in, the file ends or a read fails; returns
// the bytes read.
inline int64_t ReadFully(int fd, uint8_t* dst, int64_t count, int64_t offset)
{
    int64_t done = 0;
    while (done < count) {
        const ssize_t got =
            ::pread(fd, dst + done, static_cast<size_t>(count - done), static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += got;
    }
    return done;
}

} // namespace lumo
