#pragma once

#include <cstdint>

#include <QWidget>

// A 100-pixel strip of filled histogram curves of one frame: luma (slot 0),
// two never-counted slots (1, 2), then red, green and blue (3 to 5). All
// curves share one vertical scale, the largest bin count ever seen.
class ColorChart : public QWidget {
    Q_OBJECT

public:
    static constexpr int kSlots = 6;
    static constexpr int kBins = 256;

    // The six histograms of one frame.
    struct Counts {
        int32_t bins[kSlots][kBins] = {};
    };

    explicit ColorChart(QWidget* parent = nullptr);

    // Counts one frame of full-size planes; plain code that any thread may
    // run. UpdateHistogram is CountHistograms followed by SetHistograms.
    static void CountHistograms(int width, int height, const uint8_t* y, const uint8_t* u, const uint8_t* v,
                                Counts& out);
    void SetHistograms(const Counts& counts);

    void SetShow(int s0, int s1, int s2, int s3, int s4, int s5);
    // Counts one frame given as full-size planes of width x height bytes each.
    // The lengths are not used.
    void UpdateHistogram(int width, int height, const uint8_t* y, int yLength, const uint8_t* u, int uLength,
                         const uint8_t* v, int vLength);

    int MaxCount() const { return maxCount_; }
    const int32_t* Histogram(int slot) const { return histograms_[slot]; }
    int Shown(int slot) const { return show_[slot]; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int32_t maxCount_ = 0;
    int32_t histograms_[kSlots][kBins] = {};
    int32_t show_[kSlots] = {1, 1, 1, 1, 1, 1};
};
