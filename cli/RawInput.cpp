#include "cli/RawInput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/CliError.h"
#include "yuv/RawFrameSource.h"

namespace lumo::cli {

namespace {

const char* KindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a named pipe (FIFO)";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a plain file";
}

} // namespace

int64_t RequireRegularFile(const std::string& path, const std::string& name)
{
    // O_NONBLOCK: a plain open of a FIFO would wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw CliError("cannot open " + name + ": " + std::strerror(errno));
    struct stat st {};
    const bool statted = ::fstat(fd, &st) == 0;
    const int savedErrno = errno;
    ::close(fd);
    if (!statted)
        throw CliError("cannot open " + name + ": " + std::strerror(savedErrno));
    if (!S_ISREG(st.st_mode))
        throw CliError("cannot open " + name + ": it is " + KindOf(st.st_mode) + ", not a regular file");
    return static_cast<int64_t>(st.st_size);
}

RawInput::RawInput(const std::string& path, FrameSize size, const std::string& layout, const std::string& label)
    : reader_(path, size.width, size.height, layout), source_(OpenFrameSource(reader_)), label_(label)
{
    fileBytes_ = RequireRegularFile(path, Name());
    frameBytes_ = reader_.GetFrameSize();
    if (frameBytes_ <= 0 || frameBytes_ > INT32_MAX)
        throw CliError("impossible frame size for " + Name());
    if (NamesEncodedVideo(path)) {
        // Decoded frames: the count is exact (waits for a count that needs
        // a full decode), and every frame is whole.
        frameCount_ = source_->FrameCount() < 0 ? -1 : source_->ExactFrameCount();
        dataBytes_ = frameCount_ < 0 ? -1 : frameCount_ * frameBytes_;
    } else {
        frameCount_ = reader_.GetFrameCount();
        dataBytes_ = reader_.GetDataSize();
    }
    if (frameCount_ < 0 || dataBytes_ < 0)
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
