#include "media/MediaConversion.h"

#include "media/LumoReader.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <new>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace lumo {

void MediaConversion::CodecContextFreer::operator()(AVCodecContext* ctx) const { avcodec_free_context(&ctx); }
void MediaConversion::FrameFreer::operator()(AVFrame* frame) const { av_frame_free(&frame); }
void MediaConversion::SwsFreer::operator()(SwsContext* ctx) const { sws_freeContext(ctx); }

namespace {

struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;

bool Stopped()
{
    return LumoReader::StopRequested();
}

// A decoder that keeps failing in a row has no frames left worth waiting
// for; FFmpeg's own drain gives up after a similar count.
constexpr int kMaxDecodeErrors = 64;

// Output is gathered and written in pieces of at most this size.
constexpr int64_t kChunkBytes = 4 * 1024 * 1024;

// Above this many pixels (8K) a frame is too big to keep one per thread.
constexpr int64_t kFrameThreadPixels = int64_t(7680) * 4320;

// Decoder layouts that have a code of their own and are written unchanged.
struct KeptLayout {
    AVPixelFormat decoded;
    Lumer::LumerAVPixelFormat code;
};
constexpr KeptLayout kKeptLayouts[] = {
    {AV_PIX_FMT_YUV420P, Lumer::LUMER_PIX_FMT_YUV420P},
    {AV_PIX_FMT_YUVJ420P, Lumer::LUMER_PIX_FMT_YUV420P},
    {AV_PIX_FMT_NV12, Lumer::LUMER_PIX_FMT_NV12},
    {AV_PIX_FMT_NV21, Lumer::LUMER_PIX_FMT_NV21},
    {AV_PIX_FMT_YUV422P, Lumer::LUMER_PIX_FMT_YUV422P},
    {AV_PIX_FMT_YUVJ422P, Lumer::LUMER_PIX_FMT_YUV422P},
    {AV_PIX_FMT_YUYV422, Lumer::LUMER_PIX_FMT_YUYV422},
    {AV_PIX_FMT_YUV444P, Lumer::LUMER_PIX_FMT_YUV444P},
    {AV_PIX_FMT_YUVJ444P, Lumer::LUMER_PIX_FMT_YUV444P},
    {AV_PIX_FMT_YUV420P10LE, Lumer::LUMER_PIX_FMT_YUV420P10LE},
    {AV_PIX_FMT_YUV422P10LE, Lumer::LUMER_PIX_FMT_YUV422P10LE},
    {AV_PIX_FMT_YUV444P10LE, Lumer::LUMER_PIX_FMT_YUV444P10LE},
    {AV_PIX_FMT_YUV420P12LE, Lumer::LUMER_PIX_FMT_YUV420P12LE},
    {AV_PIX_FMT_YUV420P16LE, Lumer::LUMER_PIX_FMT_YUV420P16LE},
    {AV_PIX_FMT_P010LE, Lumer::LUMER_PIX_FMT_P010LE},
    {AV_PIX_FMT_P016LE, Lumer::LUMER_PIX_FMT_P016LE},
};

// Deep layouts written in another byte order or bit position; converted
// sample for sample into the layout of the same depth and chroma.
constexpr KeptLayout kSwappedLayouts[] = {
    {AV_PIX_FMT_YUV420P10BE, Lumer::LUMER_PIX_FMT_YUV420P10LE},
    {AV_PIX_FMT_YUV422P10BE, Lumer::LUMER_PIX_FMT_YUV422P10LE},
    {AV_PIX_FMT_YUV444P10BE, Lumer::LUMER_PIX_FMT_YUV444P10LE},
    {AV_PIX_FMT_YUV420P12BE, Lumer::LUMER_PIX_FMT_YUV420P12LE},
    {AV_PIX_FMT_YUV420P16BE, Lumer::LUMER_PIX_FMT_YUV420P16LE},
    {AV_PIX_FMT_P010BE, Lumer::LUMER_PIX_FMT_P010LE},
    {AV_PIX_FMT_P016BE, Lumer::LUMER_PIX_FMT_P016LE},
};

// The JPEG variants only say "full range"; swscale wants the plain layout
// plus an explicit range.
AVPixelFormat PlainLayout(AVPixelFormat format, bool* fullRange)
{
    switch (format) {
    case AV_PIX_FMT_YUVJ420P: *fullRange = true; return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P: *fullRange = true; return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P: *fullRange = true; return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P: *fullRange = true; return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P: *fullRange = true; return AV_PIX_FMT_YUV411P;
    default: return format;
    }
}

// RGB, paletted and grey pictures have no YUV range of their own to keep.
bool IsYuv(AVPixelFormat format)
{
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    return desc && desc->nb_components >= 3
        && (desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) == 0;
}

} // namespace

AVPixelFormat LayoutOfCode(int code)
{
    for (const KeptLayout& kept : kKeptLayouts)
        if (kept.code == code)
            return kept.decoded;
    return AV_PIX_FMT_YUV420P;
}

MediaConversion::~MediaConversion() = default;

int MediaConversion::Run()
{
    int ret = m_media.Open(m_input);
    if (ret != LumoReader::kOk)
        return ret;
    ret = OpenDecoder();
    if (ret != LumoReader::kOk)
        return ret;

    PacketPtr packet(av_packet_alloc());
    m_frame.reset(av_frame_alloc());
    if (!packet || !m_frame)
        return LumoReader::kErrorMemory;

    for (;;) {
        if (Stopped())
            return LumoReader::kErrorStopped;
        ret = av_read_frame(m_media.Format(), packet.get());
        if (ret == AVERROR_EXIT || Stopped())
            return LumoReader::kErrorStopped;
        // End of file or a read error: keep what was decoded, as the ffmpeg
        // tool does with a truncated file.
        if (ret < 0)
            break;
        if (packet->stream_index == m_media.VideoStream())
            ret = SendPacket(packet.get());
        else
            ret = LumoReader::kOk;
        av_packet_unref(packet.get());
        if (ret != LumoReader::kOk)
            return ret;
    }

    avcodec_send_packet(m_decoder.get(), nullptr);
    ret = ReceiveFrames();
    if (ret != LumoReader::kOk)
        return ret;
    if (Stopped())
        return LumoReader::kErrorStopped;
    if (m_frameCount == 0)
        return LumoReader::kErrorNoFrames;
    return m_writer.Commit() ? LumoReader::kOk : LumoReader::kErrorOutput;
}

int MediaConversion::OpenDecoder()
{
    const AVStream* stream = m_media.Format()->streams[m_media.VideoStream()];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec)
        return LumoReader::kErrorNoVideo;
    m_decoder.reset(avcodec_alloc_context3(codec));
    if (!m_decoder)
        return LumoReader::kErrorMemory;
    if (avcodec_parameters_to_context(m_decoder.get(), stream->codecpar) < 0)
        return LumoReader::kErrorDecode;
    m_decoder->pkt_timebase = stream->time_base;
    // No frame over the largest size is ever allocated, whatever a later
    // frame of the stream claims.
    m_decoder->max_pixels = static_cast<int64_t>(kMaxMediaSide) * kMaxMediaSide;
    // As many decoding threads as the machine has; frame threads are what
    // makes long-GOP codecs fast. Each frame thread holds a frame of its
    // own, so huge frames are decoded by slices only.
    const int64_t pixels = static_cast<int64_t>(stream->codecpar->width) * stream->codecpar->height;
    m_decoder->thread_count = 0;
    m_decoder->thread_type = pixels > kFrameThreadPixels ? FF_THREAD_SLICE : FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (avcodec_open2(m_decoder.get(), codec, nullptr) < 0)
        return LumoReader::kErrorDecode;
    return LumoReader::kOk;
}

// A packet the decoder refuses with EAGAIN is sent again once the frames
// it holds have been taken. A damaged packet is skipped; the decoder resumes
// at the next one.
int MediaConversion::SendPacket(const AVPacket* packet)
{
    for (int attempt = 0;; ++attempt) {
        const int sent = avcodec_send_packet(m_decoder.get(), packet);
        const int ret = ReceiveFrames();
        if (ret != LumoReader::kOk || sent != AVERROR(EAGAIN) || attempt == kMaxDecodeErrors)
            return ret;
    }
}

// Takes every frame the decoder has ready. A broken frame is skipped like a
// damaged packet, and the frames behind it still come, during the final
// drain too.
int MediaConversion::ReceiveFrames()
{
    for (int errors = 0;;) {
        int ret = avcodec_receive_frame(m_decoder.get(), m_frame.get());
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            return LumoReader::kOk;
        if (ret < 0) {
            if (++errors > kMaxDecodeErrors)
                return LumoReader::kOk;
            continue;
        }
        ret = WriteFrame(*m_frame);
        av_frame_unref(m_frame.get());
        if (ret != LumoReader::kOk)
            return ret;
        if (Stopped())
            return LumoReader::kErrorStopped;
    }
}

int MediaConversion::StartOutput(const AVFrame& frame)
{
    if (frame.width <= 0 || frame.height <= 0)
        return LumoReader::kErrorDecode;
    const auto decoded = static_cast<AVPixelFormat>(frame.format);

    m_width = frame.width;
    m_height = frame.height;
    m_alwaysConvert = true;
    // Odd sizes too: the frame is stored as FFmpeg lays it out, chroma
    // planes rounded up, which is how the reader takes it.
    m_outLayout = AV_PIX_FMT_YUV420P;
    m_code = Lumer::LUMER_PIX_FMT_YUV420P;
    for (const KeptLayout& kept : kKeptLayouts) {
        if (kept.decoded == decoded) {
            m_outLayout = decoded;
            m_code = kept.code;
            m_alwaysConvert = false;
            break;
        }
    }
    for (const KeptLayout& swapped : kSwappedLayouts) {
        if (swapped.decoded == decoded) {
            m_outLayout = LayoutOfCode(swapped.code);
            m_code = swapped.code;
        }
    }

    // YUV input keeps its range when converted; anything else becomes
    // video-range YUV, as swscale and the ffmpeg tool do by default.
    bool fullRange = frame.color_range == AVCOL_RANGE_JPEG;
    PlainLayout(decoded, &fullRange);
    m_outFullRange = IsYuv(decoded) && fullRange;

    const int size = av_image_get_buffer_size(m_outLayout, m_width, m_height, 1);
    if (size <= 0)
        return LumoReader::kErrorDecode;
    m_frameBytes = size;
    try {
        m_chunk.reserve(static_cast<std::size_t>(std::min<int64_t>(size, kChunkBytes)));
    } catch (const std::bad_alloc&) {
        return LumoReader::kErrorMemory;
    }
    if (!m_writer.Open())
        return LumoReader::kErrorOutput;
    m_started = true;
    return LumoReader::kOk;
}

int MediaConversion::WriteFrame(const AVFrame& frame)
{
    if (!m_started) {
        const int ret = StartOutput(frame);
        if (ret != LumoReader::kOk)
            return ret;
    }

    int ret = LumoReader::kOk;
    if (!m_alwaysConvert && frame.format == m_outLayout && frame.width == m_width
        && frame.height == m_height) {
        for (int plane = 0; plane < 4 && ret == LumoReader::kOk; ++plane)
            ret = WritePlane(frame.data, frame.linesize, plane);
    } else {
        ret = ConvertFrame(frame);
    }
    if (ret == LumoReader::kOk)
        ret = Flush();
    if (ret != LumoReader::kOk)
        return ret;
    ++m_frameCount;
    return LumoReader::kOk;
}

// Writes one plane of an output-layout picture straight from its rows, in
// pieces of at most kChunkBytes: no copy of the whole frame is made. A plane
// the layout does not have adds nothing. Rows are tight, as
// av_image_copy_to_buffer lays them.
int MediaConversion::WritePlane(uint8_t* const data[4], const int linesize[4], int plane)
{
    if (!data[plane])
        return LumoReader::kOk;
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(m_outLayout);
    const int shift = plane == 1 || plane == 2 ? desc->log2_chroma_h : 0;
    return WriteRows(data[plane], linesize[plane], plane, AV_CEIL_RSHIFT(m_height, shift));
}

// Writes `rows` rows of one plane starting at `data`, each as many bytes as
// that plane's row has in the output.
int MediaConversion::WriteRows(const uint8_t* data, int linesize, int plane, int rows)
{
    int rowBytes[4] = {};
    if (av_image_fill_linesizes(rowBytes, m_outLayout, m_width) < 0 || rowBytes[plane] <= 0)
        return LumoReader::kOk;
    const std::size_t bytes = static_cast<std::size_t>(rowBytes[plane]);
    for (int y = 0; y < rows; ++y) {
        const uint8_t* row = data + static_cast<std::ptrdiff_t>(linesize) * y;
        if (m_chunk.size() + bytes > m_chunk.capacity()) {
            const int ret = Flush();
            if (ret != LumoReader::kOk)
                return ret;
        }
        if (bytes > m_chunk.capacity()) {
            if (!m_writer.Write(row, bytes))
                return LumoReader::kErrorOutput;
        } else {
            m_chunk.insert(m_chunk.end(), row, row + bytes);
        }
    }
    return LumoReader::kOk;
}

int MediaConversion::Flush()
{
    if (!m_chunk.empty() && !m_writer.Write(m_chunk.data(), m_chunk.size()))
        return LumoReader::kErrorOutput;
    m_chunk.clear();
    return LumoReader::kOk;
}

// Brings a frame of any layout and size to the output layout at the first
// frame's size.
int MediaConversion::ConvertFrame(const AVFrame& frame)
{
    if (frame.width <= 0 || frame.height <= 0)
        return LumoReader::kErrorDecode;
    bool srcFull = frame.color_range == AVCOL_RANGE_JPEG;
    const AVPixelFormat srcLayout = PlainLayout(static_cast<AVPixelFormat>(frame.format), &srcFull);
    bool dstFullUnused = false;
    const AVPixelFormat dstLayout = PlainLayout(m_outLayout, &dstFullUnused);

    const bool sameSize = frame.width == m_width && frame.height == m_height;
    if (!m_sws || srcLayout != m_swsSrcLayout || frame.width != m_swsSrcWidth
        || frame.height != m_swsSrcHeight || srcFull != m_swsSrcFullRange) {
        if (!sws_isSupportedInput(srcLayout))
            return LumoReader::kErrorDecode;
        // At the same size into 4:4:4 nothing is subsampled, so the nearest
        // sample is exact; everything else gets a proper filter.
        // A deep layout of the same chroma is a sample-for-sample copy.
        const bool exact = dstLayout == AV_PIX_FMT_YUV444P || dstLayout == AV_PIX_FMT_YUV444P10LE
            || m_code >= Lumer::LUMER_PIX_FMT_YUV420P10LE;
        m_swsFlags = (sameSize && exact ? SWS_POINT : SWS_BICUBIC) | SWS_ACCURATE_RND;
        m_sws.reset(MakeScaler(frame.width, frame.height, srcLayout, m_height, dstLayout, srcFull));
        if (!m_sws)
            return LumoReader::kErrorDecode;
        m_bandScalers.clear();
        m_swsSrcLayout = srcLayout;
        m_swsSrcWidth = frame.width;
        m_swsSrcHeight = frame.height;
        m_swsSrcFullRange = srcFull;
    }
    if (sameSize && m_frameBytes > m_bandBytes)
        return ConvertInBands(frame, srcLayout, dstLayout);

    if (!m_scaled && !AllocateOutputFrame(m_scaled, dstLayout, m_height))
        return LumoReader::kErrorMemory;
    if (sws_scale(m_sws.get(), frame.data, frame.linesize, 0, frame.height, m_scaled->data,
            m_scaled->linesize) <= 0)
        return LumoReader::kErrorDecode;
    for (int plane = 0; plane < 4; ++plane) {
        const int ret = WritePlane(m_scaled->data, m_scaled->linesize, plane);
        if (ret != LumoReader::kOk)
            return ret;
    }
    return LumoReader::kOk;
}

SwsContext* MediaConversion::MakeScaler(int width, int height, AVPixelFormat srcLayout, int dstHeight,
    AVPixelFormat dstLayout, bool srcFull) const
{
    SwsContext* sws = sws_getContext(width, height, srcLayout, m_width, dstHeight, dstLayout, m_swsFlags,
        nullptr, nullptr, nullptr);
    if (!sws)
        return nullptr;
    int* invTable = nullptr;
    int* table = nullptr;
    int srcRange = 0, dstRange = 0, brightness = 0, contrast = 0, saturation = 0;
    if (sws_getColorspaceDetails(sws, &invTable, &srcRange, &table, &dstRange, &brightness, &contrast,
            &saturation) >= 0) {
        sws_setColorspaceDetails(sws, invTable, srcFull ? 1 : 0, table, m_outFullRange ? 1 : 0, brightness,
            contrast, saturation);
    }
    return sws;
}

// A huge frame of the output size is converted a band of rows at a time, so
// that no converted copy of the whole frame is held. The file holds each
// plane whole, so every plane takes a pass of its own. Each band is scaled
// with margin rows above and below (the vertical chroma filter reaches a
// few rows), and starts on a multiple of 16 rows, where the ordered dither
// repeats: the rows kept equal those of a whole-frame conversion.
int MediaConversion::ConvertInBands(const AVFrame& frame, AVPixelFormat srcLayout, AVPixelFormat dstLayout)
{
    constexpr int kMargin = 32;
    // 16 to 256 rows, as many as the band budget holds.
    const int64_t perRow = std::max<int64_t>(1, m_frameBytes / m_height);
    const int bandRows = static_cast<int>(std::clamp<int64_t>(m_bandBytes / perRow / 16 * 16, 16, 256));
    if (!m_band && !AllocateOutputFrame(m_band, dstLayout, std::min(m_height, bandRows + 2 * kMargin)))
        return LumoReader::kErrorMemory;
    const AVPixFmtDescriptor* src = av_pix_fmt_desc_get(srcLayout);
    const AVPixFmtDescriptor* dst = av_pix_fmt_desc_get(dstLayout);
    bool srcFull = frame.color_range == AVCOL_RANGE_JPEG;
    PlainLayout(static_cast<AVPixelFormat>(frame.format), &srcFull);
    for (int plane = 0; plane < 4 && m_band->data[plane]; ++plane) {
        const int shift = plane == 1 || plane == 2 ? dst->log2_chroma_h : 0;
        for (int y0 = 0; y0 < m_height; y0 += bandRows) {
            const int y1 = std::min(m_height, y0 + bandRows);
            const int in0 = std::max(0, y0 - kMargin);
            const int inRows = std::min(m_height, y1 + kMargin) - in0;
            SwsContext* sws = BandScaler(inRows, srcLayout, dstLayout, srcFull);
            if (!sws)
                return LumoReader::kErrorDecode;
            const uint8_t* rows[4] = {};
            for (int p = 0; p < 4 && frame.data[p]; ++p) {
                const bool palette = p == 1 && (src->flags & AV_PIX_FMT_FLAG_PAL);
                const int srcShift = p == 1 || p == 2 ? src->log2_chroma_h : 0;
                rows[p] = palette ? frame.data[p]
                                  : frame.data[p] + static_cast<std::ptrdiff_t>(frame.linesize[p]) * (in0 >> srcShift);
            }
            if (sws_scale(sws, rows, frame.linesize, 0, inRows, m_band->data, m_band->linesize) <= 0)
                return LumoReader::kErrorDecode;
            const int ret = WriteRows(m_band->data[plane] + static_cast<std::ptrdiff_t>(m_band->linesize[plane])
                                          * ((y0 - in0) >> shift),
                m_band->linesize[plane], plane, AV_CEIL_RSHIFT(y1, shift) - (y0 >> shift));
            if (ret != LumoReader::kOk)
                return ret;
        }
    }
    return LumoReader::kOk;
}

// One scaler per band height: all inner bands share one.
SwsContext* MediaConversion::BandScaler(int rows, AVPixelFormat srcLayout, AVPixelFormat dstLayout, bool srcFull)
{
    for (const auto& scaler : m_bandScalers)
        if (scaler.first == rows)
            return scaler.second.get();
    std::unique_ptr<SwsContext, SwsFreer> sws(MakeScaler(m_width, rows, srcLayout, rows, dstLayout, srcFull));
    if (!sws)
        return nullptr;
    m_bandScalers.emplace_back(rows, std::move(sws));
    return m_bandScalers.back().second.get();
}

// A picture of the output width in `layout`, `height` rows tall.
bool MediaConversion::AllocateOutputFrame(std::unique_ptr<AVFrame, FrameFreer>& frame, AVPixelFormat layout,
    int height) const
{
    frame.reset(av_frame_alloc());
    if (!frame)
        return false;
    frame->format = layout;
    frame->width = m_width;
    frame->height = height;
    return av_frame_get_buffer(frame.get(), 0) >= 0;
}

}
