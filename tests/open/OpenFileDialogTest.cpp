#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include "base/AppSettings.h"
#include "LoopbackServer.h"
#include "MediaFixtures.h"
#include "open/OpenFileDialog.h"
#include "open/OpenFileConvThread.h"

namespace {

struct Chooser {
    QStringList next;           // what the next use returns
    bool fail = false;          // the next use throws
    QStringList startDirs;      // start directory of each use
    QStringList titles;
    QStringList filters;

    void Install()
    {
        OpenFileDialog::SetFileChooser([this](QWidget*, const QString& title, const QString& dir,
                                              const QString& filter) {
            startDirs.append(dir);
            titles.append(title);
            filters.append(filter);
            if (fail)
                throw std::runtime_error("chooser failed");
            return next;
        });
    }
    ~Chooser() { OpenFileDialog::SetFileChooser({}); }
};

struct Message {
    QString title;
    QString text;
    bool shown = false;
    bool parentless = false;
};

// Runs `action`; if it brings up a message box, records and closes it.
Message CaptureMessage(const std::function<void()>& action)
{
    Message message;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            message.shown = true;
            message.title = box->windowTitle();
            message.text = box->text();
            message.parentless = box->parentWidget() == nullptr;
            box->accept();
        }
    });
    poll.start(10);
    action();
    return message;
}

template <typename T>
T* Child(QWidget& parent, const char* name)
{
    T* child = parent.findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
}

QRadioButton* TypeButton(OpenFileDialog& dialog, int index)
{
    auto* group = dialog.findChild<QButtonGroup*>();
    return qobject_cast<QRadioButton*>(group->button(index));
}

void Click(OpenFileDialog& dialog, const char* name)
{
    QTest::mouseClick(Child<QPushButton>(dialog, name), Qt::LeftButton);
}

void ResetSettings()
{
    QSettings(AppSettings::kOrganisation, AppSettings::kApplication).clear();
}

} // namespace

TEST(OpenFileDialog, BuildsItsFormWithEveryLayout)
{
    OpenFileDialog dialog;
    EXPECT_EQ(dialog.objectName(), "OpenFileDialog");
    EXPECT_EQ(dialog.windowTitle(), "选择文件类型并打开");
    EXPECT_EQ(Child<QLabel>(dialog, "open_file_path_label")->text(), "");
    EXPECT_EQ(Child<QPushButton>(dialog, "open_file_btn")->text(), "打开YUV");
    EXPECT_EQ(Child<QPushButton>(dialog, "open_file_video")->text(), "视频");
    EXPECT_EQ(Child<QPushButton>(dialog, "open_file_image")->text(), "图片");
    EXPECT_EQ(Child<QPushButton>(dialog, "open_file_ok")->text(), "确认");
    EXPECT_EQ(Child<QPushButton>(dialog, "open_file_cancel")->text(), "取消");
    auto* width = Child<QSpinBox>(dialog, "width_spin_box");
    EXPECT_EQ(width->minimum(), 0);
    EXPECT_EQ(width->maximum(), 100000);
    EXPECT_EQ(width->value(), 0);
    auto* group = dialog.findChild<QButtonGroup*>();
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->buttons().size(), 25);
    EXPECT_EQ(group->checkedButton(), nullptr);
    EXPECT_EQ(TypeButton(dialog, 0)->text(), "I420 (YUV 420 Planar)");
    EXPECT_EQ(TypeButton(dialog, 3)->text(), "NV12 (YUV 420 Semi-Planar)");
    EXPECT_EQ(TypeButton(dialog, 17)->text(), "IYUV (YUV 444 Packed)");
    EXPECT_EQ(TypeButton(dialog, 18)->text(), "I010 (YUV 420 Planar 10-bit)");
    EXPECT_EQ(TypeButton(dialog, 24)->text(), "P016 (YUV 420 Semi-Planar 16-bit)");
    // The deep layouts sit in their own group under the 8-bit ones, and the
    // whole dialog fits a 1366x768 screen with room for a title bar.
    dialog.layout()->activate();
    EXPECT_GT(TypeButton(dialog, 18)->geometry().top(), TypeButton(dialog, 17)->geometry().bottom());
    EXPECT_LE(dialog.minimumSizeHint().height(), 720);
    EXPECT_LE(dialog.minimumSizeHint().width(), 1366);
    EXPECT_EQ(dialog.yuvIndex(), -1);
    EXPECT_EQ(dialog.width(), -1);
    EXPECT_EQ(dialog.height(), -1);
}

TEST(OpenFileDialog, ChecksRunInOrderWithTheirMessages)
{
    struct Case {
        const char* what;
        bool files;
        int type; // -1: none checked
        int width;
        int height;
        const char* message;
    } cases[] = {
        {"nothing at all", false, -1, 0, 0, "未选择任何文件"},
        {"no files but the rest", false, 0, 352, 288, "未选择任何文件"},
        {"no layout", true, -1, 352, 288, "未选择任何 YUV 类型"},
        {"no size", true, 2, 0, 0, "请输入图像宽度"},
        {"no width", true, 2, 0, 288, "请输入图像宽度"},
        {"no height", true, 2, 352, 0, "请输入图像高度"},
    };
    Chooser chooser;
    chooser.Install();
    chooser.next = QStringList{QDir(TestTmp()).filePath("a.yuv")};
    for (const Case& c : cases) {
        OpenFileDialog dialog;
        if (c.files)
            Click(dialog, "open_file_btn");
        if (c.type >= 0)
            TypeButton(dialog, c.type)->setChecked(true);
        Child<QSpinBox>(dialog, "width_spin_box")->setValue(c.width);
        Child<QSpinBox>(dialog, "height_spin_box")->setValue(c.height);
        const Message m = CaptureMessage([&] { Click(dialog, "open_file_ok"); });
        EXPECT_TRUE(m.shown) << c.what;
        EXPECT_EQ(m.title, "警告") << c.what;
        EXPECT_EQ(m.text, QString::fromUtf8(c.message)) << c.what;
        EXPECT_TRUE(m.parentless) << c.what;
        EXPECT_EQ(dialog.result(), QDialog::Rejected) << c.what;
        EXPECT_FALSE(dialog.isHidden() && dialog.result() == QDialog::Accepted) << c.what;
    }
}

TEST(OpenFileDialog, GathersFilesRemembersTheirFolderAndReportsTheOpening)
{
    ResetSettings();
    LoopbackServer server;
    Chooser chooser;
    chooser.Install();
    const QString dir = QDir(TestTmp()).filePath("视频 dir");
    QDir().mkpath(dir);
    const QString a = dir + "/a b.yuv";
    const QString b = dir + "/c.yuv";

    OpenFileDialog dialog;
    chooser.next = QStringList{a};
    Click(dialog, "open_file_btn");
    chooser.next = QStringList{a, b}; // the same file again opens it twice
    Click(dialog, "open_file_btn");
    chooser.next = QStringList{};     // cancelled: nothing changes
    Click(dialog, "open_file_btn");

    ASSERT_EQ(chooser.startDirs.size(), 3);
    EXPECT_EQ(chooser.startDirs[0], QDir::homePath());
    EXPECT_EQ(chooser.startDirs[1], dir);
    EXPECT_EQ(chooser.titles[0], "选择文件类型并打开");
    EXPECT_EQ(AppSettings::LastOpenDir(), dir);
    EXPECT_EQ(dialog.selectedFiles(), QStringList({a, a, b}));
    EXPECT_EQ(Child<QLabel>(dialog, "open_file_path_label")->text(), "a b.yuv;a b.yuv;c.yuv;");

    TypeButton(dialog, 3)->setChecked(true);
    Child<QSpinBox>(dialog, "width_spin_box")->setValue(350);
    Child<QSpinBox>(dialog, "height_spin_box")->setValue(288);
    const Message m = CaptureMessage([&] { Click(dialog, "open_file_ok"); });
    EXPECT_FALSE(m.shown) << m.text.toStdString();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.yuvIndex(), 3);
    EXPECT_EQ(dialog.width(), 350);
    EXPECT_EQ(dialog.height(), 288);

    ASSERT_TRUE(server.WaitFor(1));
    const auto requests = server.Requests();
    const ReceivedRequest& r = requests.back();
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.path, "/lumo/user/anchor/anchor");
    EXPECT_EQ(r.contentType, "application/x-www-form-urlencoded");
    EXPECT_EQ(r.contentLength, std::to_string(r.body.size()));
    const QString encodedDir = QString::fromLatin1(dir.toUtf8().toPercentEncoding());
    const std::string expected =
        ("type=INFO&version=2.2.1&platform=Windows&app=YUVLumo&page=OpenFileDialog&block=OpenFile"
         "&action=OpenFileBtnClick&info=%5Buser_email%5D%3B%20%5Binfo%5D%20"
         "width%3A350%3Bheight%3A288%3Byuvtype%3ANV12%20%28YUV%20420%20Semi-Planar%29%3Byuvpath%3A%7C" +
         encodedDir + "%2Fa%20b.yuv%7C" + encodedDir + "%2Fa%20b.yuv%7C" + encodedDir + "%2Fc.yuv")
            .toStdString();
    EXPECT_EQ(r.body, expected);
}

TEST(OpenFileDialog, ChooserOpensInTheLastFolderUsedWithARawYuvFilter)
{
    ResetSettings();
    Chooser chooser;
    chooser.Install();
    const QString dir = QDir(TestTmp()).filePath("dropped here");
    QDir().mkpath(dir);
    OpenFileDialog dialog;
    // Nothing stored yet, and a stored folder that has gone: the home folder.
    Click(dialog, "open_file_btn");
    AppSettings::SetLastOpenDir(QDir(TestTmp()).filePath("gone"));
    Click(dialog, "open_file_btn");
    // Files dropped (or named on the command line) count as opened there.
    dialog.AddChosenFiles({dir + "/x.yuv"});
    Click(dialog, "open_file_btn");
    EXPECT_EQ(chooser.startDirs, QStringList({QDir::homePath(), QDir::homePath(), dir}));
    EXPECT_EQ(chooser.filters.first(),
              "YUV 文件 (*.yuv *.y4m *.raw *.nv12 *.nv21 *.i420 *.yv12 *.yuyv *.uyvy *.p010);;所有文件 (*)");
}

TEST(OpenFileDialog, StartValuesGiveWayToAGuessButNotToTheUser)
{
    const QString plain = MakeTextFile("plain.yuv");
    const QString named = QDir(TestTmp()).filePath("clip_176x144.yuv");
    QFile file(named);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(176 * 144 * 3 / 2 * 2, '\x50'));
    file.close();
    const struct {
        const QString& path;
        int userWidth; // 0: the user sets nothing
        int width;
        int height;
        int index;
    } cases[] = {
        {plain, 0, 352, 288, 3},   // no guess: the start values stay
        {named, 0, 176, 144, 0},   // the name's size, and I420 by the file size
        {named, 640, 640, 144, 0}, // what the user set stays
    };
    for (const auto& c : cases) {
        OpenFileDialog dialog;
        dialog.SetStartValues(352, 288, 3);
        if (c.userWidth > 0)
            Child<QSpinBox>(dialog, "width_spin_box")->setValue(c.userWidth);
        dialog.AddChosenFiles({c.path});
        EXPECT_EQ(Child<QSpinBox>(dialog, "width_spin_box")->value(), c.width) << c.path.toStdString();
        EXPECT_EQ(Child<QSpinBox>(dialog, "height_spin_box")->value(), c.height) << c.path.toStdString();
        EXPECT_EQ(dialog.findChild<QButtonGroup*>()->checkedId(), c.index) << c.path.toStdString();
    }
}

TEST(OpenFileDialog, ChooserFailureIsReportedAsAnErrorEvent)
{
    LoopbackServer server;
    Chooser chooser;
    chooser.Install();
    chooser.fail = true;
    OpenFileDialog dialog;
    Click(dialog, "open_file_image");
    EXPECT_TRUE(dialog.selectedFiles().isEmpty());
    ASSERT_TRUE(server.WaitFor(1));
    const auto requests = server.Requests();
    EXPECT_EQ(requests.back().body,
              "type=ERROR&version=2.2.1&platform=Windows&app=YUVLumo&page=OpenFileDialog&block=OpenFile"
              "&action=OpenFileBtnClick&info=%5Buser_email%5D%3B%20%5Binfo%5D%20"
              "ERROR%3A%5Bfunction%5DOpenFileDialog%3A%3AOpenFileClickListener%3B%5Bchild%20function%5D"
              "fileDialog-%3Eexec%28%29%20%5Bchild%20function%5D%20fileDialog-%3EselectedFiles%28%29");
}

TEST(OpenFileDialog, CancelAndTitleBarCloseReject)
{
    {
        OpenFileDialog dialog;
        dialog.show();
        Click(dialog, "open_file_cancel");
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_FALSE(dialog.isVisible());
    }
    {
        OpenFileDialog dialog;
        dialog.setResult(QDialog::Accepted);
        dialog.show();
        dialog.close();
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
    }
}

TEST(OpenFileDialog, MediaFilesAreConvertedAndFillTheForm)
{
    Chooser chooser;
    chooser.Install();
    const QString clip = MakeClip("dialog422.mkv", "64x48", "yuv422p");
    const QString text = MakeTextFile("dialog.txt");

    OpenFileDialog dialog;
    auto* ok = Child<QPushButton>(dialog, "open_file_ok");
    chooser.next = QStringList{clip};
    Click(dialog, "open_file_video");
    EXPECT_EQ(dialog.selectedFiles(), QStringList({clip + ".yuv"}));
    EXPECT_FALSE(ok->isEnabled()); // no half-written file can be confirmed
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.pendingConversions() == 0; }, 60000));
    EXPECT_TRUE(ok->isEnabled());
    EXPECT_EQ(dialog.windowTitle(), "选择文件类型并打开");
    EXPECT_EQ(Child<QSpinBox>(dialog, "width_spin_box")->value(), 64);
    EXPECT_EQ(Child<QSpinBox>(dialog, "height_spin_box")->value(), 48);
    EXPECT_TRUE(TypeButton(dialog, 4)->isChecked());
    EXPECT_EQ(TypeButton(dialog, 4)->text(), "I422 (YUV 422 Planar)");

    // A file the library cannot read: 0 x 0 and the first layout.
    chooser.next = QStringList{text};
    Click(dialog, "open_file_image");
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.pendingConversions() == 0; }, 60000));
    EXPECT_EQ(Child<QSpinBox>(dialog, "width_spin_box")->value(), 0);
    EXPECT_EQ(Child<QSpinBox>(dialog, "height_spin_box")->value(), 0);
    EXPECT_TRUE(TypeButton(dialog, 0)->isChecked());
    const Message m = CaptureMessage([&] { Click(dialog, "open_file_ok"); });
    EXPECT_EQ(m.text, "请输入图像宽度");
}

// A playlist picked as a video names another file: the dialog says so, and
// nothing is converted or selected.
TEST(OpenFileDialog, PlaylistPickedAsVideoIsRefusedWithAMessage)
{
    Chooser chooser;
    chooser.Install();
    const QString clip = MakeClip("named.mkv", "32x16", "yuv420p", 2);
    const QString playlist = QDir(TestTmp()).filePath("holiday.mp4");
    QFile::remove(playlist + ".yuv");
    {
        QFile f(playlist);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(("#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10.0,\n" + clip + "\n#EXT-X-ENDLIST\n").toUtf8());
    }
    OpenFileDialog dialog;
    chooser.next = QStringList{playlist};
    const Message m = CaptureMessage([&] {
        Click(dialog, "open_file_video");
        ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.pendingConversions() == 0; }, 60000));
    });
    EXPECT_TRUE(m.shown);
    EXPECT_EQ(m.text, "holiday.mp4 是列出其他文件的播放列表，未转换");
    EXPECT_TRUE(dialog.selectedFiles().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(playlist + ".yuv"));
}

TEST(OpenFileDialog, TwoMediaFilesConvertAtOnceInPickOrder)
{
    Chooser chooser;
    chooser.Install();
    const QString a = MakeClip("pair_a.mkv", "32x32", "yuv420p", 5);
    const QString b = MakePng("pair_b.png", 20, 10);
    OpenFileDialog dialog;
    chooser.next = QStringList{a, b};
    Click(dialog, "open_file_video");
    EXPECT_EQ(dialog.selectedFiles(), QStringList({a + ".yuv", b + ".yuv"}));
    EXPECT_EQ(dialog.pendingConversions(), 2);
    EXPECT_FALSE(Child<QPushButton>(dialog, "open_file_ok")->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.pendingConversions() == 0; }, 60000));
    EXPECT_TRUE(Child<QPushButton>(dialog, "open_file_ok")->isEnabled());
    EXPECT_TRUE(QFileInfo::exists(a + ".yuv"));
    EXPECT_TRUE(QFileInfo::exists(b + ".yuv"));
    EXPECT_EQ(Child<QLabel>(dialog, "open_file_path_label")->text(), "pair_a.mkv;pair_b.png;");
}

TEST(OpenFileDialog, ClosingWhileConvertingLeavesTheWorkerRunningSafely)
{
    Chooser chooser;
    chooser.Install();
    const QString clip = MakeClip("orphan.mkv", "320x240", "yuv420p", 30);
    {
        OpenFileDialog dialog;
        chooser.next = QStringList{clip};
        Click(dialog, "open_file_video");
    }
    // The worker finishes on its own; its report goes nowhere.
    ASSERT_TRUE(QTest::qWaitFor([] { return OpenFileConvThread::RunningCount() == 0; }, 60000));
    EXPECT_EQ(QFileInfo(clip + ".yuv").size(), 30LL * 320 * 240 * 3 / 2);
}
