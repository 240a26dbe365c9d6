#pragma once

#include "yuv/LumoYuvReader.h"
#include "analysis/ThumbnailCache.h"

#include <QWidget>

class SnapshotThread;

// An 80-pixel-high strip showing the frames of one file as 50-pixel cells,
// each with its frame number and a thumbnail. Marks the current frame,
// scrolls when dragged, follows playback and reports double-clicked frames.
class VideoTimeLine : public QWidget {
    Q_OBJECT
public:
    static constexpr int kCellWidth = 50;
    static constexpr int kHeight = 80;
    // Frames wider or taller than this get a thumbnail in every fifth cell.
    static constexpr int kFullThumbnailLimit = 1279;

    struct CellRange {
        int first;
        int end; // one past the last cell drawn
    };

    explicit VideoTimeLine(const lumo::LumoYuvReader& reader, QWidget* parent = nullptr);
    // Stops the worker, then frees it and the cache.
    ~VideoTimeLine() override;

    // Marks `frameIndex`; with `follow` not 0 the strip scrolls so that the
    // frame becomes the second cell from the left.
    void setCurrentFrame(int frameIndex, int follow);
    // Marks `frameIndex` and scrolls as setCurrentFrame with follow does,
    // but only when its cell is not wholly in view.
    void RevealFrame(int frameIndex);
    // Stops the thumbnail worker and waits for it; the thumbnails stay. The
    // next paint restarts the worker.
    void ClearCache();

    int CurrentFrame() const { return currentFrame_; }
    int ScrollOffset() const { return scrollOffset_; }
    SnapshotThread* Worker() const { return worker_; }
    ThumbnailCache& Cache() { return cache_; }

    // Cells drawn for a scroll offset, widget width and frame count.
    static CellRange VisibleCells(int scrollOffset, int widgetWidth, int frameCount);
    // Whether cell `index`, drawn at `x`, shows a thumbnail.
    static bool WantsThumbnail(int frameWidth, int frameHeight, int index, int x, int widgetWidth);
    // Height of a thumbnail drawn in a cell, 0 for a degenerate frame.
    static int ThumbnailHeight(int frameWidth, int frameHeight);
    // Frame index under widget position x (rounded) for a scroll offset.
    static int CellAt(double x, int scrollOffset);

signals:
    // The user double-clicked the cell of `frameIndex`; `select` is 1.
    void onSelectFrame(int frameIndex, int select);

public slots:
    // A thumbnail arrived: repaint.
    void GetImageSuccess();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    lumo::LumoYuvReader reader_;
    const int cellWidth_ = kCellWidth;
    int pressed_ = 0;
    int lastMouseX_ = -1;
    int lastMouseY_ = -1;
    int scrollOffset_ = 0;
    ThumbnailCache cache_;
    int currentFrame_ = 0;
    SnapshotThread* worker_ = nullptr; // child of this widget
};
