#pragma once

#include "yuv/LumoYuvReader.h"

#include <QString>
#include <QWidget>

class QCheckBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QSpinBox;
class QTimer;
class QVBoxLayout;
class RecordLog;
class VideoTimeLine;

// The strip at the top of the analysis window: second-file buttons, play and
// pause with the frame rate, the rectangle-drawing switch, one time line per
// open file and the metric text. Owns the playback position and the frame
// timer and drives the window through onFrameCtrRefresh.
class VideoCtrBar : public QWidget {
    Q_OBJECT
public:
    explicit VideoCtrBar(const lumo::LumoYuvReader& reader, QWidget* parent = nullptr);
    ~VideoCtrBar() override;

    // Stops playback without a usage event.
    void stopPlay();
    // Stops the first time line's thumbnail worker and waits for it.
    void stopSnapshot();
    void setClose2ndEnabled(bool enabled);
    void setMetricText(const QString& text);
    QString metricText() const;
    // The line under the metric text; hidden while `text` is empty.
    void setRegionText(const QString& text);
    QString regionText() const;
    // Selects `frameIndex` as a double click on a time line does and scrolls
    // the time lines to it when it is out of view.
    void SelectFrame(int frameIndex);
    // Frames both files have (the first file's count without a second).
    int CommonFrameCount() const;
    bool IsPlaying() const;
    // Information text of the usage events, built from both readers.
    QString fileDescription() const;

    int CurrentIndex() const { return currentIndex_; }
    VideoTimeLine* FirstTimeLine() const { return timeLine1st_; }
    VideoTimeLine* SecondTimeLine() const { return timeLine2nd_; }
    QTimer* FrameTimer() const { return frameTimer_; }

signals:
    // Show `frameIndex`; `select` is 0 for a playback tick, 1 for a frame the
    // user chose.
    void onFrameCtrRefresh(int frameIndex, int select);
    void onOpen2ndFile();
    void onClose2ndFile();
    // "Draw ROI Rect" changed (0 unchecked, 2 checked).
    void onDrawCheckBoxChange(int enable);
    // Playback started (true) or stopped (false).
    void playingChanged(bool playing);

public slots:
    void Add2ndTimeLine(const lumo::LumoYuvReader& _reader2nd);
    void Remove2ndTimeLine();
    void onCtrBtnClick();
    void onOpen2BtnClick();
    void onClose2BtnClick();
    void onFrameTimeout();
    void onSelectFrame(int frameIndex, int select);
    void onDrawCheckBoxSelect(int state);

private:
    void BuildForm();

    lumo::LumoYuvReader reader1st_;
    lumo::LumoYuvReader reader2nd_;
    QTimer* frameTimer_ = nullptr;
    int currentIndex_ = 0;
    int frameCount1st_ = 0;
    int frameCount2nd_ = -1;
    VideoTimeLine* timeLine1st_ = nullptr;
    VideoTimeLine* timeLine2nd_ = nullptr;
    RecordLog* recordLog_ = nullptr; // child of the bar

    QHBoxLayout* horizontalLayout_ = nullptr;
    QVBoxLayout* verticalLayout_ = nullptr;
    QPushButton* open2_ = nullptr;
    QPushButton* close2_ = nullptr;
    QPushButton* ctrBtn_ = nullptr;
    QCheckBox* drawCheckBox_ = nullptr;
    QSpinBox* ctrFpsSpin_ = nullptr;
    QVBoxLayout* verticalLayout2_ = nullptr;
    QHBoxLayout* timeLineLayout_ = nullptr;
    QHBoxLayout* horizontalLayout2_ = nullptr;
    QLabel* ssimLabel_ = nullptr;
    QLabel* psnrLabel_ = nullptr;
    QLabel* regionLabel_ = nullptr;
};
