#include "open/OpenFileDialog.h"

#include "base/DebugLog.h"

#include <exception>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QDebug>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpacerItem>
#include <QSpinBox>
#include <QVBoxLayout>

#include "open/ChosenFile.h"
#include "open/OpenFileConvThread.h"
#include "online/RecordLog.h"
#include "yuv/YuvTypeTable.h"

namespace {

const char kTitle[] = QT_TRANSLATE_NOOP("OpenFileDialog", "选择文件类型并打开");

QStringList NativeChooser(QWidget* parent, const QString& title, const QString& startDir, const QString& filter)
{
    QFileDialog chooser(parent, title, startDir, filter);
    chooser.setFileMode(QFileDialog::ExistingFiles);
    chooser.setViewMode(QFileDialog::Detail);
    if (chooser.exec() != QDialog::Accepted)
        return {};
    return chooser.selectedFiles();
}

// Raw YUV files by the extensions they are usually given, then anything.
QString RawYuvFilter()
{
    return OpenFileDialog::tr("YUV 文件 (%1)")
               .arg(QStringLiteral("*.yuv *.y4m *.raw *.nv12 *.nv21 *.i420 *.yv12 *.yuyv *.uyvy *.p010")) +
           QStringLiteral(";;") + OpenFileDialog::tr("所有文件 (*)");
}

OpenFileDialog::FileChooser& Chooser()
{
    static OpenFileDialog::FileChooser chooser = NativeChooser;
    return chooser;
}

QFrame* HorizontalLine(const QString& name, QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setObjectName(name);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QPushButton* Button(const QString& name, const QString& text, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    return button;
}

QSpinBox* SizeSpinBox(const QString& name, QWidget* parent)
{
    auto* box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(0, 100000);
    box->setSingleStep(1);
    box->setValue(0);
    return box;
}

} // namespace

OpenFileDialog::OpenFileDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("OpenFileDialog"));
    resize(400, 397);
    setWindowTitle(QStringLiteral("Dialog"));

    auto* column = new QVBoxLayout(this);
    auto* pickRow = new QHBoxLayout;
    open_file_btn_ = Button(QStringLiteral("open_file_btn"), tr("打开YUV"), this);
    open_file_video_ = Button(QStringLiteral("open_file_video"), tr("视频"), this);
    open_file_image_ = Button(QStringLiteral("open_file_image"), tr("图片"), this);
    open_file_in_place_ = Button(QStringLiteral("open_file_in_place"), tr("直接打开视频"), this);
    open_file_in_place_->setToolTip(tr("不转换为 YUV 文件，直接解码读取视频"));
    pickRow->addWidget(open_file_btn_);
    pickRow->addWidget(open_file_video_);
    pickRow->addWidget(open_file_image_);
    pickRow->addWidget(open_file_in_place_);
    column->addLayout(pickRow);

    open_file_path_label_ = new QLabel(QStringLiteral("TextLabel"), this);
    open_file_path_label_->setObjectName(QStringLiteral("open_file_path_label"));
    open_file_path_label_->setWordWrap(true);
    column->addWidget(open_file_path_label_);
    column->addWidget(HorizontalLine(QStringLiteral("line"), this));

    yuv_type_list_layout_ = new QVBoxLayout;
    yuv_type_list_layout_->setObjectName(QStringLiteral("yuv_type_list_layout"));
    // Rows close together: the list holds every layout and the dialog must
    // still fit a 1366x768 screen.
    yuv_type_list_layout_->setSpacing(0);
    column->addLayout(yuv_type_list_layout_);
    column->addWidget(HorizontalLine(QStringLiteral("line_2"), this));

    auto* widthRow = new QHBoxLayout;
    auto* widthLabel = new QLabel(QStringLiteral("W:"), this);
    widthLabel->setObjectName(QStringLiteral("label"));
    width_spin_box_ = SizeSpinBox(QStringLiteral("width_spin_box"), this);
    widthRow->addWidget(widthLabel);
    widthRow->addWidget(width_spin_box_);
    column->addLayout(widthRow);
    auto* heightRow = new QHBoxLayout;
    auto* heightLabel = new QLabel(QStringLiteral("H:"), this);
    heightLabel->setObjectName(QStringLiteral("label_2"));
    height_spin_box_ = SizeSpinBox(QStringLiteral("height_spin_box"), this);
    heightRow->addWidget(heightLabel);
    heightRow->addWidget(height_spin_box_);
    column->addLayout(heightRow);
    column->addWidget(HorizontalLine(QStringLiteral("line_3"), this));
    column->addItem(new QSpacerItem(20, 174, QSizePolicy::Minimum, QSizePolicy::Expanding));

    auto* okRow = new QHBoxLayout;
    okRow->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    open_file_cancel_ = Button(QStringLiteral("open_file_cancel"), tr("取消"), this);
    open_file_ok_ = Button(QStringLiteral("open_file_ok"), tr("确认"), this);
    okRow->addWidget(open_file_cancel_);
    okRow->addWidget(open_file_ok_);
    column->addLayout(okRow);

    picked_names_.clear();
    setWindowTitle(tr(kTitle));
    type_group_ = new QButtonGroup(this);
    type_group_->setExclusive(true);
    open_file_path_label_->setText(QString());

    // The layouts deeper than 8 bits form a second group under the 8-bit
    // ones, three to a row.
    QGridLayout* deepGroup = nullptr;
    int deepCount = 0;
    const lumo::YuvTypeTable& table = lumo::YuvTypeTable::Instance();
    for (int i = 0; i < table.Count(); ++i) {
        lumo::YuvTypeInfo info;
        table.GetByIndex(i, info);
        const QString description = QString::fromStdString(info.description);
        auto* radio = new QRadioButton(description, this);
        type_group_->addButton(radio, i);
        qCDebug(lumoDebug) << "===> idx: " << i << " name: " << description;
        if (info.bitDepth <= 8) {
            yuv_type_list_layout_->addWidget(radio);
            continue;
        }
        if (!deepGroup) {
            yuv_type_list_layout_->addWidget(HorizontalLine(QStringLiteral("line_deep"), this));
            deepGroup = new QGridLayout;
            deepGroup->setObjectName(QStringLiteral("yuv_deep_type_layout"));
            deepGroup->setVerticalSpacing(0);
            yuv_type_list_layout_->addLayout(deepGroup);
        }
        deepGroup->addWidget(radio, deepCount / 3, deepCount % 3);
        ++deepCount;
    }

    // A field the user or a guess changes no longer holds its start value.
    connect(width_spin_box_, QOverload<int>::of(&QSpinBox::valueChanged), this, [this] { startWidth_ = false; });
    connect(height_spin_box_, QOverload<int>::of(&QSpinBox::valueChanged), this, [this] { startHeight_ = false; });
    connect(type_group_, &QButtonGroup::idToggled, this, [this] { startLayout_ = false; });

    connect(open_file_btn_, &QPushButton::clicked, this, &OpenFileDialog::OpenFileClickListener);
    connect(open_file_video_, &QPushButton::clicked, this, &OpenFileDialog::OpenMediaClickListener);
    connect(open_file_image_, &QPushButton::clicked, this, &OpenFileDialog::OpenMediaClickListener);
    connect(open_file_in_place_, &QPushButton::clicked, this, &OpenFileDialog::OpenInPlaceClickListener);
    connect(open_file_ok_, &QPushButton::clicked, this, &OpenFileDialog::OkClickListener);
    connect(open_file_cancel_, &QPushButton::clicked, this, &OpenFileDialog::CancelClickListener);
    record_log_ = new RecordLog(this);
}

OpenFileDialog::~OpenFileDialog() = default;

void OpenFileDialog::SetFileChooser(FileChooser chooser)
{
    Chooser() = chooser ? std::move(chooser) : FileChooser(NativeChooser);
}

bool OpenFileDialog::ChooseFiles(const QString& filter, QStringList& paths)
{
    try {
        paths = Chooser()(this, tr(kTitle), ChooserStartDir(), filter);
    } catch (...) {
        record_log_->recordError(
            QStringLiteral("OpenFileDialog"), QStringLiteral("OpenFile"), QStringLiteral("OpenFileBtnClick"),
            QStringLiteral("ERROR:[function]OpenFileDialog::OpenFileClickListener;[child function]fileDialog->exec() "
                           "[child function] fileDialog->selectedFiles()"));
        return false;
    }
    if (paths.isEmpty())
        return false;
    RememberOpenedFolder(paths);
    return true;
}

void OpenFileDialog::NotePicked(const QStringList& paths)
{
    for (const QString& path : paths) {
        picked_names_ += QFileInfo(path).fileName() + QStringLiteral(";");
        open_file_path_label_->setText(picked_names_);
    }
}

void OpenFileDialog::OpenFileClickListener()
{
    QStringList paths;
    if (!ChooseFiles(RawYuvFilter(), paths))
        return;
    AddChosenFiles(paths);
}

void OpenFileDialog::AddChosenFiles(const QStringList& paths)
{
    RememberOpenedFolder(paths);
    QStringList accepted;
    QStringList problems;
    QStringList media;
    for (const QString& path : paths) {
        // Encoded video is read in place; what does not decode, and
        // pictures, are converted.
        if (LooksLikeMedia(path) && !GuessChosenFile(path).isEncoded) {
            media.append(path);
            continue;
        }
        const QString problem = Y4mProblem(path, GuessChosenFile(path));
        if (problem.isEmpty())
            accepted.append(path);
        else
            problems.append(problem);
    }
    if (!problems.isEmpty())
        Warn(problems.join(QLatin1Char('\n')));
    NotePicked(accepted);
    selected_files_ += accepted;
    // A dropped video or picture is converted, as if picked with "视频".
    if (!media.isEmpty())
        ConvertMedia(media);
    if (selected_files_.isEmpty())
        return;
    // What is known of the first file; the default layout is left to the user.
    const lumo::FileGeometry known = ChosenGeometry(GuessChosenFile(selected_files_.first()));
    Prefill(known.width, known.height, known.typeFrom == lumo::GeometryOrigin::Default ? -1 : LayoutIndex(known.type));
}

void OpenFileDialog::Prefill(int width, int height, int yuvIndex)
{
    // Only what is still empty or at its start value: a guess never
    // overrides what the user set.
    if (width > 0 && (width_spin_box_->value() == 0 || startWidth_))
        width_spin_box_->setValue(width);
    if (height > 0 && (height_spin_box_->value() == 0 || startHeight_))
        height_spin_box_->setValue(height);
    QAbstractButton* button = type_group_->button(yuvIndex);
    if (button && (!type_group_->checkedButton() || startLayout_))
        button->setChecked(true);
}

void OpenFileDialog::SetStartValues(int width, int height, int yuvIndex)
{
    if (width > 0) {
        width_spin_box_->setValue(width);
        startWidth_ = true;
    }
    if (height > 0) {
        height_spin_box_->setValue(height);
        startHeight_ = true;
    }
    if (QAbstractButton* button = type_group_->button(yuvIndex)) {
        button->setChecked(true);
        startLayout_ = true;
    }
}

void OpenFileDialog::OpenMediaClickListener()
{
    qCDebug(lumoDebug) << "OpenMediaClickListener!";
    QStringList paths;
    if (!ChooseFiles(QStringLiteral("Image(*.*)"), paths))
        return;
    ConvertMedia(paths);
}

void OpenFileDialog::OpenInPlaceClickListener()
{
    QStringList paths;
    if (!ChooseFiles(tr("视频文件 (%1)").arg(QStringLiteral("*.mp4 *.m4v *.mkv *.mov *.webm *.ivf *.obu *.264 *.h264 "
                                                              "*.265 *.h265 *.hevc *.ts *.m2ts *.avi *.flv *.mpg")) +
                         QStringLiteral(";;") + tr("所有文件 (*)"),
                     paths))
        return;
    QStringList accepted;
    QStringList problems;
    for (const QString& path : paths) {
        if (GuessChosenFile(path).isEncoded)
            accepted.append(path);
        else
            problems.append(tr("无法直接打开 %1：不是可以解码的视频").arg(path));
    }
    if (!problems.isEmpty())
        Warn(problems.join(QLatin1Char('\n')));
    NotePicked(accepted);
    selected_files_ += accepted;
    if (accepted.isEmpty())
        return;
    // The stream states its geometry: it replaces what the form shows.
    const lumo::YuvGuess stream = GuessChosenFile(accepted.first());
    width_spin_box_->setValue(stream.width);
    height_spin_box_->setValue(stream.height);
    if (QAbstractButton* button = type_group_->button(LayoutIndex(stream.type)))
        button->setChecked(true);
}

void OpenFileDialog::ConvertMedia(const QStringList& paths)
{
    NotePicked(paths);
    for (const QString& path : paths) {
        const QString output = path + QStringLiteral(".yuv");
        ++pending_;
        OpenFileConvThread::Start(path, output, this);
        selected_files_.append(output);
    }
    UpdateOkButton();
}

void OpenFileDialog::workStart()
{
    qCDebug(lumoDebug) << "OpenFileDialog::workStart";
    setWindowTitle(tr("媒体转换中,请稍等...(打开时长与媒体时长呈正相关"));
}

void OpenFileDialog::workFinished(int width, int height, int yuv_index)
{
    qCDebug(lumoDebug) << "OpenFileDialog::workFinished";
    width_spin_box_->setValue(width);
    height_spin_box_->setValue(height);
    const QList<QAbstractButton*> buttons = type_group_->buttons();
    if (yuv_index >= 0 && yuv_index < buttons.size())
        buttons.at(yuv_index)->setChecked(true);
    setWindowTitle(tr(kTitle));
    if (pending_ > 0)
        --pending_;
    UpdateOkButton();
}

void OpenFileDialog::workRefused(const QString& output, const QString& message)
{
    selected_files_.removeOne(output);
    Warn(message);
}

void OpenFileDialog::UpdateOkButton()
{
    // A file still being written must not be opened: its frame count would
    // be fixed too low.
    open_file_ok_->setEnabled(pending_ == 0);
}

void OpenFileDialog::Warn(const QString& text)
{
    ShowWarning(text);
}

void OpenFileDialog::OkClickListener()
{
    if (pending_ > 0)
        return;
    if (selected_files_.isEmpty()) {
        Warn(tr("未选择任何文件"));
        return;
    }
    QAbstractButton* checked = type_group_->checkedButton();
    if (!checked) {
        Warn(tr("未选择任何 YUV 类型"));
        return;
    }
    yuv_index_ = type_group_->checkedId();
    width_ = width_spin_box_->value();
    if (width_ < 1) {
        Warn(tr("请输入图像宽度"));
        return;
    }
    height_ = height_spin_box_->value();
    if (height_ < 1) {
        Warn(tr("请输入图像高度"));
        return;
    }

    QString joined;
    for (const QString& path : selected_files_)
        joined = QStringLiteral("%1|%2").arg(joined, path);
    qCDebug(lumoDebug) << joined;
    qCDebug(lumoDebug) << "checkedId:" << yuv_index_ << "," << checked->text();
    qCDebug(lumoDebug) << "width:" << width_ << ",height:" << height_;
    // The service gets the layout's own description, not the button's text.
    lumo::YuvTypeInfo info;
    lumo::YuvTypeTable::Instance().GetByIndex(yuv_index_, info);
    record_log_->recordOpenFile(width_, height_, QString::fromStdString(info.description), joined);
    accept();
}

void OpenFileDialog::CancelClickListener()
{
    reject();
}
