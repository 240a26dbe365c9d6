#include "yuv/RawFrameSource.h"

#include "yuv/YuvGuess.h"

namespace lumo {

RawFrameSource::RawFrameSource(const LumoYuvReader& reader) : reader_(reader), frameSize_(reader.GetFrameSize()) {}

RawFrameSource::RawFrameSource(const std::string& path, int width, int height, const std::string& type)
    : RawFrameSource(LumoYuvReader(path, width, height, type))
{
}

std::unique_ptr<FrameSource> RawFrameSource::Clone() const
{
    return std::make_unique<RawFrameSource>(*this);
}

double RawFrameSource::FrameRate() const
{
    const YuvGuess guess = GuessFile(reader_.Path());
    return guess.isY4m && guess.fpsFrom == GuessSource::Header ? guess.fps : 0.0;
}

bool RawFrameSource::ReadFrame(int index, uint8_t* dst, const CancelToken* cancel)
{
    if (!dst || index < 0 || frameSize_ <= 0 || IsCancelled(cancel))
        return false;
    int64_t got = 0;
    return reader_.ReadFrameRaw(dst, &got, static_cast<int64_t>(index) * frameSize_) && got > 0;
}

bool RawFrameSource::ReadPlanes(int index, uint8_t* dst, const CancelToken* cancel)
{
    if (!dst || index < 0 || frameSize_ <= 0 || IsCancelled(cancel))
        return false;
    int64_t got = 0;
    return reader_.ReadFrameYUV444(dst, &got, static_cast<int64_t>(index) * frameSize_) && got > 0;
}

bool RawFrameSource::ReadPlanes(int index, uint16_t* dst, const CancelToken* cancel)
{
    if (!dst || index < 0 || frameSize_ <= 0 || IsCancelled(cancel))
        return false;
    int64_t got = 0;
    return reader_.ReadFrameYUV444Native(dst, &got, static_cast<int64_t>(index) * frameSize_) && got > 0;
}

std::unique_ptr<FrameSource> OpenFrameSource(const LumoYuvReader& reader)
{
    return std::make_unique<RawFrameSource>(reader);
}

} // namespace lumo
