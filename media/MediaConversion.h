#pragma once
#include "media/LumoReader.h"
#include "media/MediaInput.h"
#include "media/RawYuvFileWriter.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
}

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace lumo {

// FFmpeg's layout of what LumoReader writes for a Lumer::LumerAVPixelFormat
// code; yuv420p for any other code.
AVPixelFormat LayoutOfCode(int code);

// One run of LumoReader::Read2File: its own demuxer, decoder and scaler, so
// runs on different threads share nothing.
class MediaConversion {
public:
    // Frames of more output bytes than this are converted in bands of rows
    // (tests make it small to compare both ways).
    static constexpr std::int64_t kBandBytes = std::int64_t{64} << 20;

    MediaConversion(const std::string& input, const std::string& output, std::int64_t bandBytes = kBandBytes)
        : m_input(input), m_writer(output), m_bandBytes(bandBytes) {}
    MediaConversion(const std::string& input, int outputFd)
        : m_input(input), m_writer(outputFd) {}
    ~MediaConversion();
    MediaConversion(const MediaConversion&) = delete;
    MediaConversion& operator=(const MediaConversion&) = delete;

    // Returns a LumoReader::Result; the output exists only after success.
    int Run();

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    Lumer::LumerAVPixelFormat Code() const { return m_code; }

private:
    struct CodecContextFreer {
        void operator()(AVCodecContext* ctx) const;
    };
    struct FrameFreer {
        void operator()(AVFrame* frame) const;
    };
    struct SwsFreer {
        void operator()(SwsContext* ctx) const;
    };

    int OpenDecoder();
    int SendPacket(const AVPacket* packet);
    int ReceiveFrames();
    int StartOutput(const AVFrame& frame);
    int WriteFrame(const AVFrame& frame);
    int ConvertFrame(const AVFrame& frame);
    int ConvertInBands(const AVFrame& frame, AVPixelFormat srcLayout, AVPixelFormat dstLayout);
    SwsContext* MakeScaler(int width, int height, AVPixelFormat srcLayout, int dstHeight, AVPixelFormat dstLayout,
        bool srcFull) const;
    SwsContext* BandScaler(int rows, AVPixelFormat srcLayout, AVPixelFormat dstLayout, bool srcFull);
    bool AllocateOutputFrame(std::unique_ptr<AVFrame, FrameFreer>& frame, AVPixelFormat layout, int height) const;
    int WritePlane(uint8_t* const data[4], const int linesize[4], int plane);
    int WriteRows(const uint8_t* data, int linesize, int plane, int rows);
    int Flush();

    std::string m_input;
    RawYuvFileWriter m_writer;
    std::int64_t m_bandBytes = kBandBytes;

    MediaInput m_media;
    std::unique_ptr<AVCodecContext, CodecContextFreer> m_decoder;
    std::unique_ptr<AVFrame, FrameFreer> m_frame;

    // Output geometry, fixed by the first frame.
    bool m_started = false;
    int m_width = 0;
    int m_height = 0;
    AVPixelFormat m_outLayout = AV_PIX_FMT_NONE;
    Lumer::LumerAVPixelFormat m_code = Lumer::LUMER_PIX_FMT_YUV420P;
    bool m_alwaysConvert = false;
    bool m_outFullRange = false;
    std::int64_t m_frameBytes = 0;
    std::vector<std::uint8_t> m_chunk; // output not yet written, at most kChunkBytes
    std::int64_t m_frameCount = 0;

    // Conversion path, set up on first use.
    std::unique_ptr<SwsContext, SwsFreer> m_sws;
    std::unique_ptr<AVFrame, FrameFreer> m_scaled;
    int m_swsFlags = 0;
    // Band conversion: scalers by input rows, and one band of output.
    std::vector<std::pair<int, std::unique_ptr<SwsContext, SwsFreer>>> m_bandScalers;
    std::unique_ptr<AVFrame, FrameFreer> m_band;
    AVPixelFormat m_swsSrcLayout = AV_PIX_FMT_NONE;
    int m_swsSrcWidth = 0;
    int m_swsSrcHeight = 0;
    bool m_swsSrcFullRange = false;
};

}
