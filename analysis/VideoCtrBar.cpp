#include "analysis/VideoCtrBar.h"

#include "base/DebugLog.h"

#include "online/RecordLog.h"
#include "analysis/SnapshotThread.h"
#include "analysis/VideoTimeLine.h"
#include "yuv/YuvGuess.h"

#include <QCheckBox>
#include <QDebug>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

VideoCtrBar::VideoCtrBar(const lumo::LumoYuvReader& reader, QWidget* parent) : QWidget(parent)
{
    BuildForm();
    recordLog_ = new RecordLog(this);

    reader1st_ = reader;
    frameCount1st_ = reader1st_.GetFrameCount();

    timeLine1st_ = new VideoTimeLine(reader1st_, this);
    timeLineLayout_->addWidget(timeLine1st_);

    frameTimer_ = new QTimer(this);
    frameTimer_->setInterval(40);

    drawCheckBox_->setChecked(false);
    connect(drawCheckBox_, &QCheckBox::stateChanged, this, &VideoCtrBar::onDrawCheckBoxSelect);

    connect(frameTimer_, &QTimer::timeout, this, &VideoCtrBar::onFrameTimeout);
    connect(open2_, &QPushButton::clicked, this, &VideoCtrBar::onOpen2BtnClick);
    connect(close2_, &QPushButton::clicked, this, &VideoCtrBar::onClose2BtnClick);
    connect(ctrBtn_, &QPushButton::clicked, this, &VideoCtrBar::onCtrBtnClick);
    connect(timeLine1st_, &VideoTimeLine::onSelectFrame, this, &VideoCtrBar::onSelectFrame);

    ctrFpsSpin_->setValue(25);
    // A rate the file states (its Y4M header, or a name like park_joy_1080p50)
    // replaces the 25, rounded into the box's range. Only here, when the
    // window opens: later the box is the user's.
    if (reader1st_.HasPath()) {
        const lumo::YuvGuess guess = lumo::GuessFile(reader1st_.Path());
        if (guess.HasRate())
            ctrFpsSpin_->setValue(std::clamp(static_cast<int>(std::lround(std::min(guess.fps, 1e6))), 1,
                                             ctrFpsSpin_->maximum()));
    }
    close2_->setEnabled(false);
}

VideoCtrBar::~VideoCtrBar()
{
    frameTimer_->stop();
    // The time lines stop and wait for their workers when destroyed.
}

void VideoCtrBar::BuildForm()
{
    setObjectName(QStringLiteral("VideoCtrBar"));
    resize(944, 250);
    setWindowTitle(QStringLiteral("Form"));

    horizontalLayout_ = new QHBoxLayout(this);
    horizontalLayout_->setObjectName(QStringLiteral("horizontalLayout"));

    verticalLayout_ = new QVBoxLayout();
    verticalLayout_->setObjectName(QStringLiteral("verticalLayout"));
    verticalLayout_->setContentsMargins(-1, -1, 10, -1);
    const QSizePolicy fixed(QSizePolicy::Fixed, QSizePolicy::Fixed);
    auto makeButton = [&](const char* name, const char* text) {
        auto* button = new QPushButton(QString::fromUtf8(text), this);
        button->setObjectName(QString::fromLatin1(name));
        button->setSizePolicy(fixed);
        verticalLayout_->addWidget(button);
        return button;
    };
    open2_ = makeButton("open2", "Open 2nd YUV");
    close2_ = makeButton("close2", "Close 2nd YUV");
    ctrBtn_ = makeButton("ctr_btn", "Play");
    drawCheckBox_ = new QCheckBox(QStringLiteral("Draw ROI Rect"), this);
    drawCheckBox_->setObjectName(QStringLiteral("drawCheckBox"));
    verticalLayout_->addWidget(drawCheckBox_);
    ctrFpsSpin_ = new QSpinBox(this);
    ctrFpsSpin_->setObjectName(QStringLiteral("ctr_fps_spin"));
    ctrFpsSpin_->setSizePolicy(fixed);
    verticalLayout_->addWidget(ctrFpsSpin_);
    horizontalLayout_->addLayout(verticalLayout_);

    verticalLayout2_ = new QVBoxLayout();
    verticalLayout2_->setObjectName(QStringLiteral("verticalLayout_2"));
    timeLineLayout_ = new QHBoxLayout();
    timeLineLayout_->setObjectName(QStringLiteral("time_line_layout"));
    timeLineLayout_->setContentsMargins(10, -1, -1, -1);
    verticalLayout2_->addLayout(timeLineLayout_);

    horizontalLayout2_ = new QHBoxLayout();
    horizontalLayout2_->setObjectName(QStringLiteral("horizontalLayout_2"));
    const QSizePolicy labelPolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    auto makeLabel = [&](const char* name) {
        auto* label = new QLabel(QStringLiteral("-"), this);
        label->setObjectName(QString::fromLatin1(name));
        label->setSizePolicy(labelPolicy);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        horizontalLayout2_->addWidget(label);
        return label;
    };
    ssimLabel_ = makeLabel("ssim_label");
    psnrLabel_ = makeLabel("psnr_label");
    psnrLabel_->setMargin(0);
    psnrLabel_->setIndent(6);
    verticalLayout2_->addLayout(horizontalLayout2_);
    regionLabel_ = new QLabel(this);
    regionLabel_->setObjectName(QStringLiteral("region_label"));
    regionLabel_->setSizePolicy(labelPolicy);
    regionLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    regionLabel_->hide();
    verticalLayout2_->addWidget(regionLabel_);
    horizontalLayout_->addLayout(verticalLayout2_);
}

void VideoCtrBar::stopPlay()
{
    const bool was = frameTimer_->isActive();
    frameTimer_->stop();
    ctrBtn_->setText(QStringLiteral("Play"));
    if (was)
        emit playingChanged(false);
}

void VideoCtrBar::stopSnapshot()
{
    timeLine1st_->ClearCache();
}

void VideoCtrBar::setClose2ndEnabled(bool enabled)
{
    close2_->setEnabled(enabled);
}

void VideoCtrBar::setMetricText(const QString& text)
{
    psnrLabel_->setText(text);
}

QString VideoCtrBar::metricText() const
{
    return psnrLabel_->text();
}

void VideoCtrBar::setRegionText(const QString& text)
{
    regionLabel_->setText(text);
    regionLabel_->setVisible(!text.isEmpty());
}

QString VideoCtrBar::regionText() const
{
    return regionLabel_->text();
}

void VideoCtrBar::SelectFrame(int frameIndex)
{
    if (frameIndex < 0)
        return;
    onSelectFrame(frameIndex, 1);
    if (frameIndex < frameCount1st_)
        timeLine1st_->RevealFrame(frameIndex);
    if (timeLine2nd_ && frameIndex < frameCount2nd_)
        timeLine2nd_->RevealFrame(frameIndex);
}

int VideoCtrBar::CommonFrameCount() const
{
    return timeLine2nd_ ? std::min(frameCount1st_, frameCount2nd_) : frameCount1st_;
}

bool VideoCtrBar::IsPlaying() const
{
    return frameTimer_->isActive();
}

QString VideoCtrBar::fileDescription() const
{
    // Single-pass arg(): a '%' in a path is kept as it is.
    QString text;
    if (reader1st_.HasPath())
        text = QStringLiteral("[read1 file=%1; size=%2x%3; type=%4]")
                   .arg(QString::fromStdString(reader1st_.Path()), QString::number(reader1st_.Width()),
                        QString::number(reader1st_.Height()), QString::fromStdString(reader1st_.Type()));
    if (reader2nd_.HasPath())
        text = QStringLiteral("%1 + [read2 file=%2; size=%3x%4; type=%5]")
                   .arg(text, QString::fromStdString(reader2nd_.Path()), QString::number(reader2nd_.Width()),
                        QString::number(reader2nd_.Height()), QString::fromStdString(reader2nd_.Type()));
    return text;
}

void VideoCtrBar::Add2ndTimeLine(const lumo::LumoYuvReader& _reader2nd)
{
    if (timeLine2nd_)
        Remove2ndTimeLine();
    reader2nd_ = _reader2nd;
    frameCount2nd_ = reader2nd_.GetFrameCount();
    timeLine2nd_ = new VideoTimeLine(reader2nd_, this);
    timeLineLayout_->addWidget(timeLine2nd_);
    connect(timeLine2nd_, &VideoTimeLine::onSelectFrame, this, &VideoCtrBar::onSelectFrame);
    recordLog_->recordOpen2nd(fileDescription());
}

void VideoCtrBar::Remove2ndTimeLine()
{
    if (timeLine2nd_) {
        timeLineLayout_->removeWidget(timeLine2nd_);
        timeLine2nd_->hide();
        // Stop the worker before the time line and its cache go.
        timeLine2nd_->Worker()->stopWork();
        delete timeLine2nd_;
        timeLine2nd_ = nullptr;
    }
    frameCount2nd_ = -1;
}

void VideoCtrBar::onCtrBtnClick()
{
    const QString description = fileDescription();
    if (!frameTimer_->isActive()) {
        const int fps = ctrFpsSpin_->value();
        if (fps < 1)
            return;
        frameTimer_->setInterval(1000 / fps);
        frameTimer_->start();
        ctrBtn_->setText(QStringLiteral("Pause"));
        recordLog_->recordPlayStart(description, fps);
        emit playingChanged(true);
    } else {
        frameTimer_->stop();
        ctrBtn_->setText(QStringLiteral("Play"));
        recordLog_->recordPlayStop(description);
        emit playingChanged(false);
    }
}

void VideoCtrBar::onOpen2BtnClick()
{
    emit onOpen2ndFile();
}

void VideoCtrBar::onClose2BtnClick()
{
    emit onClose2ndFile();
}

void VideoCtrBar::onFrameTimeout()
{
    emit onFrameCtrRefresh(currentIndex_, 0);
    timeLine1st_->setCurrentFrame(currentIndex_, 1);
    if (timeLine2nd_)
        timeLine2nd_->setCurrentFrame(currentIndex_, 1);

    // Loop over the frames both files have.
    ++currentIndex_;
    if (currentIndex_ >= frameCount1st_ || (timeLine2nd_ && currentIndex_ >= frameCount2nd_))
        currentIndex_ = 0;
}

void VideoCtrBar::onSelectFrame(int frameIndex, int select)
{
    // The time lines never report a negative index; nothing to show for one.
    if (frameIndex < 0)
        return;
    currentIndex_ = frameIndex;
    emit onFrameCtrRefresh(frameIndex, select);
    if (currentIndex_ < frameCount1st_)
        timeLine1st_->setCurrentFrame(currentIndex_, 0);
    if (timeLine2nd_ && currentIndex_ < frameCount2nd_)
        timeLine2nd_->setCurrentFrame(currentIndex_, 0);
}

void VideoCtrBar::onDrawCheckBoxSelect(int state)
{
    qCDebug(lumoDebug) << "onDrawCheckBoxSelect : " << state;
    emit onDrawCheckBoxChange(state);
}
