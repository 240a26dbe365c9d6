#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "iqa/FramePair.h"
#include "yuv/LumoYuvReader.h"

namespace lumo {

// Compares frames of two sources of equal size and depth on several
// threads, each frame pair through CompareFramePair. Results come back in
// frame order on the calling thread. At most `maxInFlight` frames are
// claimed ahead of the last one handed back, and each worker holds one frame
// pair at a time, so memory does not grow with the number of frames.
// Workers draw on the process's ThreadBudget (iqa/Threads.h).
class CompareEngine {
public:
    struct Settings {
        // The reference and the compared file. The sources, when given, are
        // read (each worker through its own clone); else the readers.
        LumoYuvReader a;
        LumoYuvReader b;
        std::shared_ptr<const FrameSource> reference;
        std::shared_ptr<const FrameSource> compared;
        int first = 0;
        int last = 0;           // inclusive
        int colorRangeCode = 1; // metric colour-range code
        bool withSsim = true;
        bool withPsnr = true; // MSE and PSNR reported
        ExtraMetrics extra;
        Region region;        // zero width: the whole frame
        int workers = 1;
        int maxInFlight = 2;
        // Stops the run within a band of SSIM rows; Run then returns false
        // with an empty error.
        const CancelToken* cancel = nullptr;

        lumo::PairOptions Options() const;
    };

    // Memory the workers may hold together unless the caller chooses
    // another budget.
    static constexpr int64_t kDefaultMemoryBudget = int64_t{224} << 20;

    // Bytes one worker holds at its peak for one frame pair of width x
    // height of samples of `depth` bits.
    static int64_t WorkerPeakBytes(int width, int height, bool withSsim, int depth = 8);
    // Worker count: `requested` when above 0, else the cores; either is
    // lowered until the workers' peak fits `memoryBudget` (at least one
    // worker).
    static int ChooseWorkers(int requested, int width, int height, bool withSsim, int64_t memoryBudget,
                             int depth = 8);

    explicit CompareEngine(const Settings& settings);

    // Runs the comparison; `onFrame` receives every frame in order. Returns
    // false and fills `error` (one line) when a frame cannot be read or a
    // metric cannot be computed (memory ran out); frames before the failing
    // one have been handed over by then.
    bool Run(const std::function<void(const FrameMetrics&)>& onFrame, std::string& error);
    // The same, where `onFrame` returning false ends the run early (Run
    // then returns true).
    bool RunWhile(const std::function<bool(const FrameMetrics&)>& onFrame, std::string& error);

    // One frame pair on the calling thread; what each worker does. Files of
    // different depths are not compared: that is an error.
    static bool CompareFrame(const Settings& settings, int frame, FrameMetrics& out, std::string& error);

private:
    Settings settings_;
};

} // namespace lumo
