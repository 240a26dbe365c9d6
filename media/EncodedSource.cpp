#include "media/EncodedSource.h"

#include "media/EncodedFrameCache.h"
#include "media/EncodedLayout.h"
#include "media/LumoReader.h"
#include "media/MediaInput.h"
#include "yuv/RawFrameSource.h"
#include "yuv/Y4mIndex.h"
#include "yuv/YuvTypeTable.h"

#include <sys/mman.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <list>
#include <map>
#include <new>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <tuple>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avstring.h>
#include <libavutil/pixdesc.h>
}

namespace lumo {

namespace {

constexpr int64_t kNoPts = AV_NOPTS_VALUE;

// Frames decoded on the way to a frame asked for out of order that are
// kept, unless stepping back.
constexpr int kKeepOnJump = 16;

// Keyframes tried before decoding from the start.
constexpr int kKeyframeAttempts = 2;

// A decoder that fails this many times in a row has nothing left to give.
constexpr int kMaxDecodeErrors = 64;

// Containers that store a presentation time for every packet; in raw
// streams and MPEG program/transport streams the times are guessed or
// missing, and only decoding tells the frames.
bool StoresTimestamps(const AVInputFormat* format)
{
    static const char* const kNames[] = {"mov", "matroska", "ivf", "flv", "nut"};
    for (const char* name : kNames)
        if (av_match_name(name, format->name))
            return true;
    return false;
}

struct Packet {
    int64_t pts = kNoPts;
    int64_t dts = kNoPts;
    int64_t pos = -1;
    bool key = false;
    bool discard = false;
};

// What reading the packets of one file version found; never changed after.
struct PacketIndex {
    std::vector<Packet> packets;  // decode order
    std::vector<int> keyframes;   // packet numbers of the keyframes
    // (file position, packet number) sorted by position; empty unless every
    // packet has a position of its own.
    std::vector<std::pair<int64_t, int>> byPos;
    bool timestampsGiveFrames = false;
    // With timestampsGiveFrames: presentation times of the frames, sorted,
    // and the packet of each frame.
    std::vector<int64_t> framePts;
    std::vector<int> framePacket;

    // The packet at file position `pos`, -1 for none.
    int PacketAt(int64_t pos) const
    {
        const auto it = std::lower_bound(byPos.begin(), byPos.end(), std::make_pair(pos, INT32_MIN));
        return it != byPos.end() && it->first == pos ? it->second : -1;
    }

    int64_t Bytes() const
    {
        return static_cast<int64_t>(packets.capacity() * sizeof(Packet) + keyframes.capacity() * sizeof(int)
            + byPos.capacity() * sizeof(byPos[0]) + framePts.capacity() * sizeof(int64_t)
            + framePacket.capacity() * sizeof(int));
    }
};

struct FreeCodec {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FreePacket {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FreeFrame {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};

int DecoderThreads()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(cores, 1u, 16u));
}

std::unique_ptr<AVCodecContext, FreeCodec> OpenCodec(const AVStream* stream)
{
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec)
        return nullptr;
    std::unique_ptr<AVCodecContext, FreeCodec> ctx(avcodec_alloc_context3(codec));
    if (!ctx || avcodec_parameters_to_context(ctx.get(), stream->codecpar) < 0)
        return nullptr;
    ctx->pkt_timebase = stream->time_base;
    ctx->max_pixels = static_cast<int64_t>(kMaxMediaSide) * kMaxMediaSide;
    // At most one thread per core. Above this many pixels each frame thread
    // would hold frames of its own (with 8 threads a 4K HEVC decoder takes
    // well over the 200 MB it takes with slice threads).
    constexpr int64_t kFrameThreadPixels = int64_t(2048) * 1152;
    ctx->thread_count = DecoderThreads();
    ctx->thread_type = int64_t(ctx->width) * ctx->height > kFrameThreadPixels ? FF_THREAD_SLICE
                                                                              : FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0)
        return nullptr;
    return ctx;
}

// The time that names a decoded frame: its packet's presentation time as
// the decoder passes it on, else FFmpeg's best guess.
int64_t FrameTime(const AVFrame& frame)
{
    return frame.pts != kNoPts ? frame.pts : frame.best_effort_timestamp;
}

std::shared_ptr<PacketIndex> BuildIndex(MediaInput& input, int64_t* streamBytes, const CancelToken* cancel)
{
    auto index = std::make_shared<PacketIndex>();
    std::unique_ptr<AVPacket, FreePacket> pkt(av_packet_alloc());
    if (!pkt)
        return nullptr;
    AVFormatContext* fmt = input.Format();
    bool uniquePos = true;
    int64_t bytes = 0;
    while (av_read_frame(fmt, pkt.get()) >= 0) {
        if (IsCancelled(cancel) || LumoReader::StopRequested())
            return nullptr;
        if (pkt->stream_index == input.VideoStream()) {
            Packet p;
            p.pts = pkt->pts;
            p.dts = pkt->dts;
            p.pos = pkt->pos;
            p.key = (pkt->flags & AV_PKT_FLAG_KEY) != 0;
            p.discard = (pkt->flags & AV_PKT_FLAG_DISCARD) != 0;
            bytes += pkt->size;
            const int n = static_cast<int>(index->packets.size());
            if (p.key)
                index->keyframes.push_back(n);
            if (p.pos < 0)
                uniquePos = false;
            else if (uniquePos)
                index->byPos.emplace_back(p.pos, n);
            index->packets.push_back(p);
        }
        av_packet_unref(pkt.get());
    }
    std::sort(index->byPos.begin(), index->byPos.end());
    for (size_t i = 1; uniquePos && i < index->byPos.size(); ++i)
        uniquePos = index->byPos[i].first != index->byPos[i - 1].first;
    if (!uniquePos)
        std::vector<std::pair<int64_t, int>>().swap(index->byPos);
    *streamBytes = bytes;

    // Whether the frames are the packets' presentation times: each shown
    // packet has a time of its own, and decoding starts on a keyframe with
    // no picture shown before it.
    bool ok = StoresTimestamps(fmt->iformat) && uniquePos;
    const auto& ps = index->packets;
    int first = -1;
    for (int i = 0; ok && i < static_cast<int>(ps.size()); ++i) {
        if (ps[i].discard)
            continue;
        if (ps[i].pts == kNoPts)
            ok = false;
        else if (first < 0)
            first = i;
    }
    // Decoding from the start must give every packet shown: it starts on a
    // keyframe, and nothing shown comes before that keyframe (a leading
    // picture with nothing to lean on).
    ok = ok && first >= 0 && ps[0].key && ps[0].pts != kNoPts;
    if (ok) {
        std::vector<std::pair<int64_t, int>> shown;
        for (int i = 0; i < static_cast<int>(ps.size()); ++i)
            if (!ps[i].discard)
                shown.emplace_back(ps[i].pts, i);
        std::sort(shown.begin(), shown.end());
        for (size_t i = 1; ok && i < shown.size(); ++i)
            ok = shown[i].first != shown[i - 1].first;
        ok = ok && shown.front().first >= ps[0].pts;
        if (ok) {
            for (const auto& s : shown) {
                index->framePts.push_back(s.first);
                index->framePacket.push_back(s.second);
            }
        }
    }
    index->timestampsGiveFrames = ok;
    return index;
}

struct FileKey {
    std::string path;
    dev_t dev;
    ino_t ino;
    off_t size;
    int64_t mtimeNs;
    bool operator<(const FileKey& o) const
    {
        return std::tie(path, dev, ino, size, mtimeNs) < std::tie(o.path, o.dev, o.ino, o.size, o.mtimeNs);
    }
};

// What opening a file version finds: kept for the last few files opened,
// so that opening one again reads no packet.
struct StreamFacts {
    std::shared_ptr<const PacketIndex> index;
    OutputPlan plan;
    EncodedStreamInfo info;
    std::string type;
    int width = 0;
    int height = 0;
    int depth = 8;
    int64_t frameSize = 0;
    // The decode in the background, once finished.
    bool counted = false;
    std::shared_ptr<const std::vector<int64_t>> countedPts;
    bool countedPtsUsable = false;
};

} // namespace

// Everything the readers of one file version share.
struct EncodedSource::Shared : StreamFacts {
    FileKey key;
    std::string path;
    EncodedFrameCache cache;

    // Frames known not to decode, and the result of the decode in the
    // background where only decoding gives the frames.
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::set<int> failed;
    int frames = 0; // known so far
    bool countDone = false;
    CancelToken stop;
    std::thread counter;
    // The readers' decoder, used by one reader at a time.
    std::timed_mutex decoding;
    std::shared_ptr<EncodedSource::Decoder> decoder;

    explicit Shared(int64_t cacheBytes) : cache(cacheBytes) {}
    ~Shared()
    {
        stop.Cancel();
        if (counter.joinable())
            counter.join();
    }

    // The frame times to seek by, null when frames are read only by decoding
    // forward from the start.
    const std::vector<int64_t>* FrameTimes() const
    {
        if (index->timestampsGiveFrames)
            return &index->framePts;
        std::lock_guard<std::mutex> lock(mutex);
        return countDone && countedPts && countedPtsUsable ? countedPts.get() : nullptr;
    }

    void CountInBackground();
};

namespace {
void RememberCount(const FileKey& key, std::shared_ptr<const std::vector<int64_t>> pts, bool usable);
}

// One reader's demuxer and decoder, and where its decoding stands.
struct EncodedSource::Decoder {
    std::unique_ptr<MediaInput> input;
    std::unique_ptr<AVCodecContext, FreeCodec> codec;
    std::unique_ptr<AVPacket, FreePacket> packet{av_packet_alloc()};
    std::unique_ptr<AVFrame, FreeFrame> frame{av_frame_alloc()};
    FrameConverter converter;
    bool open = false;
    int64_t decoded = 0; // frames out of this reader's decoders
    int keepBefore = 0;   // frames decoded on the way to keep, counted back from the one asked for

    // Decoding state: where the next packet read comes from, and what the
    // next frames out of the decoder are.
    enum class Mode { None, Counting, Timed };
    Mode mode = Mode::None;
    bool atStart = false;  // nothing read since the file was opened
    bool pending = false;  // `packet` holds a packet not yet sent
    bool drained = false;  // end of stream sent to the decoder
    int produced = 0;      // Counting: frames out of the decoder so far
    int expected = 0;      // Timed: the next frame the decoder must give
    int64_t leadBefore = kNoPts; // Timed: frames shown before this time are ignored
    bool fromStart = false;      // Timed: decoding began at the first packet

    bool Open(const Shared& shared)
    {
        open = false;
        codec.reset();
        input = std::make_unique<MediaInput>();
        if (input->OpenBestStream(shared.path) != LumoReader::kOk)
            return false;
        codec = OpenCodec(input->Format()->streams[input->VideoStream()]);
        open = codec && packet && frame;
        mode = Mode::None;
        atStart = open;
        pending = false;
        drained = false;
        return open;
    }
};

namespace {

bool SeekToPacket(const PacketIndex& index, EncodedSource::Decoder& d, int target);

// Takes over `input`, rewound to the first packet, for decoding.
void AdoptInput(const EncodedSource::Shared& shared, EncodedSource::Decoder& d, std::unique_ptr<MediaInput> input)
{
    d.input = std::move(input);
    d.codec = OpenCodec(d.input->Format()->streams[d.input->VideoStream()]);
    d.open = d.codec && d.packet && d.frame;
    d.open = d.open && SeekToPacket(*shared.index, d, 0);
    d.atStart = d.open;
    if (!d.open)
        d.input.reset();
}

std::mutex g_sharedMutex;
// The sources open now, by file version.
std::map<FileKey, std::weak_ptr<EncodedSource::Shared>> g_shared;
// The facts of the files opened last, most recent first: at most this
// many files, and beyond the newest, at most this many bytes of indexes.
constexpr size_t kRecentFiles = 8;
constexpr int64_t kRecentBytes = int64_t{32} << 20;
std::list<std::pair<FileKey, StreamFacts>> g_recent;

void Remember(const FileKey& key, const StreamFacts& facts)
{
    std::lock_guard<std::mutex> lock(g_sharedMutex);
    g_recent.remove_if([&](const auto& e) { return !(e.first < key) && !(key < e.first); });
    g_recent.emplace_front(key, facts);
    int64_t bytes = 0;
    size_t kept = 0;
    for (auto it = g_recent.begin(); it != g_recent.end(); ++kept) {
        bytes += it->second.index->Bytes();
        if (kept > 0 && (kept >= kRecentFiles || bytes > kRecentBytes))
            it = g_recent.erase(it);
        else
            ++it;
    }
}

void RememberCount(const FileKey& key, std::shared_ptr<const std::vector<int64_t>> pts, bool usable)
{
    std::lock_guard<std::mutex> lock(g_sharedMutex);
    for (auto& e : g_recent)
        if (!(e.first < key) && !(key < e.first)) {
            e.second.counted = true;
            e.second.countedPts = pts;
            e.second.countedPtsUsable = usable;
        }
}

} // namespace

void EncodedSource::Shared::CountInBackground()
{
    counter = std::thread([this] {
        Decoder d;
        if (!d.Open(*this)) {
            std::lock_guard<std::mutex> lock(mutex);
            countDone = true; // nothing to count
            changed.notify_all();
            return;
        }
        std::vector<int64_t> times;
        bool usable = true;
        int errors = 0;
        auto take = [&]() {
            for (;;) {
                const int r = avcodec_receive_frame(d.codec.get(), d.frame.get());
                if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
                    return;
                if (r < 0) {
                    if (++errors > kMaxDecodeErrors)
                        return;
                    continue;
                }
                errors = 0;
                const int64_t t = FrameTime(*d.frame);
                usable = usable && t != kNoPts && (times.empty() || t > times.back());
                times.push_back(t);
                av_frame_unref(d.frame.get());
                std::lock_guard<std::mutex> lock(mutex);
                frames = static_cast<int>(times.size());
                changed.notify_all();
            }
        };
        AVFormatContext* fmt = d.input->Format();
        while (!stop.Cancelled() && av_read_frame(fmt, d.packet.get()) >= 0) {
            if (d.packet->stream_index == d.input->VideoStream()) {
                for (int tries = 0; tries < kMaxDecodeErrors; ++tries) {
                    const int sent = avcodec_send_packet(d.codec.get(), d.packet.get());
                    take();
                    if (sent != AVERROR(EAGAIN))
                        break;
                }
            }
            av_packet_unref(d.packet.get());
        }
        if (!stop.Cancelled()) {
            avcodec_send_packet(d.codec.get(), nullptr);
            take();
        }
        if (stop.Cancelled())
            return;
        auto pts = std::make_shared<const std::vector<int64_t>>(std::move(times));
        RememberCount(key, pts, usable);
        std::lock_guard<std::mutex> lock(mutex);
        countedPts = pts;
        countedPtsUsable = usable;
        counted = true;
        frames = static_cast<int>(pts->size());
        countDone = true;
        changed.notify_all();
    });
}

EncodedSource::EncodedSource(std::shared_ptr<Shared> shared)
    : shared_(std::move(shared))
{
}

EncodedSource::~EncodedSource() = default;

namespace {

// Opens `path` and reads its packets; returns a LumoReader::Result.
int ReadFacts(MediaInput& input, const std::string& path, const CancelToken* cancel, StreamFacts* out)
{
    const int opened = input.OpenBestStream(path);
    if (opened != LumoReader::kOk)
        return opened;
    StreamFacts& facts = *out;
    const AVFormatContext* fmt = input.Format();
    const AVStream* stream = fmt->streams[input.VideoStream()];
    const AVCodecParameters* par = stream->codecpar;
    const auto format = static_cast<AVPixelFormat>(par->format);
    if (par->width <= 0 || par->height <= 0 || format == AV_PIX_FMT_NONE)
        return LumoReader::kErrorDecode;
    facts.width = par->width;
    facts.height = par->height;
    facts.plan = PlanOutput(format, par->width, par->height);
    facts.type = facts.plan.type;
    const YuvTypeInfo* layout = YuvTypeTable::Instance().Find(facts.type);
    facts.depth = layout ? layout->bitDepth : 8;
    facts.frameSize = GetFrameSize(facts.width, facts.height, facts.type);

    EncodedStreamInfo& info = facts.info;
    info.container = fmt->iformat->name;
    info.codec = avcodec_get_name(par->codec_id);
    const char* pixName = av_get_pix_fmt_name(format);
    info.pixelFormat = pixName ? pixName : "";
    info.converted = facts.plan.kind != OutputPlan::Kind::Copy;
    info.lossy = facts.plan.lossy;
    info.fullRange = facts.plan.fullRange || par->color_range == AVCOL_RANGE_JPEG;
    AVRational rate = stream->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = stream->r_frame_rate;
    info.fps = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0;

    auto index = BuildIndex(input, &info.streamBytes, cancel);
    if (!index)
        return LumoReader::kErrorStopped;
    if (index->packets.empty())
        return LumoReader::kErrorNoFrames;
    facts.index = index;
    return LumoReader::kOk;
}

} // namespace

std::unique_ptr<EncodedSource> EncodedSource::Open(const std::string& path, int* error, int64_t cacheBytes,
    const CancelToken* cancel)
{
    int dummy = 0;
    int& err = error ? *error : dummy;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        err = LumoReader::kErrorOpen;
        return nullptr;
    }
    const FileKey key{path, st.st_dev, st.st_ino, st.st_size,
        int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
    std::unique_ptr<MediaInput> input;
    StreamFacts facts;
    bool known = false;
    {
        std::lock_guard<std::mutex> lock(g_sharedMutex);
        for (auto it = g_shared.begin(); it != g_shared.end();)
            it = it->second.expired() ? g_shared.erase(it) : std::next(it);
        auto it = g_shared.find(key);
        if (it != g_shared.end())
            if (auto shared = it->second.lock()) {
                err = LumoReader::kOk;
                return std::unique_ptr<EncodedSource>(new EncodedSource(shared));
            }
        for (const auto& e : g_recent)
            if (!(e.first < key) && !(key < e.first)) {
                facts = e.second;
                known = true;
            }
    }
    if (!known) {
        input = std::make_unique<MediaInput>();
        err = ReadFacts(*input, path, cancel, &facts);
        if (err != LumoReader::kOk)
            return nullptr;
        Remember(key, facts);
    }

    auto shared = std::make_shared<Shared>(cacheBytes);
    static_cast<StreamFacts&>(*shared) = facts;
    shared->key = key;
    shared->path = path;
    if (shared->index->timestampsGiveFrames) {
        shared->countDone = true;
        shared->frames = static_cast<int>(shared->index->framePts.size());
    } else if (shared->counted) {
        shared->countDone = true;
        shared->frames = static_cast<int>(shared->countedPts->size());
    } else {
        shared->CountInBackground();
    }
    {
        std::lock_guard<std::mutex> lock(g_sharedMutex);
        g_shared[key] = shared;
    }
    err = LumoReader::kOk;
    // The decoder goes on with the demuxer that read the index.
    shared->decoder = std::make_shared<Decoder>();
    if (input)
        AdoptInput(*shared, *shared->decoder, std::move(input));
    return std::unique_ptr<EncodedSource>(new EncodedSource(shared));
}

std::unique_ptr<FrameSource> EncodedSource::Clone() const
{
    return std::unique_ptr<FrameSource>(new EncodedSource(shared_));
}

const std::string& EncodedSource::Path() const { return shared_->path; }
int EncodedSource::Width() const { return shared_->width; }
int EncodedSource::Height() const { return shared_->height; }
const std::string& EncodedSource::Type() const { return shared_->type; }
int EncodedSource::BitDepth() const { return shared_->depth; }
int64_t EncodedSource::FrameSize() const { return shared_->frameSize; }
double EncodedSource::FrameRate() const { return shared_->info.fps; }
const EncodedStreamInfo& EncodedSource::StreamInfo() const { return shared_->info; }
int64_t EncodedSource::CacheBytes() const { return shared_->cache.Bound(); }
int64_t EncodedSource::CachedBytes() const { return shared_->cache.UsedBytes(); }
int64_t EncodedSource::FramesDecoded() const { return decoded_; }

int EncodedSource::FrameCount() const
{
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->frames;
}

bool EncodedSource::CountIsExact() const
{
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->countDone;
}

int EncodedSource::ExactFrameCount(const CancelToken* cancel)
{
    std::unique_lock<std::mutex> lock(shared_->mutex);
    while (!shared_->countDone) {
        if (IsCancelled(cancel))
            return shared_->frames;
        shared_->changed.wait_for(lock, std::chrono::milliseconds(50));
    }
    return shared_->frames;
}

double EncodedSource::BitrateKbps(const CancelToken* cancel)
{
    const int frames = ExactFrameCount(cancel);
    const double fps = shared_->info.fps;
    if (frames <= 0 || fps <= 0)
        return 0;
    return double(shared_->info.streamBytes) * 8.0 / (frames / fps) / 1000.0;
}

std::vector<int> EncodedSource::FailedFrames() const
{
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return std::vector<int>(shared_->failed.begin(), shared_->failed.end());
}

namespace {

// The result of one attempt at a frame.
enum class Outcome { Found, Missing, Unsure, Stopped };

using Decoder = EncodedSource::Decoder;
using Mode = EncodedSource::Decoder::Mode;

// Reads the next packet of the video stream into d.packet; false at the end.
bool NextPacket(Decoder& d)
{
    if (d.pending) {
        d.pending = false;
        return true;
    }
    AVFormatContext* fmt = d.input->Format();
    for (;;) {
        if (av_read_frame(fmt, d.packet.get()) < 0)
            return false;
        if (d.packet->stream_index == d.input->VideoStream())
            return true;
        av_packet_unref(d.packet.get());
    }
}

enum class Next { Frame, End, Stopped };

// Decodes until the decoder gives a frame (into d.frame).
Next NextFrame(Decoder& d, const CancelToken* cancel)
{
    d.atStart = false;
    av_frame_unref(d.frame.get());
    int errors = 0;
    for (;;) {
        const int r = avcodec_receive_frame(d.codec.get(), d.frame.get());
        if (r == 0) {
            ++d.decoded;
            return Next::Frame;
        }
        if (r == AVERROR_EOF)
            return Next::End;
        if (r != AVERROR(EAGAIN)) {
            if (++errors > kMaxDecodeErrors)
                return Next::End;
            continue;
        }
        if (d.drained || ++errors > kMaxDecodeErrors)
            return Next::End;
        if (IsCancelled(cancel) || LumoReader::StopRequested())
            return Next::Stopped;
        if (!NextPacket(d)) {
            avcodec_send_packet(d.codec.get(), nullptr);
            d.drained = true;
            continue;
        }
        const int sent = avcodec_send_packet(d.codec.get(), d.packet.get());
        if (sent == AVERROR(EAGAIN)) {
            d.pending = true; // sent again once a frame has been taken
            continue;
        }
        av_packet_unref(d.packet.get());
        // A damaged packet is skipped; the decoder resumes at the next one.
        if (sent >= 0)
            errors = 0;
    }
}

// Puts the decoder at the first packet, reopening the file unless it is
// there already.
bool Restart(EncodedSource::Shared& shared, Decoder& d)
{
    if (d.open && d.atStart)
        return true;
    return d.Open(shared);
}

// Seeks so that the next packet read is packet `target` (a keyframe);
// false when the demuxer cannot be put exactly there.
bool SeekToPacket(const PacketIndex& index, Decoder& d, int target)
{
    if (index.byPos.empty() || !d.open)
        return false;
    const Packet& k = index.packets[target];
    AVFormatContext* fmt = d.input->Format();
    const int64_t times[] = {k.dts != kNoPts ? k.dts : k.pts, k.pts};
    for (int64_t ts : times) {
        if (ts == kNoPts)
            continue;
        d.atStart = false;
        d.pending = false;
        av_packet_unref(d.packet.get());
        if (av_seek_frame(fmt, d.input->VideoStream(), ts, AVSEEK_FLAG_BACKWARD) < 0)
            continue;
        // Where the seek landed, then forward to the keyframe.
        while (NextPacket(d)) {
            const int at = index.PacketAt(d.packet->pos);
            if (at == target) {
                d.pending = true;
                avcodec_flush_buffers(d.codec.get());
                d.drained = false;
                return true;
            }
            av_packet_unref(d.packet.get());
            if (at < 0 || at > target)
                break;
        }
    }
    d.mode = Mode::None;
    return false;
}

// A frame buffer, left uninitialised (the conversion writes every byte).
// Large ones are asked to sit on huge pages: filling a fresh frame then
// costs a few page faults instead of hundreds.
std::shared_ptr<uint8_t[]> AllocateFrame(size_t size)
{
    constexpr size_t kHugePage = size_t{2} << 20;
    if (size < kHugePage)
        return std::shared_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size]);
    void* p = nullptr;
    if (posix_memalign(&p, kHugePage, size) != 0)
        return nullptr;
    madvise(p, size / kHugePage * kHugePage, MADV_HUGEPAGE);
    return std::shared_ptr<uint8_t[]>(static_cast<uint8_t*>(p), [](uint8_t* q) { std::free(q); });
}

void MarkFailed(EncodedSource::Shared& shared, int from, int to)
{
    std::lock_guard<std::mutex> lock(shared.mutex);
    for (int i = from; i < to; ++i)
        shared.failed.insert(i);
}

// Keeps a decoded frame in the cache and, when it is the one asked for,
// copies it out.
bool Keep(EncodedSource::Shared& shared, Decoder& d, int frameIndex, int wanted, uint8_t* dst)
{
    const size_t size = static_cast<size_t>(shared.frameSize);
    if (frameIndex == wanted && !shared.cache.Holds(size))
        return d.converter.Convert(*d.frame, shared.plan, shared.width, shared.height, dst);
    std::shared_ptr<uint8_t[]> bytes = AllocateFrame(size);
    if (!bytes || !d.converter.Convert(*d.frame, shared.plan, shared.width, shared.height, bytes.get()))
        return false;
    if (frameIndex == wanted)
        std::memcpy(dst, bytes.get(), size);
    shared.cache.Put(frameIndex, std::move(bytes), size);
    return true;
}

// Once the decoded frame is known to be frame `at`: keeps it when it is
// wanted or on the way, and says whether the read is over.
bool Reached(EncodedSource::Shared& shared, Decoder& d, int at, int wanted, uint8_t* dst, Outcome* outcome)
{
    if (at > wanted) {
        *outcome = Outcome::Missing;
        return true;
    }
    if (at == wanted) {
        *outcome = Keep(shared, d, at, wanted, dst) ? Outcome::Found : Outcome::Missing;
        return true;
    }
    if (wanted - at <= d.keepBefore)
        Keep(shared, d, at, wanted, dst);
    return false;
}

// Frames numbered by the order the decoder gives them, from the start.
Outcome DecodeCounting(EncodedSource::Shared& shared, Decoder& d, int wanted, uint8_t* dst,
    const CancelToken* cancel)
{
    for (;;) {
        const Next next = NextFrame(d, cancel);
        if (next == Next::Stopped)
            return Outcome::Stopped;
        if (next == Next::End)
            return Outcome::Missing;
        const int at = d.produced++;
        Outcome outcome;
        if (Reached(shared, d, at, wanted, dst, &outcome))
            return outcome;
    }
}

// Frames named by their presentation times. From the start every frame is
// taken for what its time says; after a seek the frames must come exactly
// in order from the seek's first frame, or the attempt is unsure.
Outcome DecodeTimed(EncodedSource::Shared& shared, Decoder& d, const std::vector<int64_t>& times, int wanted,
    uint8_t* dst, const CancelToken* cancel)
{
    for (;;) {
        const Next next = NextFrame(d, cancel);
        if (next == Next::Stopped)
            return Outcome::Stopped;
        if (next == Next::End) {
            if (!d.fromStart)
                return Outcome::Unsure;
            MarkFailed(shared, d.expected, wanted + 1);
            return Outcome::Missing;
        }
        const int64_t t = FrameTime(*d.frame);
        if (t == kNoPts) {
            if (d.fromStart)
                continue;
            return Outcome::Unsure;
        }
        if (!d.fromStart && t < d.leadBefore)
            continue; // a leading picture of the keyframe sought
        const auto it = std::lower_bound(times.begin(), times.end(), t);
        const int at = static_cast<int>(it - times.begin());
        if (it == times.end() || *it != t) {
            if (d.fromStart)
                continue;
            return Outcome::Unsure;
        }
        if (d.fromStart) {
            if (at < d.expected)
                continue;
            if (at > d.expected)
                MarkFailed(shared, d.expected, std::min(at, wanted + 1));
        } else {
            const bool damaged = (d.frame->flags & AV_FRAME_FLAG_CORRUPT) || d.frame->decode_error_flags;
            if (at != d.expected || damaged)
                return Outcome::Unsure;
        }
        d.expected = at + 1;
        Outcome outcome;
        if (Reached(shared, d, at, wanted, dst, &outcome))
            return outcome;
    }
}

bool Finish(EncodedSource::Shared& shared, Decoder& d, Outcome outcome, int wanted)
{
    if (outcome == Outcome::Found)
        return true;
    d.mode = Mode::None;
    if (outcome == Outcome::Missing)
        MarkFailed(shared, wanted, wanted + 1);
    return false;
}

bool ReadCounting(EncodedSource::Shared& shared, Decoder& d, int wanted, uint8_t* dst, const CancelToken* cancel)
{
    if (d.mode != Mode::Counting || d.produced > wanted) {
        if (!Restart(shared, d))
            return false;
        d.mode = Mode::Counting;
        d.produced = 0;
    }
    const Outcome outcome = DecodeCounting(shared, d, wanted, dst, cancel);
    if (outcome == Outcome::Found)
        return true;
    d.mode = Mode::None;
    // Only the finished count says a frame is not there.
    std::lock_guard<std::mutex> lock(shared.mutex);
    if (outcome == Outcome::Missing && shared.countDone && wanted < shared.frames)
        shared.failed.insert(wanted);
    return false;
}

bool ReadTimed(EncodedSource::Shared& shared, Decoder& d, const std::vector<int64_t>& times, int wanted,
    uint8_t* dst, const CancelToken* cancel)
{
    const PacketIndex& index = *shared.index;
    if (wanted >= static_cast<int>(times.size()))
        return false;
    const int64_t pts = times[wanted];
    const int lastPacket = index.timestampsGiveFrames ? index.framePacket[wanted] : INT32_MAX;
    auto firstFrameOf = [&](int key) {
        return static_cast<int>(std::lower_bound(times.begin(), times.end(), index.packets[key].pts) - times.begin());
    };
    // Keyframes that may start the decode of the frame, latest first.
    std::vector<int> keys;
    for (auto it = index.keyframes.rbegin(); it != index.keyframes.rend() && keys.size() < kKeyframeAttempts; ++it) {
        const Packet& k = index.packets[*it];
        if (*it <= lastPacket && k.pts != kNoPts && k.pts <= pts)
            keys.push_back(*it);
    }

    // Going on from where the decoder stands, unless a keyframe is closer.
    if (d.open && d.mode == Mode::Timed && d.expected <= wanted
        && (keys.empty() || firstFrameOf(keys.front()) <= d.expected)) {
        const Outcome outcome = DecodeTimed(shared, d, times, wanted, dst, cancel);
        if (outcome == Outcome::Found || outcome == Outcome::Stopped || (outcome == Outcome::Missing && d.fromStart))
            return Finish(shared, d, outcome, wanted);
    }
    for (int key : keys) {
        if (key == 0 && d.open && d.atStart)
            break; // as cheap from the start, and certain
        if (!d.open && !d.Open(shared))
            return false;
        if (!SeekToPacket(index, d, key))
            continue;
        d.mode = Mode::Timed;
        d.fromStart = false;
        d.expected = firstFrameOf(key);
        d.leadBefore = index.packets[key].pts;
        const Outcome outcome = DecodeTimed(shared, d, times, wanted, dst, cancel);
        if (outcome != Outcome::Unsure)
            return Finish(shared, d, outcome, wanted);
    }
    if (!Restart(shared, d))
        return false;
    d.mode = Mode::Timed;
    d.fromStart = true;
    d.expected = 0;
    return Finish(shared, d, DecodeTimed(shared, d, times, wanted, dst, cancel), wanted);
}

} // namespace

bool EncodedSource::ReadFrame(int index, uint8_t* dst, const CancelToken* cancel)
{
    if (index < 0 || !dst || shared_->frameSize <= 0)
        return false;
    // Stepping back: every frame on the way is kept, for the steps to
    // come. A jump forward keeps only the few before the frame, since
    // filling the cache with a whole GOP costs as much as decoding it.
    const bool back = lastWanted_ >= 0 && index < lastWanted_;
    lastWanted_ = index;
    if (shared_->cache.Get(index, dst))
        return true;
    std::unique_lock<std::timed_mutex> lock(shared_->decoding, std::defer_lock);
    while (!lock.try_lock_for(std::chrono::milliseconds(20)))
        if (IsCancelled(cancel) || LumoReader::StopRequested())
            return false;
    // Another reader may have decoded it meanwhile.
    if (shared_->cache.Get(index, dst))
        return true;
    Decoder& d = *shared_->decoder;
    d.keepBefore = std::min(shared_->cache.Frames(shared_->frameSize), back ? INT32_MAX : kKeepOnJump);
    {
        std::lock_guard<std::mutex> facts(shared_->mutex);
        if (shared_->failed.count(index) || (shared_->countDone && index >= shared_->frames))
            return false;
    }
    const int64_t before = d.decoded;
    const std::vector<int64_t>* times = shared_->FrameTimes();
    const bool read = times ? ReadTimed(*shared_, d, *times, index, dst, cancel)
                            : ReadCounting(*shared_, d, index, dst, cancel);
    decoded_ += d.decoded - before;
    return read;
}

namespace {
std::atomic<int64_t> g_openerCacheBytes{EncodedSource::kDefaultCacheBytes};
}

std::unique_ptr<FrameSource> OpenEncodedFrameSource(const std::string& path, int* error)
{
    int dummy = 0;
    int& err = error ? *error : dummy;
    // Y4M has a reader of its own; nothing of it is indexed here.
    uint8_t head[16] = {};
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(head), sizeof head);
    if (StartsLikeY4m(head, static_cast<size_t>(in.gcount()))) {
        err = LumoReader::kErrorOpen;
        return nullptr;
    }
    auto source = EncodedSource::Open(path, &err, g_openerCacheBytes.load());
    // A single picture is no video to read in place.
    if (source) {
        const std::string& container = source->StreamInfo().container;
        const bool picture = container == "image2"
            || (container.size() > 5 && container.compare(container.size() - 5, 5, "_pipe") == 0);
        if (picture || av_match_name("yuv4mpegpipe", container.c_str())) {
            err = LumoReader::kErrorOpen;
            return nullptr;
        }
    }
    return source;
}

void InstallEncodedFrameSources(int64_t cacheBytes)
{
    g_openerCacheBytes.store(cacheBytes);
    SetEncodedOpener(&OpenEncodedFrameSource);
}

} // namespace lumo
