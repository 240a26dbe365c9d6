#include "media/MediaInput.h"

#include "media/LumoReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avstring.h>
}

namespace lumo {

namespace {

// Containers and elementary streams whose demuxer reads its own input and
// nothing else. Names as FFmpeg spells them; a demuxer with several names
// ("mov,mp4,...") passes when any of them is here.
constexpr const char* kSingleFileDemuxers[] = {
    "mov", "matroska", "avi", "flv", "live_flv", "mpegts", "mpeg", "mpegvideo", "m4v", "h261", "h263",
    "h264", "hevc", "avs2", "avs3", "cavsvideo", "vc1", "dirac", "dnxhd", "obu", "ivf", "asf", "ogg",
    "nut", "yuv4mpegpipe", "apng", "gif", "mjpeg", "mjpeg_2000", "dv", "mxf", "gxf", "rm", "wtv", "nuv",
    "smjpeg", "mpjpeg", "bink", "smk", "flic", "thp", "roq", "ipu", "lxf", "r3d", "swf", "ser",
    // One picture: patterns are switched off below, and the picture is read
    // through the descriptor, never by its name.
    "image2",
};

// Lists and manifests of other files or addresses.
constexpr const char* kNamingDemuxers[] = {
    "hls", "concat", "dash", "imf", "webm_dash_manifest", "sdp", "rtsp", "rtp", "vobsub",
};

bool NameIn(const char* names, const char* const* list, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        if (av_match_name(list[i], names))
            return true;
    return false;
}

// Every picture demuxer "xxx_pipe" reads one picture from its input, except
// SVG, which may draw pictures from other files it names.
bool IsPicturePipe(const char* name)
{
    const std::size_t n = std::strlen(name);
    return n > 5 && std::strcmp(name + n - 5, "_pipe") == 0 && std::strcmp(name, "svg_pipe") != 0
        && std::strchr(name, ',') == nullptr;
}

// Text-art decoders turn any plain text file into "video", and SVG drawings
// may pull in other files: neither is media to this reader.
bool IsRefusedCodec(AVCodecID id)
{
    return id == AV_CODEC_ID_ANSI || id == AV_CODEC_ID_BINTEXT || id == AV_CODEC_ID_XBIN
        || id == AV_CODEC_ID_IDF || id == AV_CODEC_ID_SVG;
}

bool Stopped()
{
    return LumoReader::StopRequested();
}

// Lets a blocking open or read inside libavformat give up on a stop request.
int InterruptCallback(void*)
{
    return Stopped() ? 1 : 0;
}

// No demuxer gets to open a file or address of its own.
int RefuseOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**)
{
    return AVERROR(EPERM);
}

// FFmpeg's own messages ("moov atom not found", ...) are not ours to print:
// callers report a failure in their own words.
void SilenceFfmpegLog()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

constexpr int kIoBufferSize = 64 * 1024;

int ReadFile(void* opaque, uint8_t* buf, int size)
{
    const int fd = *static_cast<const int*>(opaque);
    for (;;) {
        const ssize_t n = ::read(fd, buf, static_cast<size_t>(size));
        if (n > 0)
            return static_cast<int>(n);
        if (n == 0)
            return AVERROR_EOF;
        if (errno != EINTR)
            return AVERROR(errno);
    }
}

int64_t SeekFile(void* opaque, int64_t offset, int whence)
{
    const int fd = *static_cast<const int*>(opaque);
    if (whence == AVSEEK_SIZE) {
        struct stat st {};
        return ::fstat(fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : AVERROR(errno);
    }
    const off_t at = ::lseek(fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : static_cast<int64_t>(at);
}

bool OverSide(int width, int height)
{
    return width > kMaxMediaSide || height > kMaxMediaSide;
}

uint32_t BigEndian32(const unsigned char* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// The size a PNG's header states, read before any decoder sees the file: a
// PNG's size is only known to FFmpeg once it decodes it. Returns the
// LumoReader result for it: too large, or a picture whose data could not
// hold what it claims (deflate packs at most 1032 bytes into one, so a tiny
// file claiming a huge picture is cut short and would only cost a huge
// empty frame).
int CheckPngHeader(int fd)
{
    unsigned char h[33];
    if (::pread(fd, h, sizeof h, 0) != static_cast<ssize_t>(sizeof h)
        || std::memcmp(h, "\x89PNG\r\n\x1a\n", 8) != 0 || std::memcmp(h + 12, "IHDR", 4) != 0)
        return LumoReader::kOk;
    const uint32_t width = BigEndian32(h + 16);
    const uint32_t height = BigEndian32(h + 20);
    if (width > kMaxMediaSide || height > kMaxMediaSide)
        return LumoReader::kErrorTooLarge;
    static const int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
    const int channels = h[25] < 7 ? kChannels[h[25]] : 0;
    struct stat st {};
    if (channels == 0 || ::fstat(fd, &st) != 0)
        return LumoReader::kOk;
    const uint64_t rowBytes = 1 + (uint64_t(width) * channels * h[24] + 7) / 8;
    const uint64_t inflated = rowBytes * height;
    const uint64_t mostInflated = 1032 * static_cast<uint64_t>(st.st_size) + 64 * 1024;
    return inflated > mostInflated ? LumoReader::kErrorDecode : LumoReader::kOk;
}

} // namespace

bool ReadsOnlyItsOwnFile(const AVInputFormat* format)
{
    return format && format->name
        && (NameIn(format->name, kSingleFileDemuxers, std::size(kSingleFileDemuxers))
            || IsPicturePipe(format->name))
        && !NamesOtherFiles(format);
}

bool NamesOtherFiles(const AVInputFormat* format)
{
    return format && format->name && NameIn(format->name, kNamingDemuxers, std::size(kNamingDemuxers));
}

MediaInput::~MediaInput()
{
    avformat_close_input(&m_format);
    if (m_io) {
        av_freep(&m_io->buffer);
        avio_context_free(&m_io);
    }
    if (m_fd >= 0)
        ::close(m_fd);
}

int MediaInput::Open(const std::string& path)
{
    return OpenWith(path, false);
}

int MediaInput::OpenBestStream(const std::string& path)
{
    return OpenWith(path, true);
}

int MediaInput::OpenWith(const std::string& path, bool best)
{
    SilenceFfmpegLog();
    // Opening without O_NONBLOCK would wait forever for the writer of a FIFO;
    // anything but a regular file is refused before a byte is read.
    m_fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        return LumoReader::kErrorOpen;
    struct stat st {};
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode))
        return LumoReader::kErrorOpen;
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);

    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferSize));
    if (!buffer)
        return LumoReader::kErrorMemory;
    m_io = avio_alloc_context(buffer, kIoBufferSize, 0, &m_fd, &ReadFile, nullptr, &SeekFile);
    if (!m_io) {
        av_free(buffer);
        return LumoReader::kErrorMemory;
    }
    int ret = Probe(path);
    if (ret != LumoReader::kOk)
        return ret;
    return FindVideoStream(best);
}

int MediaInput::Probe(const std::string& path)
{
    // The demuxer is chosen here, and checked before it reads a header.
    const AVInputFormat* format = nullptr;
    if (av_probe_input_buffer2(m_io, &format, path.c_str(), nullptr, 0, 0) < 0 || !format)
        return Stopped() ? LumoReader::kErrorStopped : LumoReader::kErrorOpen;
    if (NamesOtherFiles(format))
        return LumoReader::kErrorNamesOtherFiles;
    if (!ReadsOnlyItsOwnFile(format))
        return LumoReader::kErrorOpen;

    AVFormatContext* ctx = avformat_alloc_context();
    if (!ctx)
        return LumoReader::kErrorMemory;
    ctx->pb = m_io;
    ctx->interrupt_callback.callback = &InterruptCallback;
    ctx->io_open = &RefuseOpen;
    // With its own reader the name only helps to guess the format; it is
    // never opened as an address ("pipe:0" is a file name here).
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    av_dict_set(&options, "format_whitelist", format->name, 0);
    av_dict_set(&options, "pattern_type", "none", 0);
    // avformat_open_input frees the context itself when it fails.
    const int opened = avformat_open_input(&ctx, path.c_str(), format, &options);
    av_dict_free(&options);
    if (opened < 0)
        return Stopped() ? LumoReader::kErrorStopped : LumoReader::kErrorOpen;
    m_format = ctx;
    if (!ReadsOnlyItsOwnFile(ctx->iformat))
        return NamesOtherFiles(ctx->iformat) ? LumoReader::kErrorNamesOtherFiles : LumoReader::kErrorOpen;
    return LumoReader::kOk;
}

int MediaInput::FindVideoStream(bool best)
{
    AVFormatContext* ctx = m_format;
    auto firstVideo = [ctx]() -> AVCodecParameters* {
        for (unsigned i = 0; i < ctx->nb_streams; ++i) {
            AVCodecParameters* par = ctx->streams[i]->codecpar;
            if (par->codec_type == AVMEDIA_TYPE_VIDEO && !IsRefusedCodec(par->codec_id))
                return par;
        }
        return nullptr;
    };
    auto bestVideo = [ctx, &firstVideo]() -> AVCodecParameters* {
        const int at = av_find_best_stream(ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (at >= 0 && !(ctx->streams[at]->disposition & AV_DISPOSITION_ATTACHED_PIC)
            && !IsRefusedCodec(ctx->streams[at]->codecpar->codec_id))
            return ctx->streams[at]->codecpar;
        for (unsigned i = 0; i < ctx->nb_streams; ++i) {
            AVCodecParameters* par = ctx->streams[i]->codecpar;
            if (par->codec_type == AVMEDIA_TYPE_VIDEO && !IsRefusedCodec(par->codec_id)
                && !(ctx->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC))
                return par;
        }
        return firstVideo();
    };
    // The size the container states, before anything is decoded.
    if (const AVCodecParameters* par = firstVideo()) {
        if (OverSide(par->width, par->height))
            return LumoReader::kErrorTooLarge;
        if (par->codec_id == AV_CODEC_ID_PNG || par->codec_id == AV_CODEC_ID_APNG) {
            const int png = CheckPngHeader(m_fd);
            if (png != LumoReader::kOk)
                return png;
        }
    }

    // Finding the stream parameters decodes a frame or two of each stream;
    // their decoders refuse any frame over the largest size before they
    // allocate it.
    std::vector<AVDictionary*> streamOptions(ctx->nb_streams, nullptr);
    const std::string maxPixels = std::to_string(int64_t(kMaxMediaSide) * kMaxMediaSide);
    for (AVDictionary*& options : streamOptions)
        av_dict_set(&options, "max_pixels", maxPixels.c_str(), 0);
    const int found = avformat_find_stream_info(ctx, streamOptions.empty() ? nullptr : streamOptions.data());
    for (AVDictionary*& options : streamOptions)
        av_dict_free(&options);
    if (found < 0)
        return Stopped() ? LumoReader::kErrorStopped : LumoReader::kErrorOpen;

    const AVCodecParameters* video = best ? bestVideo() : firstVideo();
    if (!video)
        return LumoReader::kErrorNoVideo;
    if (OverSide(video->width, video->height))
        return LumoReader::kErrorTooLarge;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        if (ctx->streams[i]->codecpar == video)
            m_stream = static_cast<int>(i);
        else
            ctx->streams[i]->discard = AVDISCARD_ALL; // dropped by the demuxer early
    }
    return LumoReader::kOk;
}

}
