#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "yuv/LumoYuvReader.h"

namespace lumo::cli {

// The comparison of one frame pair, as the analysis window computes it.
struct FrameMetrics {
    int frame = 0;
    bool hasSsim = false;
    double ssim = 0.0;
    double mse[3] = {0.0, 0.0, 0.0};
    double psnr[3] = {0.0, 0.0, 0.0};
};

// Compares frames of two files of equal size on several threads. Each frame
// pair is read as full-size planes, turned into I420 and measured (MSE and
// PSNR per plane, then SSIM_GRAY unless only PSNR is asked for). Results come
// back in frame order on the calling thread. At most `maxInFlight` frames are
// claimed ahead of the last one handed back, and each worker holds one frame
// pair at a time, so memory does not grow with the number of frames.
class CompareEngine {
public:
    struct Settings {
        LumoYuvReader a;
        LumoYuvReader b;
        int first = 0;
        int last = 0;           // inclusive
        int colorRangeCode = 1; // metric colour-range code
        bool withSsim = true;
        int workers = 1;
        int maxInFlight = 2;
    };

    // Bytes one worker holds at its peak for a frame of width x height.
    static int64_t WorkerPeakBytes(int width, int height, bool withSsim);
    // Worker count: `requested` when above 0, else the cores, lowered until
    // the workers' peak fits `memoryBudget` (at least one worker).
    static int ChooseWorkers(int requested, int width, int height, bool withSsim, int64_t memoryBudget);

    explicit CompareEngine(const Settings& settings);

    // Runs the comparison; `onFrame` receives every frame in order. Returns
    // false and fills `error` when a frame cannot be read or memory runs
    // out; frames before the failing one have been handed over by then.
    bool Run(const std::function<void(const FrameMetrics&)>& onFrame, std::string& error);

    // One frame pair on the calling thread; the reference the workers follow.
    static bool CompareFrame(const Settings& settings, int frame, FrameMetrics& out, std::string& error);

private:
    Settings settings_;
};

} // namespace lumo::cli
