#include "analysis/LumoImageView.h"

#include "base/DebugLog.h"

#include "render/ColorChart.h"
#include "render/GLLimits.h"
#include "open/ChosenFile.h"
#include "open/OpenFileDialog.h"
#include "yuv/RawFrameSource.h"
#include "online/RecordLog.h"
#include "analysis/MetricPlot.h"
#include "analysis/RegionMetrics.h"
#include "analysis/SequenceMetrics.h"
#include "analysis/VideoCtrBar.h"
#include "analysis/VideoTimeLine.h"
#include "render/PixelMath.h"
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
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QSaveFile>
#include <QShortcut>
#include <QDebug>
#include <QDoubleSpinBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSpacerItem>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <new>

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

LumoImageView::SaveFileChooser& SaveChooser()
{
    static LumoImageView::SaveFileChooser chooser;
    return chooser;
}

// A message that does not block: the window keeps running behind it.
void ShowInformation(const QString& text)
{
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("YuvLumo"), text);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

QString CannotWrite(const QString& path, const QFileDevice& file)
{
    return LumoImageView::tr("无法写入 %1：%2").arg(path, file.errorString());
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

    reader1st_ = reader;
    setWindowTitle(QString::fromStdString(reader1st_.Path()));

    ctrBar_ = new VideoCtrBar(reader1st_, this);
    videoTimeLineLayout_->addWidget(ctrBar_);
    ctrBar_->setMetricText(DashMetricText());

    yuvWidget1st_ = new YUVWidget(reader1st_, this);
    imageShowLayout_->addWidget(yuvWidget1st_);

    colorChart1st_ = new ColorChart(this);
    colorChartLayout_->addWidget(colorChart1st_);
    if (Planes planes = ReadPlanes(reader1st_, 0))
        FillHistogram(colorChart1st_, reader1st_, planes.get());

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
    yuvWidget1st_->SetColorRange(4);

    connect(ctrBar_, &VideoCtrBar::onDrawCheckBoxChange, this, &LumoImageView::onDrawCheckBoxChange);
    connect(yuvWidget1st_, &YUVWidget::signalsUpdateRect, this, &LumoImageView::onDrawRect);

    gammaSpinBox_->setRange(0.0, 10.0);
    gammaSpinBox_->setValue(1.0);
    gammaSpinBox_->setSingleStep(0.1);
    connect(gammaSpinBox_, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &LumoImageView::onGammaValueChanged);

    connect(linkViewsCheck_, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            FollowPlace(yuvWidget1st_->View());
    });

    BuildShortcuts();
    pixelInfoTimer_.setSingleShot(true);
    pixelInfoTimer_.setInterval(100);
    connect(&pixelInfoTimer_, &QTimer::timeout, this, &LumoImageView::UpdatePixelInfo);
    ConnectHover(yuvWidget1st_, 1);

    loader_ = std::make_unique<FrameLoader>();
    connect(loader_.get(), &FrameLoader::planesReady, this, &LumoImageView::onPlanesReady);
    connect(loader_.get(), &FrameLoader::histogramsReady, this, &LumoImageView::onHistogramsReady);
    connect(loader_.get(), &FrameLoader::loadFailed, this, &LumoImageView::onLoadFailed);
    connect(loader_.get(), &FrameLoader::compareSkipped, this, &LumoImageView::onCompareSkipped);
    connect(loader_.get(), &FrameLoader::compared, this, &LumoImageView::onCompared);
    connect(loader_.get(), &FrameLoader::compareStarted, this, &LumoImageView::workStart);

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
    loader_.reset();
    sequence_.reset();
    StopWork();
    // Decoders and decoded frames of encoded files go with the window.
    lumo::ReleaseIdleEncodedSources();
}

void LumoImageView::BuildForm()
{
    setObjectName(QStringLiteral("LumoImageView"));
    resize(1284, 659);
    setWindowTitle(QStringLiteral("MainWindow"));

    centralwidget_ = new QWidget(this);
    centralwidget_->setObjectName(QStringLiteral("centralwidget"));
    auto* verticalLayout3 = new QVBoxLayout(centralwidget_);
    verticalLayout3->setObjectName(QStringLiteral("verticalLayout_3"));

    videoTimeLineLayout_ = new QVBoxLayout();
    videoTimeLineLayout_->setObjectName(QStringLiteral("video_time_line_layout"));
    verticalLayout3->addLayout(videoTimeLineLayout_);

    auto* horizontalLayout = new QHBoxLayout();
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));

    auto* verticalLayout = new QVBoxLayout();
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    verticalLayout->setContentsMargins(8, 8, 8, 8);
    const QSizePolicy fixed(QSizePolicy::Fixed, QSizePolicy::Fixed);
    auto makeBox = [&](QBoxLayout* layout, const char* name, const char* text, bool fixedSize) {
        auto* box = new QCheckBox(QString::fromUtf8(text), centralwidget_);
        box->setObjectName(QString::fromLatin1(name));
        if (fixedSize)
            box->setSizePolicy(fixed);
        layout->addWidget(box);
        return box;
    };
    // Short boxes share rows: with two files, the plot and the control bar
    // above, the window still fits a 1366x768 screen with a panel.
    auto* channelRow = new QHBoxLayout();
    verticalLayout->addLayout(channelRow);
    channelCheckboxY_ = makeBox(channelRow, "channel_checkbox_y", "Y", true);
    channelCheckboxU_ = makeBox(channelRow, "channel_checkbox_u", "U", true);
    channelCheckboxV_ = makeBox(channelRow, "channel_checkbox_v", "V", true);
    verticalLayout->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));

    auto* label2 = new QLabel(QStringLiteral("Range"), centralwidget_);
    label2->setObjectName(QStringLiteral("label_2"));
    verticalLayout->addWidget(label2);
    auto makeRadio = [&](const char* name, const char* text) {
        auto* radio = new QRadioButton(QString::fromUtf8(text), centralwidget_);
        radio->setObjectName(QString::fromLatin1(name));
        verticalLayout->addWidget(radio);
        return radio;
    };
    bt709VideoRange_ = makeRadio("Bt709VideoRange", "BT709 Video");
    bt601VideoRange_ = makeRadio("Bt601VideoRange", "BT601 Video");
    bt601FullRange_ = makeRadio("Bt601FullRange", "BT601 Full");

    auto* gammaOpt = new QVBoxLayout();
    gammaOpt->setObjectName(QStringLiteral("GammaOpt"));
    auto* label = new QLabel(QStringLiteral("Gamma:"), centralwidget_);
    label->setObjectName(QStringLiteral("label"));
    gammaOpt->addWidget(label);
    gammaSpinBox_ = new QDoubleSpinBox(centralwidget_);
    gammaSpinBox_->setObjectName(QStringLiteral("gamma_spin_box"));
    gammaOpt->addWidget(gammaSpinBox_);
    verticalLayout->addLayout(gammaOpt);

    auto* verticalLayout2 = new QVBoxLayout();
    verticalLayout2->setObjectName(QStringLiteral("verticalLayout_2"));
    verticalLayout2->setContentsMargins(0, 0, 0, 0);
    auto* colorRectRow = new QHBoxLayout();
    verticalLayout2->addLayout(colorRectRow);
    colorRectCheckboxY_ = makeBox(colorRectRow, "color_rect_checkbox_y", "Y", false);
    colorRectCheckboxR_ = makeBox(colorRectRow, "color_rect_checkbox_r", "R", false);
    colorRectCheckboxG_ = makeBox(colorRectRow, "color_rect_checkbox_g", "G", false);
    colorRectCheckboxB_ = makeBox(colorRectRow, "color_rect_checkbox_b", "B", false);
    verticalLayout->addLayout(verticalLayout2);
    auto* diffRow = new QHBoxLayout();
    verticalLayout->addLayout(diffRow);
    diffCheckbox_ = makeBox(diffRow, "diff_checkbox", "Diff", false);
    diffCheckbox_->setEnabled(false);
    diffGainBox_ = new QComboBox(centralwidget_);
    diffGainBox_->setObjectName(QStringLiteral("diff_gain_box"));
    for (int gain : {1, 4, 16})
        diffGainBox_->addItem(QStringLiteral("×%1").arg(gain), gain);
    diffGainBox_->setEnabled(false);
    diffRow->addWidget(diffGainBox_);
    // Link views on a row of its own: beside Diff and its gain the column
    // would grow wider than the views can spare.
    linkViewsCheck_ = new QCheckBox(QStringLiteral("Link views"), centralwidget_);
    linkViewsCheck_->setObjectName(QStringLiteral("linkViewsCheck"));
    linkViewsCheck_->setChecked(true);
    linkViewsCheck_->setEnabled(false);
    verticalLayout->addWidget(linkViewsCheck_);
    horizontalLayout->addLayout(verticalLayout);

    auto* verticalLayout4 = new QVBoxLayout();
    verticalLayout4->setObjectName(QStringLiteral("verticalLayout_4"));
    imageShowLayout_ = new QHBoxLayout();
    imageShowLayout_->setObjectName(QStringLiteral("image_show_layout"));
    verticalLayout4->addLayout(imageShowLayout_, 1);
    pixelInfo_ = new QLabel(centralwidget_);
    pixelInfo_->setObjectName(QStringLiteral("pixel_info_label"));
    pixelInfo_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    pixelInfo_->setMinimumHeight(pixelInfo_->fontMetrics().height());
    verticalLayout4->addWidget(pixelInfo_);
    colorChartLayout_ = new QHBoxLayout();
    colorChartLayout_->setObjectName(QStringLiteral("color_chart_layout"));
    verticalLayout4->addLayout(colorChartLayout_);
    horizontalLayout->addLayout(verticalLayout4, 1);
    verticalLayout3->addLayout(horizontalLayout, 1);

    auto* line = new QFrame(centralwidget_);
    line->setObjectName(QStringLiteral("line"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    verticalLayout3->addWidget(line);

    setCentralWidget(centralwidget_);
}

QString LumoImageView::fileDescription() const
{
    // Every placeholder is filled in one pass: a "%2" inside a path must
    // stay as it is.
    QString text;
    if (reader1st_.HasPath()) {
        text = QStringLiteral("[read1 file=%1; size=%2x%3; type=%4]")
                   .arg(QString::fromStdString(reader1st_.Path()), QString::number(reader1st_.Width()),
                        QString::number(reader1st_.Height()), QString::fromStdString(reader1st_.Type()));
    }
    if (reader2nd_.HasPath()) {
        text = QStringLiteral("%1 + [read2 file=%2; size=%3x%4; type=%5]")
                   .arg(text, QString::fromStdString(reader2nd_.Path()), QString::number(reader2nd_.Width()),
                        QString::number(reader2nd_.Height()), QString::fromStdString(reader2nd_.Type()));
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
    return pendingCompare_ != 0 ? 1 : 0;
}

void LumoImageView::onColorRectCheckbox(int stat)
{
    const int y = colorRectCheckboxY_->checkState();
    const int r = colorRectCheckboxR_->checkState();
    const int g = colorRectCheckboxG_->checkState();
    const int b = colorRectCheckboxB_->checkState();
    colorChart1st_->SetShow(y, 0, 0, r, g, b);
    if (colorChart2nd_)
        colorChart2nd_->SetShow(y, 0, 0, r, g, b);
    qCDebug(lumoDebug) << stat;
}

void LumoImageView::onChannelCheckbox()
{
    const int y = channelCheckboxY_->checkState();
    const int u = channelCheckboxU_->checkState();
    const int v = channelCheckboxV_->checkState();
    yuvWidget1st_->SetVisible(y, u, v);
    if (yuvWidget2nd_)
        yuvWidget2nd_->SetVisible(y, u, v);
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
    const bool load =
        select != 0 && FrameFitsTexture(reader1st_.Width(), reader1st_.Height()) && reader1st_.GetFrameSize() > 0;
    const bool sameSize = yuvWidget2nd_ && reader2nd_.Width() == reader1st_.Width() &&
                          reader2nd_.Height() == reader1st_.Height() && reader2nd_.GetFrameSize() > 0;
    if (load) {
        yuvWidget1st_->View()->ExpectPlanes(static_cast<int64_t>(frameIndex) * reader1st_.GetFrameSize());
        if (sameSize)
            yuvWidget2nd_->View()->ExpectPlanes(static_cast<int64_t>(frameIndex) * reader2nd_.GetFrameSize());
    }
    yuvWidget1st_->SetFrameIndex(frameIndex);
    if (yuvWidget2nd_)
        yuvWidget2nd_->SetFrameIndex(frameIndex);
    if (select == 0)
        return;
    plot_->SetCurrentFrame(frameIndex);
    if (roi_.w > 0)
        UpdateRegionLine();
    if (!load)
        return;
    // Files of different depths are not compared; deeper files are compared
    // at their own depth.
    const int depth = reader1st_.BitDepth();
    const bool comparable = sameSize && reader2nd_.BitDepth() == depth;
    // The sequence's table holds the very numbers a comparison of this
    // pair would give (same engine, same range): no comparison to wait for.
    const lumo::FrameMetrics* known = comparable ? sequence_->ResultFor(frameIndex) : nullptr;
    const bool compare = comparable && !known;
    FrameLoader::Request request;
    request.token = ++selectionToken_;
    request.frame = frameIndex;
    request.first = reader1st_;
    request.second = reader2nd_;
    request.withSecond = sameSize;
    request.compare = compare;
    request.depth = depth;
    request.colorRangeCode = MetricColorRange(colorRangeId_);
    selectionFrame_ = frameIndex;
    pendingCompare_ = compare ? request.token : 0;
    if (compare) {
        pendingDepth_ = depth;
    } else if (known) {
        metricDepth_ = known->depth;
        workFinished(known->ssim, known->mse[0], known->mse[1], known->mse[2], known->psnr[0], known->psnr[1],
                     known->psnr[2]);
    } else if (sameSize) {
        ctrBar_->setMetricText(DashMetricText());
    }
    loader_->Load(request);
}

void LumoImageView::onPlanesReady(int token, FrameLoader::Frame first, FrameLoader::Frame second)
{
    if (token != selectionToken_)
        return;
    yuvWidget1st_->View()->AdoptPlanes(static_cast<int64_t>(selectionFrame_) * reader1st_.GetFrameSize(),
                                       first.planes, first.stored);
    if (yuvWidget2nd_) {
        if (second.planes)
            yuvWidget2nd_->View()->AdoptPlanes(static_cast<int64_t>(selectionFrame_) * reader2nd_.GetFrameSize(),
                                               second.planes, second.stored);
        else
            yuvWidget2nd_->View()->CancelExpectedPlanes();
    }
}

void LumoImageView::onHistogramsReady(int token, std::shared_ptr<const FrameLoader::Histograms> histograms)
{
    if (token != selectionToken_)
        return;
    colorChart1st_->SetHistograms(histograms->first);
    if (histograms->hasSecond && colorChart2nd_)
        colorChart2nd_->SetHistograms(histograms->second);
}

void LumoImageView::onLoadFailed(int token)
{
    if (token != selectionToken_)
        return;
    yuvWidget1st_->View()->CancelExpectedPlanes();
    if (yuvWidget2nd_)
        yuvWidget2nd_->View()->CancelExpectedPlanes();
    pendingCompare_ = 0;
}

void LumoImageView::DropSelection()
{
    ++selectionToken_;
    pendingCompare_ = 0;
    // The selection's planes will not come: the first view reads its frame
    // itself instead of waiting for them.
    yuvWidget1st_->View()->CancelExpectedPlanes();
}

void LumoImageView::onCompareSkipped(int token)
{
    if (token == pendingCompare_)
        pendingCompare_ = 0;
}

void LumoImageView::onCompared(int token, double ssim, double mse_y, double mse_u, double mse_v, double psnr_y,
                               double psnr_u, double psnr_v)
{
    // Only the newest selection's result is shown: an older one, or one for
    // a second file closed or replaced since, sends no usage event either.
    if (token != pendingCompare_)
        return;
    pendingCompare_ = 0;
    metricDepth_ = pendingDepth_;
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
    dialog.SetStartValues(reader1st_.Width(), reader1st_.Height(), LayoutIndex(reader1st_.Type()));
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
    reader2nd_ = reader;

    yuvWidget2nd_ = new YUVWidget(reader2nd_, this);
    imageShowLayout_->addWidget(yuvWidget2nd_);
    ctrBar_->setClose2ndEnabled(true);

    onChannelCheckbox();
    onColorRangeChange(colorRangeGroup_->checkedId());

    colorChart2nd_ = new ColorChart(this);
    colorChart2nd_->setObjectName(QStringLiteral("widgetColor2nd"));
    colorChart2nd_->setStyleSheet(QStringLiteral("#widgetColor2nd{border-left: 3px solid #000000;}"));
    colorChartLayout_->addWidget(colorChart2nd_);
    // The second file opens at the frame the first one shows (at its own
    // last frame when it is shorter, where the first one goes too): both
    // views, B−A and the numbers are of one frame pair.
    const int frame = std::min(shownFrame_, reader2nd_.GetFrameCount() - 1);
    if (Planes planes = ReadPlanes(reader2nd_, frame))
        FillHistogram(colorChart2nd_, reader2nd_, planes.get());

    ctrBar_->Add2ndTimeLine(reader2nd_);
    connect(yuvWidget2nd_, &YUVWidget::signalsUpdateRect, this, &LumoImageView::onDrawRect2nd);
    ConnectHover(yuvWidget2nd_, 2);
    linkViewsCheck_->setEnabled(true);
    // The new view takes the first one's place once the layout has sized it.
    QTimer::singleShot(0, yuvWidget2nd_, [this] { FollowPlace(yuvWidget1st_->View()); });
    const bool sameSize = reader2nd_.Width() == reader1st_.Width() && reader2nd_.Height() == reader1st_.Height();
    diffCheckbox_->setEnabled(sameSize);
    diffGainBox_->setEnabled(sameSize);
    ApplyDiff();
    StartSequence();
    yuvWidget2nd_->SetDrawMode(yuvWidget1st_->GetDrawMode());
    if (frame >= 0)
        ctrBar_->SelectFrame(frame);
    UpdateRegionLine();
}

void LumoImageView::remove2ndFile()
{
    DropSelection();
    if (yuvWidget2nd_) {
        if (hoveredView_ == 2)
            hoveredView_ = 0;
        sequence_->Cancel();
        plot_->hide();
        diffCheckbox_->setEnabled(false);
        diffGainBox_->setEnabled(false);
        linkViewsCheck_->setEnabled(false);
        hoverX_ = hoverY_ = -1;
        UpdatePixelInfo();
        imageShowLayout_->removeWidget(yuvWidget2nd_);
        delete yuvWidget2nd_;
        yuvWidget2nd_ = nullptr;
        colorChartLayout_->removeWidget(colorChart2nd_);
        delete colorChart2nd_;
        colorChart2nd_ = nullptr;
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
    yuvWidget1st_->SetColorRange(colorRangeId_);
    if (yuvWidget2nd_)
        yuvWidget2nd_->SetColorRange(colorRangeId_);
    // SSIM depends on the range: the sequence is compared again.
    if (yuvWidget2nd_ && MetricColorRange(previous) != MetricColorRange(colorRangeId_))
        StartSequence();
    UpdatePixelInfo();
}

void LumoImageView::onGammaValueChanged(double value)
{
    qCDebug(lumoDebug) << value;
    const float gamma = static_cast<float>(value);
    yuvWidget1st_->SetGamma(gamma);
    if (yuvWidget2nd_)
        yuvWidget2nd_->SetGamma(gamma);
    UpdatePixelInfo();
}

void LumoImageView::onDrawRect(float rectStartX, float rectStartY, float rectEndX, float rectEndY)
{
    if (yuvWidget2nd_)
        yuvWidget2nd_->SetRect(rectStartX, rectStartY, rectEndX, rectEndY);
    SetRegion(rectStartX, rectStartY, rectEndX, rectEndY);
}

void LumoImageView::onDrawRect2nd(float rectStartX, float rectStartY, float rectEndX, float rectEndY)
{
    yuvWidget1st_->SetRect(rectStartX, rectStartY, rectEndX, rectEndY);
    SetRegion(rectStartX, rectStartY, rectEndX, rectEndY);
}

void LumoImageView::SetRegion(float startX, float startY, float endX, float endY)
{
    // x runs 0 to 1 from the left edge, y 0 to -1 from the top edge. The
    // region holds every pixel the rectangle touches.
    const int w = reader1st_.Width(), h = reader1st_.Height();
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
    const bool comparable = yuvWidget2nd_ && reader2nd_.Width() == reader1st_.Width() &&
                            reader2nd_.Height() == reader1st_.Height() &&
                            reader2nd_.BitDepth() == reader1st_.BitDepth();
    const int frame = shownFrame_;
    if (!comparable || roi_.w <= 0 || frame >= ctrBar_->CommonFrameCount()) {
        region_->Cancel();
        regionToken_ = 0;
        ctrBar_->setRegionText(QString());
        return;
    }
    lumo::CompareEngine::Settings settings;
    settings.a = reader1st_;
    settings.b = reader2nd_;
    settings.withSsim = false;
    settings.extra.planeSsim = true;
    settings.region = roi_;
    regionToken_ = region_->Request(settings, frame);
}

void LumoImageView::onDrawCheckBoxChange(int enable)
{
    qCDebug(lumoDebug) << "onDrawCheckBoxChange " << enable;
    const int mode = enable <= 0 ? 1 : 2;
    yuvWidget1st_->SetDrawMode(mode);
    if (yuvWidget2nd_)
        yuvWidget2nd_->SetDrawMode(mode);
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

void LumoImageView::ConnectHover(YUVWidget* widget, int which)
{
    YUVShowView* view = widget->View();
    connect(view, &YUVShowView::pixelHovered, this, [this, which](int x, int y) {
        hoveredView_ = which;
        hoverX_ = x;
        hoverY_ = y;
        UpdatePixelInfo();
    });
    connect(view, &YUVShowView::mouseLeft, this, [this, which] {
        if (hoveredView_ != which)
            return;
        hoveredView_ = 0;
        hoverX_ = hoverY_ = -1;
        UpdatePixelInfo();
    });
    // The values follow the frame while the mouse rests, a few times a
    // second at most during playback.
    auto follow = [this] {
        if (hoverX_ >= 0 && !pixelInfoTimer_.isActive())
            pixelInfoTimer_.start();
    };
    connect(view, &YUVShowView::planesChanged, this, follow);
    connect(view, &QOpenGLWidget::frameSwapped, this, follow);
    connect(view, &YUVShowView::placeChanged, this, [this, view] { FollowPlace(view); });
}

void LumoImageView::FollowPlace(YUVShowView* leader)
{
    if (!yuvWidget2nd_ || !linkViewsCheck_->isChecked())
        return;
    YUVShowView* first = yuvWidget1st_->View();
    YUVShowView* second = yuvWidget2nd_->View();
    (leader == first ? second : first)->SetPlace(leader->CurrentPlace());
}

void LumoImageView::ZoomViews(double factor)
{
    // The view under the mouse, or the first; a linked view follows. Without
    // the link and the mouse elsewhere both views zoom.
    YUVShowView* views[2] = {yuvWidget1st_->View(), yuvWidget2nd_ ? yuvWidget2nd_->View() : nullptr};
    const bool linked = views[1] && linkViewsCheck_->isChecked();
    for (int i = 0; i < 2; ++i) {
        const bool hovered = hoveredView_ == i + 1;
        const bool target = hovered || (hoveredView_ == 0 && (i == 0 || !linked));
        if (!views[i] || !target)
            continue;
        if (factor > 0)
            views[i]->ZoomAboutCentre(factor);
        else
            views[i]->ShowActualPixels();
        if (linked)
            break;
    }
}

QString LumoImageView::PixelInfoText() const
{
    if (hoverX_ < 0 || hoverY_ < 0)
        return QString();
    YUVShowView* views[2] = {yuvWidget1st_->View(), yuvWidget2nd_ ? yuvWidget2nd_->View() : nullptr};
    // The file's own samples, at its depth, and the 8-bit ones the view
    // draws (the same for 8-bit files).
    int samples[2][3] = {};
    int drawn[2][3] = {};
    bool has[2] = {false, false};
    for (int i = 0; i < 2; ++i)
        has[i] = views[i] && views[i]->SampleAt(hoverX_, hoverY_, samples[i]) &&
                 views[i]->ShownSampleAt(hoverX_, hoverY_, drawn[i]);
    QString text = QStringLiteral("x %1, y %2").arg(hoverX_).arg(hoverY_);
    for (int i = 0; i < 2; ++i) {
        if (!has[i])
            continue;
        // What the view draws there: the samples at their depth, or the
        // 8-bit difference in a difference view.
        int rgb[3];
        if (views[i]->ShowsDiff() && has[0]) {
            const int gain = diffGainBox_->currentData().toInt();
            int shown[3];
            for (int p = 0; p < 3; ++p)
                shown[p] = std::clamp(128 + gain * (drawn[i][p] - drawn[0][p]), 0, 255);
            FrameShaderRgb(views[i]->ColorRange(), gammaSpinBox_->value(), 8, shown[0], shown[1], shown[2], rgb);
        } else {
            FrameShaderRgb(views[i]->ColorRange(), gammaSpinBox_->value(), views[i]->BitDepth(), samples[i][0],
                           samples[i][1], samples[i][2], rgb);
        }
        text += QStringLiteral("    %1Y %2 U %3 V %4 → R %5 G %6 B %7")
                    .arg(views[1] ? (i == 0 ? QStringLiteral("A: ") : QStringLiteral("B: ")) : QString())
                    .arg(samples[i][0])
                    .arg(samples[i][1])
                    .arg(samples[i][2])
                    .arg(rgb[0])
                    .arg(rgb[1])
                    .arg(rgb[2]);
    }
    // Files of different depths are not compared.
    if (has[0] && has[1] && views[0]->BitDepth() != views[1]->BitDepth()) {
        text += QStringLiteral("    B−A: -");
    } else if (has[0] && has[1]) {
        auto signedText = [](int d) { return d > 0 ? QStringLiteral("+%1").arg(d) : QString::number(d); };
        text += QStringLiteral("    B−A: Y %1 U %2 V %3")
                    .arg(signedText(samples[1][0] - samples[0][0]), signedText(samples[1][1] - samples[0][1]),
                         signedText(samples[1][2] - samples[0][2]));
    }
    return text;
}

void LumoImageView::UpdatePixelInfo()
{
    pixelInfo_->setText(PixelInfoText());
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
    if (!yuvWidget2nd_)
        return;
    const bool on = diffCheckbox_->isEnabled() && diffCheckbox_->isChecked();
    yuvWidget2nd_->View()->SetDiffReference(on ? yuvWidget1st_->View() : nullptr,
                                            diffGainBox_->currentData().toInt());
    UpdatePixelInfo();
}

void LumoImageView::StartSequence()
{
    const bool sameSize = yuvWidget2nd_ && reader2nd_.Width() == reader1st_.Width() &&
                          reader2nd_.Height() == reader1st_.Height();
    const int frames = sameSize ? ctrBar_->CommonFrameCount() : 0;
    if (frames <= 0) {
        sequence_->Cancel();
        plot_->hide();
        diffCheckbox_->setEnabled(false);
        diffGainBox_->setEnabled(false);
        hoverX_ = hoverY_ = -1;
        UpdatePixelInfo();
        return;
    }
    plot_->Reset(frames);
    plot_->SetCurrentFrame(shownFrame_);
    plot_->show();
    sequence_->Start(reader1st_, reader2nd_, frames, MetricColorRange(colorRangeId_), plot_->ShownExtras());
}

void LumoImageView::SaveSequenceCsv()
{
    if (!sequence_->IsFinished())
        return;
    const QFileInfo first(QString::fromStdString(reader1st_.Path()));
    const QFileInfo second(QString::fromStdString(reader2nd_.Path()));
    const QString suggested =
        first.dir().filePath(QStringLiteral("%1_vs_%2.csv").arg(first.completeBaseName(), second.completeBaseName()));
    const QString path = ChooseSaveFile(this, QStringLiteral("Save CSV"), suggested, QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    const std::string csv = sequence_->Csv(plot_->ShownExtras());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(csv.data(), static_cast<qint64>(csv.size())) != static_cast<qint64>(csv.size()) || !file.commit())
        ShowInformation(CannotWrite(path, file));
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
    yuvWidget1st_->View()->FitFrame();
    if (yuvWidget2nd_)
        yuvWidget2nd_->View()->FitFrame();
}

void LumoImageView::SetSaveFileChooser(SaveFileChooser chooser)
{
    SaveChooser() = std::move(chooser);
}

QString LumoImageView::ChooseSaveFile(QWidget* parent, const QString& caption, const QString& suggested,
                                      const QString& filter)
{
    if (SaveChooser())
        return SaveChooser()(parent, caption, suggested, filter);
    return QFileDialog::getSaveFileName(parent, caption, suggested, filter);
}

void LumoImageView::SaveShownFrame()
{
    const bool second = yuvWidget2nd_ && hoveredView_ == 2;
    const lumo::LumoYuvReader& reader = second ? reader2nd_ : reader1st_;
    const int frame = shownFrame_;
    const QFileInfo source(QString::fromStdString(reader.Path()));
    const QString suggested =
        source.dir().filePath(QStringLiteral("%1_frame%2.png").arg(source.completeBaseName()).arg(frame));
    const QString path = ChooseSaveFile(this, QStringLiteral("Save frame %1").arg(frame), suggested,
                                        QStringLiteral("PNG (*.png)"));
    if (path.isEmpty())
        return;

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        ShowInformation(CannotWrite(path, file));
        return;
    }
    auto sink = [&](const void* data, size_t size) {
        return file.write(static_cast<const char*>(data), static_cast<qint64>(size)) == static_cast<qint64>(size);
    };
    // What the view draws, without anything drawn over it: the frame through
    // the window's range and gamma, or the difference picture.
    const double gamma = gammaSpinBox_->value();
    YUVShowView* view = second ? yuvWidget2nd_->View() : yuvWidget1st_->View();
    const lumo::FramePngStatus status = view->ShowsDiff() ? SaveDiffPicture(gamma, sink)
                                                          : lumo::WriteFramePng(reader, frame, colorRangeId_, gamma, sink);
    if (status == lumo::FramePngStatus::Ok && file.commit())
        return;
    file.cancelWriting();
    if (status == lumo::FramePngStatus::ReadFailed)
        ShowInformation(tr("无法读取第 %1 帧").arg(frame));
    else
        ShowInformation(CannotWrite(path, file));
}

lumo::FramePngStatus LumoImageView::SaveDiffPicture(
    double gamma, const std::function<bool(const void* data, size_t size)>& sink) const
{
    const YUVShowView* first = yuvWidget1st_->View();
    const YUVShowView* second = yuvWidget2nd_->View();
    const uint8_t* a = first->ShownPlanes();
    const uint8_t* b = second->ShownPlanes();
    const int w = first->FrameWidth();
    const int h = first->FrameHeight();
    lumo::ColorMatrix matrix;
    if (!a || !b || w != second->FrameWidth() || h != second->FrameHeight() ||
        !lumo::MatrixFor(colorRangeId_, 8, &matrix))
        return lumo::FramePngStatus::ReadFailed;
    const size_t n = 3 * static_cast<size_t>(w) * static_cast<size_t>(h);
    std::unique_ptr<uint8_t[]> diff(new (std::nothrow) uint8_t[n]);
    std::unique_ptr<uint16_t[]> planes(new (std::nothrow) uint16_t[n]);
    if (!diff || !planes)
        return lumo::FramePngStatus::EncodeFailed;
    DiffSamples(a, b, n, diffGainBox_->currentData().toInt(), diff.get());
    std::copy(diff.get(), diff.get() + n, planes.get());
    diff.reset();
    return lumo::WritePlanesPng(planes.get(), w, h, matrix, gamma, sink);
}

void LumoImageView::CopyMetricText()
{
    QGuiApplication::clipboard()->setText(ctrBar_->metricText());
}
