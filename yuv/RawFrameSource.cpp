#include "yuv/RawFrameSource.h"

#include <atomic>
#include <cctype>
#include <list>
#include <mutex>

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

bool RawFrameSource::ReadFrameAndPlanes(int index, uint8_t* stored, uint8_t* planes, const CancelToken* cancel)
{
    if (!stored || !planes || index < 0 || frameSize_ <= 0 || IsCancelled(cancel))
        return false;
    int64_t got = 0;
    return reader_.ReadFrameYUV444AndRaw(planes, stored, &got, static_cast<int64_t>(index) * frameSize_) && got > 0;
}

namespace {

std::atomic<EncodedOpener> g_encodedOpener{nullptr};

// An encoded file nothing can decode: no frames, every read fails.
class UnreadableSource : public FrameSource {
public:
    explicit UnreadableSource(const LumoYuvReader& reader) : reader_(reader) {}
    std::unique_ptr<FrameSource> Clone() const override { return std::make_unique<UnreadableSource>(reader_); }
    const std::string& Path() const override { return reader_.Path(); }
    int Width() const override { return reader_.Width(); }
    int Height() const override { return reader_.Height(); }
    const std::string& Type() const override { return reader_.Type(); }
    int BitDepth() const override { return reader_.BitDepth(); }
    int64_t FrameSize() const override { return reader_.GetFrameSize(); }
    int FrameCount() const override { return -1; }
    bool ReadFrame(int, uint8_t*, const CancelToken*) override { return false; }

private:
    LumoYuvReader reader_;
};

} // namespace

void SetEncodedOpener(EncodedOpener opener)
{
    g_encodedOpener.store(opener);
}

bool CanOpenEncoded()
{
    return g_encodedOpener.load() != nullptr;
}

std::unique_ptr<FrameSource> OpenEncodedSource(const std::string& path, int* error)
{
    const EncodedOpener opener = g_encodedOpener.load();
    return opener ? opener(path, error) : nullptr;
}

namespace {

std::mutex g_idleMutex;
// Most recently returned first.
std::list<std::unique_ptr<FrameSource>> g_idle;

} // namespace

std::unique_ptr<FrameSource> BorrowEncodedSource(const std::string& path, int* error)
{
    {
        std::lock_guard<std::mutex> lock(g_idleMutex);
        for (auto it = g_idle.begin(); it != g_idle.end(); ++it)
            if ((*it)->Path() == path) {
                std::unique_ptr<FrameSource> source = std::move(*it);
                g_idle.erase(it);
                if (error)
                    *error = 0;
                return source;
            }
    }
    return OpenEncodedSource(path, error);
}

void ReturnEncodedSource(std::unique_ptr<FrameSource> source)
{
    if (!source)
        return;
    std::list<std::unique_ptr<FrameSource>> dropped;
    {
        std::lock_guard<std::mutex> lock(g_idleMutex);
        g_idle.push_front(std::move(source));
        while (g_idle.size() > kIdleEncodedSources) {
            dropped.push_back(std::move(g_idle.back()));
            g_idle.pop_back();
        }
    }
    // Decoders close outside the lock.
}

std::vector<int> UnreadableEncodedFrames(const std::string& path)
{
    if (!NamesEncodedVideo(path) || !CanOpenEncoded())
        return {};
    std::unique_ptr<FrameSource> source = BorrowEncodedSource(path);
    std::vector<int> frames = source ? source->UnreadableFrames() : std::vector<int>();
    ReturnEncodedSource(std::move(source));
    return frames;
}

bool EncodedCountIsExact(const std::string& path)
{
    if (!NamesEncodedVideo(path) || !CanOpenEncoded())
        return true;
    std::unique_ptr<FrameSource> source = BorrowEncodedSource(path);
    const bool exact = !source || source->CountIsExact();
    ReturnEncodedSource(std::move(source));
    return exact;
}

void ReleaseIdleEncodedSources()
{
    std::list<std::unique_ptr<FrameSource>> dropped;
    std::lock_guard<std::mutex> lock(g_idleMutex);
    dropped.swap(g_idle);
}

bool NamesEncodedVideo(const std::string& path)
{
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos)
        return false;
    std::string ext = path.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* known : {"mp4", "m4v", "mkv", "mov", "avi", "webm", "ivf", "obu", "264", "h264", "avc", "265",
                              "h265", "hevc", "266", "h266", "vvc", "ts", "m2ts", "mts", "flv", "mpg", "mpeg"})
        if (ext == known)
            return true;
    return false;
}

std::unique_ptr<FrameSource> OpenFrameSource(const LumoYuvReader& reader)
{
    if (NamesEncodedVideo(reader.Path())) {
        if (auto source = OpenEncodedSource(reader.Path()))
            return source;
        return std::make_unique<UnreadableSource>(reader);
    }
    return std::make_unique<RawFrameSource>(reader);
}

} // namespace lumo
