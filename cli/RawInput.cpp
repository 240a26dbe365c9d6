#include "cli/RawInput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/CliError.h"

namespace lumo::cli {

RawInput::RawInput(const std::string& path, FrameSize size, const std::string& layout, const std::string& label)
    : reader_(path, size.width, size.height, layout), label_(label)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw CliError("cannot open " + Name() + ": " + std::strerror(errno));
    struct stat st {};
    const bool statted = ::fstat(fd, &st) == 0;
    ::close(fd);
    if (!statted || !S_ISREG(st.st_mode))
        throw CliError("cannot open " + Name() + ": not a regular file");
    fileBytes_ = static_cast<int64_t>(st.st_size);
    frameBytes_ = reader_.GetFrameSize();
    if (frameBytes_ <= 0 || frameBytes_ > INT32_MAX)
        throw CliError("impossible frame size for " + Name());
    frameCount_ = reader_.GetFrameCount();
    if (frameCount_ < 0)
        throw CliError("cannot open " + Name());
}

std::string RawInput::Name() const
{
    return label_.empty() ? reader_.Path() : label_ + " (" + reader_.Path() + ")";
}

void RawInput::RequireFrame(int frame) const
{
    if (frame < 0 || frame >= frameCount_)
        throw CliError("frame " + std::to_string(frame) + " is past the end of " + Name() + ", which has "
                       + std::to_string(frameCount_) + " frame" + (frameCount_ == 1 ? "" : "s"));
}

} // namespace lumo::cli
