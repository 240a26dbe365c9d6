#include "yuv/YuvFrameFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "yuv/RawFrameSource.h"
#include "yuv/ReadFully.h"

namespace lumo {
namespace {

// An open regular file and, when it is a Y4M stream, its index.
int OpenRegular(const std::string& path, struct stat* st, std::shared_ptr<const Y4mIndex>* index)
{
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a
    // writer. It has no effect on reads of regular files.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    if (::fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
        ::close(fd);
        return -1;
    }
    uint8_t start[16];
    const int64_t got = ReadFully(fd, start, sizeof(start), 0);
    if (StartsLikeY4m(start, static_cast<size_t>(got)))
        *index = Y4mIndex::For(fd, path, *st);
    return fd;
}

} // namespace

YuvFrameFile::YuvFrameFile(const std::string& path, int width, int height, const std::string& type)
{
    if (NamesEncodedVideo(path) && CanOpenEncoded()) {
        std::unique_ptr<FrameSource> source = BorrowEncodedSource(path);
        // As a Y4M file: only the geometry its stream has.
        if (!source || source->Width() != width || source->Height() != height || source->Type() != type ||
            source->FrameSize() <= 0 || source->FrameCount() < 0) {
            ReturnEncodedSource(std::move(source));
            return;
        }
        encoded_ = std::move(source);
        size_ = encoded_->FrameSize() * encoded_->FrameCount();
        return;
    }
    struct stat st {};
    fd_ = OpenRegular(path, &st, &index_);
    if (fd_ < 0)
        return;
    size_ = static_cast<int64_t>(st.st_size);
    if (!index_)
        return;
    const Y4mInfo& info = index_->Info();
    if (info.status != Y4mStatus::Ok || info.width != width || info.height != height || info.type != type) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    size_ = info.dataBytes;
}

YuvFrameFile::~YuvFrameFile()
{
    if (fd_ >= 0)
        ::close(fd_);
    ReturnEncodedSource(std::move(encoded_));
}

int64_t YuvFrameFile::ReadDecoded(uint8_t* dst, int64_t count, int64_t offset) const
{
    const int64_t frameSize = encoded_->FrameSize();
    int64_t done = 0;
    while (done < count && offset + done < size_) {
        const int64_t at = offset + done;
        const int64_t frame = at / frameSize;
        const int64_t within = at % frameSize;
        const int64_t want = std::min(count - done, frameSize - within);
        if (within == 0 && want == frameSize) {
            // A whole frame straight into place.
            if (!encoded_->ReadFrame(static_cast<int>(frame), dst + done))
                break;
        } else {
            if (frameIndex_ != frame) {
                frame_.resize(static_cast<size_t>(frameSize));
                frameIndex_ = -1;
                if (!encoded_->ReadFrame(static_cast<int>(frame), frame_.data()))
                    break;
                frameIndex_ = frame;
            }
            std::copy_n(frame_.data() + within, want, dst + done);
        }
        done += want;
    }
    return done;
}

int64_t YuvFrameFile::ReadAt(uint8_t* dst, int64_t count, int64_t offset) const
{
    if (encoded_)
        return offset < 0 || count <= 0 ? 0 : ReadDecoded(dst, count, offset);
    if (fd_ < 0 || offset < 0 || offset >= size_ || count <= 0)
        return 0;
    if (!index_)
        return ReadFully(fd_, dst, count, offset);
    // Frame by frame: the FRAME header before each frame is skipped.
    const int64_t frameSize = index_->Info().frameSize;
    int64_t done = 0;
    while (done < count && offset + done < size_) {
        const int64_t at = offset + done;
        const int64_t frame = at / frameSize;
        const int64_t within = at % frameSize;
        const int64_t position = index_->DataPosition(fd_, frame);
        if (position < 0)
            break;
        const int64_t inFrame = std::min(frameSize, size_ - frame * frameSize) - within;
        const int64_t want = std::min(count - done, inFrame);
        const int64_t got = ReadFully(fd_, dst + done, want, position + within);
        done += got;
        if (got < want)
            break;
    }
    return done;
}

bool YuvFrameFile::ProbeY4m(const std::string& path, Y4mInfo* info)
{
    struct stat st {};
    std::shared_ptr<const Y4mIndex> index;
    const int fd = OpenRegular(path, &st, &index);
    if (fd >= 0)
        ::close(fd);
    if (!index)
        return false;
    if (info)
        *info = index->Info();
    return true;
}

} // namespace lumo
