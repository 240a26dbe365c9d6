#include "analysis/LumoImageView.h"

#include "base/DebugLog.h"

#include "render/ColorChart.h"
#include "render/GLLimits.h"
#include "open/ChosenFile.h"
#include "open/OpenFileDialog.h"
#include "yuv/RawFrameSource.h"
#include "online/RecordLog.h"
#include "analysis/MetricPlot.h"
#include "analysis/PixelInspector.h"
#include "analysis/RegionMetrics.h"
#include "analysis/SequenceMetrics.h"
#include "analysis/VideoCtrBar.h"
#include "analysis/VideoTimeLine.h"
#include "render/YUVShowView.h"
#include "render/YUVWidget.h"
#include "yuv/FramePng.h"
#include "yuv/YuvTypeTable.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QShortcut>
#include <QDebug>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace {

struct PlanesDeleter {
    void operator()(uint8_t* p) const { delete[] p; }
};
using Planes = std::unique_ptr<uint8_t, PlanesDeleter>;

// Frame `frameIndex` of `reader` as full-size planes; null when the frame
// lies outside the file, cannot be read, or cannot be shown: a stated
// 40000 x 40000 on a small file would otherwise take gigabytes of planes
// (of zero padding) only for the view to refuse it.
Planes ReadPlanes(const lumo::LumoYuvReader& reader, int frameIndex)
{
    const int64_t frameSize = reader.GetFrameSize();
    if (frameIndex < 0 || frameSize <= 0 || !FrameFitsTexture(reader.Width(), reader.Height()))
        return nullptr;
    int64_t got = 0;
    uint8_t* data = reader.ReadFrameYUV444(nullptr, &got, static_cast<int64_t>(frameIndex) * frameSize);
    Planes planes(data);
    if (got <= 0)
        return nullptr;
    return planes;
}

void FillHistogram(ColorChart* chart, const lumo::LumoYuvReader& reader, const uint8_t* planes)
{
    const int64_t n = static_cast<int64_t>(reader.Width()) * reader.Height();
    if (n <= 0 || n > std::numeric_limits<int>::max())
        return;
    const int len = static_cast<int>(n);
    chart->UpdateHistogram(reader.Width(), reader.Height(), planes, len, planes + n, len, planes + 2 * n, len);
}

} // namespace

LumoImageView::LumoImageView(const lumo::LumoYuvReader& reader, QWidget* parent) : QMainWindow(parent)
{
    // Closing gives back the GL textures, caches and threads of the window.
    setAttribute(Qt::WA_DeleteOnClose);
    // A file dropped on the window opens as the second file.
    setAcceptDrops(true);

    BuildForm();
    recordLog_ = new RecordLog(this);

    First().reader = reader;
    setWindowTitle(QString::fromStdString(First().reader.Path()));

    ctrBar_ = new VideoCtrBar(First().reader, this);
    videoTimeLineLayout_->addWidget(ctrBar_);
    ctrBar_->setMetricText(DashMetricText());

    First().widget = new YUVWidget(First().reader, this);
    imageShowLayout_->addWidget(First().widget);

    First().chart = new ColorChart(this);
    colorChartLayout_->addWidget(First().chart);
    if (Planes planes = ReadPlanes(First().reader, 0))
        FillHistogram(First().chart, First().reader, planes.get());

    for (QCheckBox* box : {colorRectCheckboxY_, colorRectCheckboxR_, colorRectCheckboxG_, colorRectCheckboxB_})
        box->setChecked(true);
    onColorRectCheckbox(Qt::Checked);
    for (QCheckBox* box : {colorRectCheckboxY_, colorRectCheckboxR_, colorRectCheckboxG_, colorRectCheckboxB_})
        connect(box, &QCheckBox::stateChanged, this, &LumoImageView::onColorRectCheckbox);

    for (QCheckBox* box : {channelCheckboxY_, channelCheckboxU_, channelCheckboxV_})
        box->setChecked(true);
    onChannelCheckbox();
    for (QCheckBox* box : {channelCheckboxY_, channelCheckboxU_, channelCheckboxV_})
        connect(box, &QCheckBox::stateChanged, this, &LumoImageView::onChannelCheckbox);

    connect(ctrBar_, &VideoCtrBar::onFrameCtrRefresh, this, &LumoImageView::onFrameCtrRefresh);
    connect(ctrBar_, &VideoCtrBar::onOpen2ndFile, this, &LumoImageView::onOpen2ndFile);
    connect(ctrBar_, &VideoCtrBar::onClose2ndFile, this, &LumoImageView::onClose2ndFile);

    colorRangeGroup_ = new QButtonGroup(this);
    connect(colorRangeGroup_, &QButtonGroup::idClicked, this,
            &LumoImageView::onColorRangeChange);
    bt601FullRange_->setChecked(true);
    colorRangeId_ = 4;
    colorRangeGroup_->addButton(bt709VideoRange_, 1);
    colorRangeGroup_->addButton(bt601VideoRange_, 3);
    colorRangeGroup_->addButton(bt601FullRange_, 4);
    First().widget->SetColorRange(4);

    connect(ctrBar_, &VideoCtrBar::onDrawCheckBoxChange, this, &LumoImageView::onDrawCheckBoxChange);
    connect(First().widget, &YUVWidget::signalsUpdateRect, this, &LumoImageView::onDrawRect);

    gammaSpinBox_->setRange(0.0, 10.0);
    gammaSpinBox_->setValue(1.0);
    gammaSpinBox_->setSingleStep(0.1);
    connect(gammaSpinBox_, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &LumoImageView::onGammaValueChanged);

    connect(linkViewsCheck_, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            FollowPlace(First().widget->View());
    });

    BuildShortcuts();
    inspector_ = std::make_unique<PixelInspector>(pixelInfo_, gammaSpinBox_, diffGainBox_, [this] {
        std::vector<YUVShowView*> views;
        for (ShownFile* file : Shown())
            views.push_back(file->widget->View());
        return views;
    });
    ConnectHover(First().widget, 0);

    selection_ = std::make_unique<SelectionController>();
    connect(selection_.get(), &SelectionController::planesReady, this, &LumoImageView::onPlanesReady);
    connect(selection_.get(), &SelectionController::histogramsReady, this, &LumoImageView::onHistogramsReady);
    connect(selection_.get(), &SelectionController::loadFailed, this, &LumoImageView::onLoadFailed);
    connect(selection_.get(), &SelectionController::metricsReady, this, &LumoImageView::onMetricsReady);
    connect(selection_.get(), &SelectionController::metricsCleared, this,
            [this] { ctrBar_->setMetricText(DashMetricText()); });
    connect(selection_.get(), &SelectionController::compareStarted, this, &LumoImageView::workStart);

    plot_ = new MetricPlot(this);
    plot_->setMinimumHeight(120);
    plot_->hide();
    videoTimeLineLayout_->addWidget(plot_);
    sequence_ = std::make_unique<SequenceMetrics>();
    region_ = std::make_unique<RegionMetrics>();
    connect(region_.get(), &RegionMetrics::measured, this, [this](int token, lumo::FrameMetrics m, bool ok) {
        if (token != regionToken_)
            return;
        QString text = QStringLiteral("ROI %1,%2 %3x%4【PSNR Y: %5, U: %6, V: %7】【SSIM Y: %8】")
                           .arg(roi_.x)
                           .arg(roi_.y)
                           .arg(roi_.w)
                           .arg(roi_.h);
        for (double value : {m.psnr[0], m.psnr[1], m.psnr[2], m.planeSsim[0]})
            text = ok && std::isfinite(value) ? text.arg(value, 0, 'g', 6) : text.arg(QStringLiteral("-"));
        ctrBar_->setRegionText(text);
    });
    connect(sequence_.get(), &SequenceMetrics::progress, this, [this](int done, int total) {
        plot_->SetResults(&sequence_->Results());
        plot_->SetProgress(done, total, true, QString());
    });
    connect(sequence_.get(), &SequenceMetrics::finished, this, [this](bool) {
        plot_->SetResults(&sequence_->Results());
        plot_->SetProgress(static_cast<int>(sequence_->Results().size()), sequence_->Total(), false,
                           sequence_->Error());
    });
    connect(plot_, &MetricPlot::frameClicked, ctrBar_, &VideoCtrBar::SelectFrame);
    // Playback keeps the cores it needs: the comparison steps back meanwhile.
    connect(ctrBar_, &VideoCtrBar::playingChanged, sequence_.get(), &SequenceMetrics::SetGentle);
    connect(plot_, &MetricPlot::saveCsvClicked, this, &LumoImageView::SaveSequenceCsv);
    // A codec-metric series the run does not measure yet starts it again with it.
    connect(plot_, &MetricPlot::seriesChanged, this, [this] {
        const lumo::ExtraMetrics shown = plot_->ShownExtras();
        const lumo::ExtraMetrics& measured = sequence_->Extra();
        if (plot_->isVisible() && ((shown.planeSsim && !measured.planeSsim) || (shown.msSsim && !measured.msSsim) ||
                                   (shown.psnrYuv && !measured.psnrYuv)))
            StartSequence();
    });
    connect(diffCheckbox_, &QCheckBox::toggled, this, &LumoImageView::ApplyDiff);
    connect(diffGainBox_, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &LumoImageView::ApplyDiff);
}

LumoImageView::~LumoImageView()
{
    // A window deleted without being closed still stops its workers before
    // the time lines go.
    // The loader's and the sequence's threads report to this window: they
    // end first.
    selection_.reset();
    sequence_.reset();
    StopWork();
    inspector_.reset();
    // Decoders and decoded frames of encoded files go with the window.
    lumo::ReleaseIdleEncodedSources();
}

std::vector<LumoImageView::ShownFile*> LumoImageView::Shown()
{
    std::vector<ShownFile*> shown;
    for (ShownFile& file : files_) {
        if (file.widget)
            shown.push_back(&file);
    }
    return shown;
}

bool LumoImageView::SecondSameSize() const
{
    return Second().widget && Second().reader.Width() == First().reader.Width() &&
           Second().reader.Height() == First().reader.Height();
}

bool LumoImageView::SecondComparable() const
{
    return SecondSameSize() && Second().reader.BitDepth() == First().reader.BitDepth();
}

QString LumoImageView::fileDescription() const
{
    // Every placeholder is filled in one pass: a "%2" inside a path must
    // stay as it is.
    QString text;
    if (First().reader.HasPath()) {
        text = QStringLiteral("[read1 file=%1; size=%2x%3; type=%4]")
                   .arg(QString::fromStdString(First().reader.Path()), QString::number(First().reader.Width()),
                        QString::number(First().reader.Height()), QString::fromStdString(First().reader.Type()));
    }
    if (Second().reader.HasPath()) {
        text = QStringLiteral("%1 + [read2 file=%2; size=%3x%4; type=%5]")
                   .arg(text, QString::fromStdString(Second().reader.Path()), QString::number(Second().reader.Width()),
                        QString::number(Second().reader.Height()), QString::fromStdString(Second().reader.Type()));
    }
    return text;
}

int LumoImageView::MetricColorRange(int colorRangeId)
{
    if (colorRangeId == 1)
        return 2;
    if (colorRangeId == 4)
        return 1;
    return 0;
}

QString LumoImageView::MetricText(double ssim, double mse_y, double mse_u, double mse_v, double psnr_y,
                                  double psnr_u, double psnr_v, int depth)
{
    const double values[] = {ssim, mse_y, mse_u, mse_v, psnr_y, psnr_u, psnr_v};
    QString text = QStringLiteral("【SSIM %1】【MSE Y: %2, U: %3, V: %4】【PSNR Y: %5, U: %6, V: %7】");
    // A value that could not be computed (+inf from an SSIM that ran out of
    // memory, NaN from empty planes or a failure) is not a result.
    for (double value : values)
        text = std::isfinite(value) ? text.arg(value, 0, 'g', 6) : text.arg(QStringLiteral("-"));
    if (depth != 8)
        text.prepend(QStringLiteral("【%1-bit】").arg(depth));
    return text;
}

QString LumoImageView::DashMetricText()
{
    return QStringLiteral("【SSIM -】【MSE Y: -, U: -, V: -】【PSNR Y: -, U: -, V: -】");
}

int LumoImageView::RunningMetricJobs() const
{
    return selection_->RunningJobs();
}

void LumoImageView::onColorRectCheckbox(int stat)
{
    const int y = colorRectCheckboxY_->checkState();
    const int r = colorRectCheckboxR_->checkState();
    const int g = colorRectCheckboxG_->checkState();
    const int b = colorRectCheckboxB_->checkState();
    for (ShownFile* file : Shown())
        file->chart->SetShow(y, 0, 0, r, g, b);
    qCDebug(lumoDebug) << stat;
}

void LumoImageView::onChannelCheckbox()
{
    const int y = channelCheckboxY_->checkState();
    const int u = channelCheckboxU_->checkState();
    const int v = channelCheckboxV_->checkState();
    for (ShownFile* file : Shown())
        file->widget->SetVisible(y, u, v);
}

void LumoImageView::onFrameCtrRefresh(int frameIndex, int select)
{
    // Only a drag past the start of a time line gives a negative index.
    if (frameIndex < 0)
        return;

    shownFrame_ = frameIndex;
    // Reading, counting and comparing a selection run on the loader's
    // threads. The views hear of it before they move: they keep their frame
    // and repaint once, when the new planes arrive.
    const lumo::LumoYuvReader& first = First().reader;
    const bool load = select != 0 && FrameFitsTexture(first.Width(), first.Height()) && first.GetFrameSize() > 0;
    // The second file's frame comes with the first one's when it has its size.
    const bool sameSize = SecondSameSize() && Second().reader.GetFrameSize() > 0;
    const std::vector<ShownFile*> shown = Shown();
    for (size_t i = 0; i < shown.size(); ++i) {
        const int64_t offset = static_cast<int64_t>(frameIndex) * shown[i]->reader.GetFrameSize();
        if (load && (i == 0 || sameSize))
            shown[i]->widget->View()->ExpectPlanes(offset);
    }
    for (ShownFile* file : shown)
        file->widget->SetFrameIndex(frameIndex);
    if (select == 0)
        return;
    plot_->SetCurrentFrame(frameIndex);
    if (roi_.w > 0)
        UpdateRegionLine();
    if (!load)
        return;
    SelectionController::Selection selection;
    selection.frame = frameIndex;
    selection.first = First().reader;
    selection.second = Second().reader;
    selection.withSecond = sameSize;
    selection.comparable = sameSize && SecondComparable();
    selection.colorRangeCode = MetricColorRange(colorRangeId_);
    selection_->Select(selection, sequence_.get());
}

void LumoImageView::onPlanesReady(int frame, FrameLoader::Frame first, FrameLoader::Frame second)
{
    const FrameLoader::Frame frames[2] = {first, second};
    const std::vector<ShownFile*> shown = Shown();
    for (size_t i = 0; i < shown.size(); ++i) {
        YUVShowView* view = shown[i]->widget->View();
        // The second file's planes come only when it has the first one's size.
        if (i == 0 || frames[i].planes)
            view->AdoptPlanes(static_cast<int64_t>(frame) * shown[i]->reader.GetFrameSize(), frames[i].planes,
                              frames[i].stored);
        else
            view->CancelExpectedPlanes();
    }
}

void LumoImageView::onHistogramsReady(std::shared_ptr<const FrameLoader::Histograms> histograms)
{
    First().chart->SetHistograms(histograms->first);
    if (histograms->hasSecond && Second().chart)
        Second().chart->SetHistograms(histograms->second);
}

void LumoImageView::onLoadFailed()
{
    for (ShownFile* file : Shown())
        file->widget->View()->CancelExpectedPlanes();
}

void LumoImageView::DropSelection()
{
    selection_->Drop();
    // The selection's planes will not come: the first view reads its frame
    // itself instead of waiting for them.
    First().widget->View()->CancelExpectedPlanes();
}

void LumoImageView::onMetricsReady(double ssim, double mse_y, double mse_u, double mse_v, double psnr_y,
                                   double psnr_u, double psnr_v, int depth)
{
    // Only the newest selection's result comes: an older one, or one for a
    // second file closed or replaced since, sends no usage event either.
    metricDepth_ = depth;
    workFinished(ssim, mse_y, mse_u, mse_v, psnr_y, psnr_u, psnr_v);
}

void LumoImageView::onOpen2ndFile()
{
    qCDebug(lumoDebug) << "onOpen2ndFile click";
    Open2ndThroughDialog({});
}

void LumoImageView::Open2ndThroughDialog(const QStringList& chosen)
{
    // The second file open now stays until another one is accepted: a
    // cancelled dialog keeps the comparison and its plot.
    OpenFileDialog dialog(this);
    // Files compared are mostly alike: the first file's values until the
    // chosen file's name tells better.
    dialog.SetStartValues(First().reader.Width(), First().reader.Height(), LayoutIndex(First().reader.Type()));
    if (!chosen.isEmpty())
        dialog.AddChosenFiles(chosen);
    if (dialog.exec() != QDialog::Accepted)
        return;

    lumo::YuvTypeInfo info;
    if (lumo::YuvTypeTable::Instance().GetByIndex(dialog.yuvIndex(), info) != 0) {
        qCDebug(lumoDebug) << "onOpen2ndFile: no layout at index" << dialog.yuvIndex();
        return;
    }
    for (const QString& path : dialog.selectedFiles()) {
        lumo::LumoYuvReader reader;
        QString problem;
        if (!ReaderForChosenFile(path, dialog.width(), dialog.height(), info.name, &reader, &problem)) {
            ShowWarning(problem);
            continue;
        }
        Open2ndFile(reader);
    }
}

void LumoImageView::Open2ndFile(const lumo::LumoYuvReader& reader)
{
    remove2ndFile();
    Add2ndFile(reader);
}

void LumoImageView::dragEnterEvent(QDragEnterEvent* event)
{
    if (!LocalFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void LumoImageView::dropEvent(QDropEvent* event)
{
    const QStringList paths = LocalFiles(event->mimeData());
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    // The dialog runs after the drop has ended, not inside it.
    QTimer::singleShot(0, this, [this, paths] { Open2ndThroughDialog(paths); });
}

void LumoImageView::Add2ndFile(const lumo::LumoYuvReader& reader)
{
    DropSelection();
    Second().reader = reader;

    Second().widget = new YUVWidget(Second().reader, this);
    imageShowLayout_->addWidget(Second().widget);
    ctrBar_->setClose2ndEnabled(true);

    onChannelCheckbox();
    onColorRangeChange(colorRangeGroup_->checkedId());

    Second().chart = new ColorChart(this);
    Second().chart->setObjectName(QStringLiteral("widgetColor2nd"));
    Second().chart->setStyleSheet(QStringLiteral("#widgetColor2nd{border-left: 3px solid #000000;}"));
    colorChartLayout_->addWidget(Second().chart);
    // The second file opens at the frame the first one shows (at its own
    // last frame when it is shorter, where the first one goes too): both
    // views, B−A and the numbers are of one frame pair.
    const int frame = std::min(shownFrame_, Second().reader.GetFrameCount() - 1);
    if (Planes planes = ReadPlanes(Second().reader, frame))
        FillHistogram(Second().chart, Second().reader, planes.get());

    ctrBar_->Add2ndTimeLine(Second().reader);
    connect(Second().widget, &YUVWidget::signalsUpdateRect, this, &LumoImageView::onDrawRect2nd);
    ConnectHover(Second().widget, 1);
    linkViewsCheck_->setEnabled(true);
    // The new view takes the first one's place once the layout has sized it.
    QTimer::singleShot(0, Second().widget, [this] { FollowPlace(First().widget->View()); });
    const bool sameSize = SecondSameSize();
    diffCheckbox_->setEnabled(sameSize);
    diffGainBox_->setEnabled(sameSize);
    ApplyDiff();
    StartSequence();
    Second().widget->SetDrawMode(First().widget->GetDrawMode());
    if (frame >= 0)
        ctrBar_->SelectFrame(frame);
    UpdateRegionLine();
}

void LumoImageView::remove2ndFile()
{
    DropSelection();
    if (Second().widget) {
        inspector_->Forget(1);
        sequence_->Cancel();
        plot_->hide();
        diffCheckbox_->setEnabled(false);
        diffGainBox_->setEnabled(false);
        linkViewsCheck_->setEnabled(false);
        inspector_->Clear();
        imageShowLayout_->removeWidget(Second().widget);
        delete Second().widget;
        Second().widget = nullptr;
        colorChartLayout_->removeWidget(Second().chart);
        delete Second().chart;
        Second().chart = nullptr;
        // Stops the second time line's worker before dropping it.
        ctrBar_->Remove2ndTimeLine();
    }
    ctrBar_->setClose2ndEnabled(false);
    ctrBar_->setMetricText(DashMetricText());
    UpdateRegionLine();
}

void LumoImageView::onClose2ndFile()
{
    qCDebug(lumoDebug) << "onClose2ndFile click";
    remove2ndFile();
}

void LumoImageView::onColorRangeChange(int)
{
    const int previous = colorRangeId_;
    colorRangeId_ = colorRangeGroup_->checkedId();
    for (ShownFile* file : Shown())
        file->widget->SetColorRange(colorRangeId_);
    // SSIM depends on the range: the sequence is compared again.
    if (Second().widget && MetricColorRange(previous) != MetricColorRange(colorRangeId_))
        StartSequence();
    inspector_->Update();
}

void LumoImageView::onGammaValueChanged(double value)
{
    qCDebug(lumoDebug) << value;
    const float gamma = static_cast<float>(value);
    for (ShownFile* file : Shown())
        file->widget->SetGamma(gamma);
    inspector_->Update();
}

void LumoImageView::onDrawRect(float rectStartX, float rectStartY, float rectEndX, float rectEndY)
{
    MirrorRect(0, rectStartX, rectStartY, rectEndX, rectEndY);
}

void LumoImageView::onDrawRect2nd(float rectStartX, float rectStartY, float rectEndX, float rectEndY)
{
    MirrorRect(1, rectStartX, rectStartY, rectEndX, rectEndY);
}

void LumoImageView::MirrorRect(int from, float startX, float startY, float endX, float endY)
{
    const std::vector<ShownFile*> shown = Shown();
    for (size_t i = 0; i < shown.size(); ++i) {
        if (static_cast<int>(i) != from)
            shown[i]->widget->SetRect(startX, startY, endX, endY);
    }
    SetRegion(startX, startY, endX, endY);
}

void LumoImageView::SetRegion(float startX, float startY, float endX, float endY)
{
    // x runs 0 to 1 from the left edge, y 0 to -1 from the top edge. The
    // region holds every pixel the rectangle touches.
    const int w = First().reader.Width(), h = First().reader.Height();
    auto span = [](float a, float b, int size, int& first, int& count) {
        const double lo = std::clamp(static_cast<double>(std::min(a, b)), 0.0, 1.0) * size;
        const double hi = std::clamp(static_cast<double>(std::max(a, b)), 0.0, 1.0) * size;
        first = std::min(static_cast<int>(std::floor(lo)), size - 1);
        count = hi > lo ? static_cast<int>(std::ceil(hi)) - first : 0;
    };
    lumo::Region r;
    span(startX, endX, w, r.x, r.w);
    span(-startY, -endY, h, r.y, r.h);
    roi_ = r.w > 0 && r.h > 0 && lumo::RegionInside(r, w, h) ? r : lumo::Region();
    UpdateRegionLine();
}

void LumoImageView::UpdateRegionLine()
{
    const bool comparable = SecondComparable();
    const int frame = shownFrame_;
    if (!comparable || roi_.w <= 0 || frame >= ctrBar_->CommonFrameCount()) {
        region_->Cancel();
        regionToken_ = 0;
        ctrBar_->setRegionText(QString());
        return;
    }
    lumo::CompareEngine::Settings settings;
    settings.a = First().reader;
    settings.b = Second().reader;
    settings.withSsim = false;
    settings.extra.planeSsim = true;
    settings.region = roi_;
    regionToken_ = region_->Request(settings, frame);
}

void LumoImageView::onDrawCheckBoxChange(int enable)
{
    qCDebug(lumoDebug) << "onDrawCheckBoxChange " << enable;
    const int mode = enable <= 0 ? 1 : 2;
    for (ShownFile* file : Shown())
        file->widget->SetDrawMode(mode);
}

void LumoImageView::workStart()
{
    qCDebug(lumoDebug) << "LumoImageView::workStart";
}

void LumoImageView::workFinished(double ssim, double mse_y, double mse_u, double mse_v, double psnr_y,
                                 double psnr_u, double psnr_v)
{
    qCDebug(lumoDebug) << "LumoImageView::workFinished";
    qCDebug(lumoDebug) << "Y-PSNR :" << psnr_y << ", U-PSNR :" << psnr_u << ", V-PSNR : " << psnr_v;
    qCDebug(lumoDebug) << "Y-MSE :" << mse_y << ", U-MSE :" << mse_u << ", V-MSE : " << mse_v;
    qCDebug(lumoDebug) << "SSIM_GRAY :" << ssim;
    ctrBar_->setMetricText(MetricText(ssim, mse_y, mse_u, mse_v, psnr_y, psnr_u, psnr_v, metricDepth_));
    // The finished job has already released its frames.
    recordLog_->recordMetric(fileDescription(), ssim, psnr_y, psnr_u, psnr_v);
}

void LumoImageView::StopWork()
{
    if (!ctrBar_)
        return;
    ctrBar_->stopPlay();
    ctrBar_->stopSnapshot();
    if (VideoTimeLine* second = ctrBar_->SecondTimeLine())
        second->ClearCache();
}

void LumoImageView::closeEvent(QCloseEvent* event)
{
    sequence_->Cancel();
    StopWork();
    QMainWindow::closeEvent(event);
}

void LumoImageView::BuildShortcuts()
{
    const struct {
        QKeySequence key;
        std::function<void()> action;
    } keys[] = {
        {QKeySequence(Qt::Key_Left), [this] { StepFrames(-1); }},
        {QKeySequence(Qt::Key_Right), [this] { StepFrames(1); }},
        {QKeySequence(Qt::Key_PageUp), [this] { StepFrames(-10); }},
        {QKeySequence(Qt::Key_PageDown), [this] { StepFrames(10); }},
        {QKeySequence(Qt::Key_Home), [this] { SelectFirstFrame(); }},
        {QKeySequence(Qt::Key_End), [this] { SelectLastFrame(); }},
        {QKeySequence(Qt::Key_Space), [this] { ctrBar_->onCtrBtnClick(); }},
        {QKeySequence(Qt::Key_F), [this] { FitViews(); }},
        {QKeySequence(Qt::Key_Plus), [this] { ZoomViews(YUVShowView::kWheelStep); }},
        {QKeySequence(Qt::Key_Equal), [this] { ZoomViews(YUVShowView::kWheelStep); }},
        {QKeySequence(Qt::Key_Minus), [this] { ZoomViews(1.0 / YUVShowView::kWheelStep); }},
        {QKeySequence(Qt::Key_1), [this] { ZoomViews(0.0); }},
        {QKeySequence::Save, [this] { SaveShownFrame(); }},
        {QKeySequence::Copy, [this] { CopyMetricText(); }},
    };
    for (const auto& k : keys) {
        // Window-wide; a focused spin box still takes the keys it edits with.
        auto* shortcut = new QShortcut(k.key, this);
        shortcut->setAutoRepeat(true);
        connect(shortcut, &QShortcut::activated, this, k.action);
    }
}

void LumoImageView::ConnectHover(YUVWidget* widget, int index)
{
    YUVShowView* view = widget->View();
    inspector_->Watch(view, index);
    connect(view, &YUVShowView::placeChanged, this, [this, view] { FollowPlace(view); });
}

void LumoImageView::FollowPlace(YUVShowView* leader)
{
    if (!Second().widget || !linkViewsCheck_->isChecked())
        return;
    YUVShowView* first = First().widget->View();
    YUVShowView* second = Second().widget->View();
    (leader == first ? second : first)->SetPlace(leader->CurrentPlace());
}

void LumoImageView::ZoomViews(double factor)
{
    // The view under the mouse, or the first; a linked view follows. Without
    // the link and the mouse elsewhere both views zoom.
    const std::vector<ShownFile*> shown = Shown();
    const bool linked = shown.size() > 1 && linkViewsCheck_->isChecked();
    const int hoveredView = inspector_->Hovered();
    for (size_t i = 0; i < shown.size(); ++i) {
        const bool hovered = hoveredView == static_cast<int>(i);
        const bool target = hovered || (hoveredView < 0 && (i == 0 || !linked));
        if (!target)
            continue;
        YUVShowView* view = shown[i]->widget->View();
        if (factor > 0)
            view->ZoomAboutCentre(factor);
        else
            view->ShowActualPixels();
        if (linked)
            break;
    }
}

QString LumoImageView::PixelInfoText() const
{
    return inspector_->Text();
}

void LumoImageView::SetDiffShown(bool shown, int gain)
{
    const int index = diffGainBox_->findData(gain);
    if (index >= 0)
        diffGainBox_->setCurrentIndex(index);
    diffCheckbox_->setChecked(shown);
    ApplyDiff();
}

void LumoImageView::ApplyDiff()
{
    if (!Second().widget)
        return;
    const bool on = diffCheckbox_->isEnabled() && diffCheckbox_->isChecked();
    Second().widget->View()->SetDiffReference(on ? First().widget->View() : nullptr,
                                            diffGainBox_->currentData().toInt());
    inspector_->Update();
}

void LumoImageView::StartSequence()
{
    const int frames = SecondSameSize() ? ctrBar_->CommonFrameCount() : 0;
    if (frames <= 0) {
        sequence_->Cancel();
        plot_->hide();
        diffCheckbox_->setEnabled(false);
        diffGainBox_->setEnabled(false);
        inspector_->Clear();
        return;
    }
    plot_->Reset(frames);
    plot_->SetCurrentFrame(shownFrame_);
    plot_->show();
    sequence_->Start(First().reader, Second().reader, frames, MetricColorRange(colorRangeId_), plot_->ShownExtras());
}

void LumoImageView::StepFrames(int delta)
{
    const int count = ctrBar_->CommonFrameCount();
    if (count <= 0)
        return;
    const int64_t target = std::clamp<int64_t>(static_cast<int64_t>(shownFrame_) + delta, 0, count - 1);
    ctrBar_->SelectFrame(static_cast<int>(target));
}

void LumoImageView::SelectFirstFrame()
{
    if (ctrBar_->CommonFrameCount() > 0)
        ctrBar_->SelectFrame(0);
}

void LumoImageView::SelectLastFrame()
{
    const int count = ctrBar_->CommonFrameCount();
    if (count > 0)
        ctrBar_->SelectFrame(count - 1);
}

void LumoImageView::FitViews()
{
    for (ShownFile* file : Shown())
        file->widget->View()->FitFrame();
}

void LumoImageView::CopyMetricText()
{
    QGuiApplication::clipboard()->setText(ctrBar_->metricText());
}
