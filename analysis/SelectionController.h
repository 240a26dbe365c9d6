#pragma once

#include "analysis/FrameLoader.h"
#include "yuv/LumoYuvReader.h"

#include <QObject>

#include <memory>

class SequenceMetrics;

// The frame the user selects, from the click to the numbers: its planes,
// histograms and comparison come from the loader's threads. Only the newest
// selection counts: results of older ones, and of a second file closed or
// replaced since, are dropped. A frame the sequence's table already holds
// is not compared again: the table's numbers are the same (same engine,
// same range).
class SelectionController : public QObject {
    Q_OBJECT
public:
    explicit SelectionController(QObject* parent = nullptr);
    ~SelectionController() override;

    struct Selection {
        int frame = 0;
        lumo::LumoYuvReader first;
        lumo::LumoYuvReader second;
        bool withSecond = false; // the second file has the first one's size
        bool comparable = false; // and its depth
        int colorRangeCode = 1;  // metric colour-range code
    };
    // Starts `selection`, superseding any older one. A frame of `table`
    // reports its numbers (metricsReady) before this returns.
    void Select(const Selection& selection, const SequenceMetrics* table);
    // What the newest selection awaits becomes stale (second file changes).
    void Drop();
    // Comparisons asked for whose result has not come yet (0 or 1).
    int RunningJobs() const { return pendingCompare_ != 0 ? 1 : 0; }

signals:
    void planesReady(int frame, FrameLoader::Frame first, FrameLoader::Frame second);
    void histogramsReady(std::shared_ptr<const FrameLoader::Histograms> histograms);
    void loadFailed();
    // Nothing is compared for a pair of one size (depths differ).
    void metricsCleared();
    void metricsReady(double ssim, double mse_y, double mse_u, double mse_v, double psnr_y, double psnr_u,
                      double psnr_v, int depth);
    void compareStarted();

private:
    std::unique_ptr<FrameLoader> loader_;
    // The newest selection and its frame.
    int token_ = 0;
    int frame_ = 0;
    // Token whose comparison result is awaited, 0 for none, and its depth.
    int pendingCompare_ = 0;
    int pendingDepth_ = 8;
};
