#pragma once

#include <cstdint>
#include <string>

#include "cli/OptionValues.h"
#include "yuv/FrameSource.h"
#include "yuv/LumoYuvReader.h"

#include <memory>

namespace lumo::cli {

// The size of the regular file at `path`. Anything else (missing, a
// folder, a FIFO, a device) throws CliError naming it `name`, without
// waiting for a FIFO's writer.
int64_t RequireRegularFile(const std::string& path, const std::string& name);

// A raw YUV, Y4M or encoded video file named on the command line, checked
// before any frame is read. Frames are read through Source(), whatever the
// file is; an encoded file's description is its path and its stream's
// size and layout.
class RawInput {
public:
    // Throws CliError when the file cannot be read or its frame size is not
    // positive; `label` names it in messages ("A", "B" or empty).
    RawInput(const std::string& path, FrameSize size, const std::string& layout, const std::string& label);

    // The description of the file, and its frames.
    const LumoYuvReader& Reader() const { return reader_; }
    const std::shared_ptr<FrameSource>& Source() const { return source_; }
    int64_t FrameBytes() const { return frameBytes_; }
    int64_t FileBytes() const { return fileBytes_; }
    // Bytes of frame data: the file for a raw file, the frames without
    // their headers for a Y4M file, the decoded frames of an encoded one.
    int64_t DataBytes() const { return dataBytes_; }
    int FrameCount() const { return frameCount_; }
    // Bytes of the last frame when it is shorter than a frame, else 0.
    int64_t PartialBytes() const { return frameBytes_ > 0 ? dataBytes_ % frameBytes_ : 0; }
    // Throws CliError unless 0 <= frame < FrameCount().
    void RequireFrame(int frame) const;

private:
    std::string Name() const;

    LumoYuvReader reader_;
    std::shared_ptr<FrameSource> source_;
    std::string label_;
    int64_t frameBytes_ = 0;
    int64_t fileBytes_ = 0;
    int64_t dataBytes_ = 0;
    int frameCount_ = 0;
};

} // namespace lumo::cli
