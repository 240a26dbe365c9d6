#pragma once

#include "analysis/SelectionController.h"
#include "iqa/CodecMetrics.h"
#include "yuv/FramePng.h"
#include "yuv/LumoYuvReader.h"

#include <QList>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <array>
#include <functional>
#include <vector>

class ColorChart;
class MetricPlot;
class PixelInspector;
class RegionMetrics;
class SequenceMetrics;
class YUVShowView;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QDoubleSpinBox;
class QDragEnterEvent;
class QDropEvent;
class QHBoxLayout;
class QRadioButton;
class QVBoxLayout;
class RecordLog;
class VideoCtrBar;
class YUVWidget;

// Top-level window in which one raw YUV file is analysed: the frame with its
// plane thumbnails, colour range and gamma, the histograms, playback and the
// time line. A second file can be opened beside the first; the two are then
// shown side by side, their rectangles are mirrored, they play in step and
// every frame the user picks is compared (SSIM, per-plane MSE and PSNR) on a
// thread of its own.
//
// A closed window is destroyed: playback and the thumbnail workers of both
// time lines are stopped first, and running comparisons are waited for.
class LumoImageView : public QMainWindow {
    Q_OBJECT
public:
    explicit LumoImageView(const lumo::LumoYuvReader& reader, QWidget* parent = nullptr);
    ~LumoImageView() override;

    // Information text of the usage events, built from both readers.
    QString fileDescription() const;

    // Metric colour-range code for a colour-range button id: 2 for BT.709
    // video (1), 1 for BT.601 full (4), 0 for anything else.
    static int MetricColorRange(int colorRangeId);
    // The control bar's metric text for one comparison result; a value that
    // is not finite (not computed) shows the dash. A comparison deeper than
    // 8 bits starts with its depth, "【10-bit】".
    static QString MetricText(double ssim, double mse_y, double mse_u, double mse_v, double psnr_y, double psnr_u,
                              double psnr_v, int depth = 8);
    // The metric text shown while nothing is compared.
    static QString DashMetricText();

    // Asks for the path to save to (caption, suggested path, filter); an
    // empty answer cancels. Tests replace the file chooser through this.
    using SaveFileChooser = std::function<QString(QWidget*, const QString&, const QString&, const QString&)>;
    static void SetSaveFileChooser(SaveFileChooser chooser);
    static QString ChooseSaveFile(QWidget* parent, const QString& caption, const QString& suggested,
                                  const QString& filter);

    // Keyboard: steps of `delta` frames from the shown one, kept inside the
    // frames both files have; each selects as a double click does.
    void StepFrames(int delta);
    void SelectFirstFrame();
    void SelectLastFrame();
    // Fits the whole frame into each view.
    void FitViews();
    // Saves the shown frame of the first view (of the second when the mouse
    // is over it) as the PNG the command line's export writes.
    void SaveShownFrame();
    void CopyMetricText();

    VideoCtrBar* CtrBar() const { return ctrBar_; }
    YUVWidget* FirstYUVWidget() const { return files_[0].widget; }
    YUVWidget* SecondYUVWidget() const { return files_[1].widget; }
    ColorChart* FirstChart() const { return files_[0].chart; }
    ColorChart* SecondChart() const { return files_[1].chart; }
    const lumo::LumoYuvReader& SecondReader() const { return files_[1].reader; }
    int ColorRangeId() const { return colorRangeId_; }
    MetricPlot* Plot() const { return plot_; }
    SequenceMetrics* Sequence() const { return sequence_.get(); }
    // The status line under the views: the pixel under the mouse.
    QString PixelInfoText() const;
    // Turns the second view into the difference of the two frames.
    void SetDiffShown(bool shown, int gain);

    // Writes the whole-sequence comparison as CSV (the command line's
    // compare --format csv); asks for the path.
    void SaveSequenceCsv();
    // Comparisons asked for whose result has not been shown yet (0 or 1: a
    // newer selection supersedes an older one).
    int RunningMetricJobs() const;

    // Shows `reader` as the second file, in place of any second file open,
    // at the frame the first file shows (both go to the second file's last
    // frame when it has fewer), and compares that frame pair.
    void Open2ndFile(const lumo::LumoYuvReader& reader);
    // "Open 2nd YUV": the open-file dialog, with `chosen` already chosen and
    // the form pre-filled from its guess; the file it accepts is opened as
    // the second file (files dropped on the window come this way). The
    // second file open until then stays when the dialog is cancelled.
    void Open2ndThroughDialog(const QStringList& chosen);

public slots:
    void onColorRectCheckbox(int stat);
    void onChannelCheckbox();
    void onFrameCtrRefresh(int frameIndex, int select);
    void onOpen2ndFile();
    void onClose2ndFile();
    void onColorRangeChange(int);
    void onGammaValueChanged(double);
    void onDrawRect(float rectStartX, float rectStartY, float rectEndX, float rectEndY);
    void onDrawRect2nd(float rectStartX, float rectStartY, float rectEndX, float rectEndY);
    void onDrawCheckBoxChange(int enable);
    void workStart();
    void workFinished(double ssim, double mse_y, double mse_u, double mse_v, double psnr_y, double psnr_u,
                      double psnr_v);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // One file the window shows: its reader, its view with rulers and its
    // histogram.
    struct ShownFile {
        lumo::LumoYuvReader reader;
        YUVWidget* widget = nullptr;
        ColorChart* chart = nullptr;
    };
    ShownFile& First() { return files_[0]; }
    const ShownFile& First() const { return files_[0]; }
    ShownFile& Second() { return files_[1]; }
    const ShownFile& Second() const { return files_[1]; }
    // The files shown: the first, then the second while one is open.
    std::vector<ShownFile*> Shown();
    // The second file is open and has the first one's size (and depth).
    bool SecondSameSize() const;
    bool SecondComparable() const;
    // Draws the rectangle drawn in view `from` in the other views too.
    void MirrorRect(int from, float startX, float startY, float endX, float endY);
    void BuildForm();
    void remove2ndFile();
    // The rectangle from the views' normalised corners, then the region line.
    void SetRegion(float startX, float startY, float endX, float endY);
    // Measures the rectangle on the shown frame, or hides the line when
    // there is no rectangle or nothing to compare.
    void UpdateRegionLine();
    void Add2ndFile(const lumo::LumoYuvReader& reader);
    void onPlanesReady(int frame, FrameLoader::Frame first, FrameLoader::Frame second);
    // What the newest selection awaits becomes stale (second file changes).
    void DropSelection();
    void onHistogramsReady(std::shared_ptr<const FrameLoader::Histograms> histograms);
    void onLoadFailed();
    void onMetricsReady(double ssim, double mse_y, double mse_u, double mse_v, double psnr_y, double psnr_u,
                        double psnr_v, int depth);
    // Stops playback and the thumbnail workers of both time lines.
    void StopWork();
    void BuildShortcuts();
    // (Re)starts the whole-sequence comparison when two files of one size
    // are open; hides the plot otherwise.
    void StartSequence();
    void ConnectHover(YUVWidget* widget, int which);
    void ApplyDiff();
    // With the link on, the other view takes `leader`'s place.
    void FollowPlace(YUVShowView* leader);
    // The zoom keys: `factor` about the view's centre, 0 for one frame pixel
    // per screen pixel.
    void ZoomViews(double factor);
    // The difference view's picture (Diff on), as Ctrl+S saves it.
    lumo::FramePngStatus SaveDiffPicture(double gamma,
                                         const std::function<bool(const void* data, size_t size)>& sink) const;

    // The first file, then the second (no view while none is open; its
    // reader stays until another one replaces it).
    std::array<ShownFile, 2> files_;
    VideoCtrBar* ctrBar_ = nullptr;
    QButtonGroup* colorRangeGroup_ = nullptr;
    int colorRangeId_ = 4;
    // Frame of the last refresh: what the views show.
    int shownFrame_ = 0;
    std::unique_ptr<PixelInspector> inspector_;
    // Depth of the comparison the metric text shows.
    int metricDepth_ = 8;
    std::unique_ptr<SelectionController> selection_;
    std::unique_ptr<SequenceMetrics> sequence_;
    // The drawn rectangle in frame pixels (zero width: none) and the
    // measurement of it the region line waits for.
    lumo::Region roi_;
    int regionToken_ = 0;
    std::unique_ptr<RegionMetrics> region_;
    MetricPlot* plot_ = nullptr;
    RecordLog* recordLog_ = nullptr;

    QWidget* centralwidget_ = nullptr;
    QVBoxLayout* videoTimeLineLayout_ = nullptr;
    QCheckBox* channelCheckboxY_ = nullptr;
    QCheckBox* channelCheckboxU_ = nullptr;
    QCheckBox* channelCheckboxV_ = nullptr;
    QRadioButton* bt709VideoRange_ = nullptr;
    QRadioButton* bt601VideoRange_ = nullptr;
    QRadioButton* bt601FullRange_ = nullptr;
    QDoubleSpinBox* gammaSpinBox_ = nullptr;
    QCheckBox* colorRectCheckboxY_ = nullptr;
    QCheckBox* colorRectCheckboxR_ = nullptr;
    QCheckBox* colorRectCheckboxG_ = nullptr;
    QCheckBox* colorRectCheckboxB_ = nullptr;
    QHBoxLayout* imageShowLayout_ = nullptr;
    QHBoxLayout* colorChartLayout_ = nullptr;
    QLabel* pixelInfo_ = nullptr;
    QCheckBox* diffCheckbox_ = nullptr;
    QCheckBox* linkViewsCheck_ = nullptr;
    QComboBox* diffGainBox_ = nullptr;
};
