#pragma once
#include <memory>
#include <string>

struct AVFormatContext;
struct AVInputFormat;
struct AVIOContext;

namespace lumo {

// The largest frame side the program can show; larger pictures and videos
// are refused before a frame is decoded.
constexpr int kMaxMediaSide = 16384;

// Whether a demuxer reads nothing but the one file it is given. Playlists,
// concatenation lists, manifests and picture sequences by pattern open
// further files or addresses and are not on the list; neither is anything
// not known to be safe.
bool ReadsOnlyItsOwnFile(const AVInputFormat* format);
// Whether a demuxer's input names other files or addresses (a playlist, a
// concatenation list, a manifest), for the message of a refusal.
bool NamesOtherFiles(const AVInputFormat* format);

// A local media file opened for demuxing under one policy, for every use
// of encoded media: only a regular file, read through its own descriptor
// (the name is never taken as an address), by a demuxer that reads only
// that file (ReadsOnlyItsOwnFile; any attempt to open another file fails
// too), and with a first video stream no larger than kMaxMediaSide per side.
class MediaInput {
public:
    MediaInput() = default;
    ~MediaInput();
    MediaInput(const MediaInput&) = delete;
    MediaInput& operator=(const MediaInput&) = delete;

    // Opens, probes and finds the first video stream. Returns a
    // LumoReader::Result: kErrorNamesOtherFiles for a playlist or another
    // demuxer that would open more than this file, kErrorTooLarge for a
    // picture or video over kMaxMediaSide, both before any frame is decoded.
    int Open(const std::string& path);
    // The same, but the video stream is the one av_find_best_stream picks,
    // never an attached picture (cover art), as the ffmpeg tool reads it.
    int OpenBestStream(const std::string& path);

    // Valid after a successful Open, owned by this object.
    AVFormatContext* Format() const { return m_format; }
    int VideoStream() const { return m_stream; }

private:
    int Probe(const std::string& path);
    int OpenWith(const std::string& path, bool best);
    int FindVideoStream(bool best);

    int m_fd = -1;
    AVIOContext* m_io = nullptr;
    AVFormatContext* m_format = nullptr;
    int m_stream = -1;
};

}
