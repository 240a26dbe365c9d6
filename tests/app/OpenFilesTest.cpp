// Files opened by drag and drop and from the command line.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QDropEvent>
#include <QImage>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include "analysis/LumoImageView.h"
#include "analysis/VideoCtrBar.h"
#include "app/CommandLine.h"
#include "app/MainWindow.h"
#include "app/YUVListItem.h"
#include "base/AppSettings.h"
#include "media/EncodedSource.h"
#include "render/YUVShowView.h"
#include "render/YUVWidget.h"
#include "open/OpenFileDialog.h"
#include "yuv/LumoYuvReader.h"
#include "YuvFiles.h"

namespace {

QByteArray Y4m(const QByteArray& header, int width, int height, int frames)
{
    QByteArray bytes = header + "\n";
    const QByteArray frame = I420Frames(width, height, 1, width / 2);
    for (int i = 0; i < frames; ++i)
        bytes += "FRAME\n" + frame;
    return bytes;
}

// Answers the modal windows that come up while `action` runs: message
// boxes are recorded and closed, the open-file dialog goes to `onDialog`.
QStringList WithModals(const std::function<void()>& action, const std::function<void(OpenFileDialog*)>& onDialog)
{
    QStringList messages;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            messages.append(box->text());
            box->accept();
        } else if (auto* dialog = qobject_cast<OpenFileDialog*>(modal)) {
            onDialog(dialog);
        }
    });
    poll.start(20);
    action();
    return messages;
}

void Drop(QWidget* target, const QStringList& paths)
{
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(path));
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    ASSERT_TRUE(drop.isAccepted());
}

struct Row {
    QString path;
    int width;
    int height;
    std::string type;
};

std::vector<Row> Rows(const MainWindow& window)
{
    std::vector<Row> rows;
    for (const auto& reader : window.parseCache().Readers())
        rows.push_back({QString::fromStdString(reader->Path()), reader->Width(), reader->Height(), reader->Type()});
    return rows;
}

bool operator==(const Row& a, const Row& b)
{
    return a.path == b.path && a.width == b.width && a.height == b.height && a.type == b.type;
}

// The analysis window on screen (the last one found), or null.
LumoImageView* ShownAnalysisWindow()
{
    LumoImageView* view = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<LumoImageView*>(widget); found && found->isVisible())
            view = found;
    return view;
}

} // namespace

// Dropped on the main window: a Y4M file and a fully named raw file get rows
// at once, a damaged Y4M file a message, and a file the name tells too little
// about goes to the dialog, pre-filled with what is known. Dropped on an
// analysis window: the dialog, and its file becomes the second file.
TEST(OpenFiles, DragAndDropOnTheMainAndAnalysisWindows)
{
    QSettings(AppSettings::kOrganisation, AppSettings::kApplication).clear();
    const QString named = WriteFile("drop_16x8_nv12.yuv", I420Frames(16, 8, 2, 4));
    const QString y4m = WriteFile("drop.y4m", Y4m("YUV4MPEG2 W24 H10 F25:1 C420jpeg", 24, 10, 3));
    const QString damaged = WriteFile("damaged.y4m", "YUV4MPEG2 W24 H10 Cmono\nFRAME\n");
    const QString partial = WriteFile("partial_16x8.yuv", I420Frames(16, 8, 1, 4) + "xyz");

    MainWindow window;
    window.show();
    int dialogs = 0;
    const QStringList messages = WithModals(
        [&] {
            Drop(&window, {named, y4m, damaged, partial});
            EXPECT_TRUE(QTest::qWaitFor([&] { return window.rows().size() == 3; }, 10000));
        },
        [&](OpenFileDialog* dialog) {
            ++dialogs;
            EXPECT_EQ(dialog->selectedFiles(), QStringList{partial});
            EXPECT_EQ(dialog->findChild<QSpinBox*>("width_spin_box")->value(), 16);
            EXPECT_EQ(dialog->findChild<QSpinBox*>("height_spin_box")->value(), 8);
            auto* group = dialog->findChild<QButtonGroup*>();
            EXPECT_EQ(group->checkedButton(), nullptr);
            group->button(4)->setChecked(true); // the user picks I422
            dialog->findChild<QPushButton*>("open_file_ok")->click();
        });
    EXPECT_EQ(dialogs, 1);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(damaged) && messages[0].contains("Cmono")) << messages[0].toStdString();
    const std::vector<Row> expected = {{named, 16, 8, "YUV_TYPE_NV12"},
                                       {y4m, 24, 10, "YUV_TYPE_I420"},
                                       {partial, 16, 8, "YUV_TYPE_I422"}};
    EXPECT_TRUE(Rows(window) == expected);
    ASSERT_TRUE(WaitForThumbnails(*window.rows()[1]));
    EXPECT_EQ(window.rows()[1]->thumbnailCount(), 3);
    EXPECT_TRUE(window.rows()[1]->text().contains("        3帧        "));
    {
        MainWindow restarted; // the Y4M row comes back as it was
        EXPECT_TRUE(Rows(restarted) == expected);
    }

    // A picture is converted, as with "视频"/"图片", never read as raw YUV.
    const QString png = TestTmpPath("drop.png");
    QImage picture(20, 12, QImage::Format_RGB888);
    picture.fill(Qt::darkCyan);
    ASSERT_TRUE(picture.save(png));
    WithModals(
        [&] {
            Drop(&window, {png});
            EXPECT_TRUE(QTest::qWaitFor([&] { return window.rows().size() == 4; }, 20000));
        },
        [&](OpenFileDialog* dialog) {
            if (dialog->pendingConversions() > 0)
                return;
            EXPECT_EQ(dialog->selectedFiles(), QStringList{png + ".yuv"});
            dialog->findChild<QPushButton*>("open_file_ok")->click();
        });
    ASSERT_EQ(window.rows().size(), 4);
    EXPECT_EQ(window.rows()[3]->reader()->Width(), 20);

    auto* view = new LumoImageView(*window.rows()[0]->reader(), nullptr);
    view->show();
    WithModals(
        [&] {
            Drop(view, {y4m});
            EXPECT_TRUE(QTest::qWaitFor([&] { return view->SecondReader().HasPath(); }, 10000));
        },
        [&](OpenFileDialog* dialog) {
            // The user had typed a width: the header's fills only the rest.
            EXPECT_EQ(dialog->findChild<QSpinBox*>("width_spin_box")->value(), 24);
            EXPECT_EQ(dialog->findChild<QSpinBox*>("height_spin_box")->value(), 10);
            dialog->findChild<QSpinBox*>("width_spin_box")->setValue(99);
            dialog->findChild<QPushButton*>("open_file_ok")->click();
        });
    EXPECT_EQ(view->SecondReader().Path(), y4m.toStdString());
    EXPECT_EQ(view->SecondReader().Width(), 24); // a Y4M file keeps its header's size
    EXPECT_EQ(view->SecondReader().GetFrameCount(), 3);
    view->close();
}

// The command line: --help and --version without a display, bad arguments
// as one line and status 2, files as rows once the main window exists, and
// --compare as an analysis window.
TEST(OpenFiles, CommandLine)
{
    const QString y4m = WriteFile("cmd.y4m", Y4m("YUV4MPEG2 W16 H8", 16, 8, 2));
    const std::string a = WriteFile("cmd_a_16x8.yuv", I420Frames(16, 8, 2, 4)).toStdString();
    const std::string plain = WriteFile("cmd_plain.yuv", I420Frames(16, 8, 2, 4)).toStdString();
    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::string text;
    } cases[] = {
        {{"--help"}, 0, "Usage: yuvlumo [FILE...]"},
        {{a, "--version"}, 0, "yuvlumo 2.2.1\n"},
        {{"--bogus"}, 2, "yuvlumo: unknown option '--bogus' (see yuvlumo --help)\n"},
        {{a, "--size"}, 2, "yuvlumo: option '--size' needs a value\n"},
        {{a, "--size", "0x8"}, 2, "bad size '0x8'"},
        {{a, "--size=99999x8"}, 2, "bad size"},
        {{a, "--layout", "nv13"}, 2, "unknown layout 'nv13'"},
        {{"/no/such.yuv"}, 2, "cannot open /no/such.yuv: No such file or directory"},
        {{"/tmp"}, 2, "not a regular file"},
        {{"--compare", a}, 2, "--compare needs two files"},
        {{"--compare", plain, a}, 2, "the name of A (" + plain + ") gives no size: pass --size WxH"},
        {{a, "--", "--size"}, 2, "cannot open --size"},
        {{a, plain, "--size", "16x8", "--layout", "yuv420p"}, -1, ""},
        // A flag is for the raw files named with it; with none, a Y4M file
        // it contradicts is an error, as in yuvlumo-cli.
        {{y4m.toStdString(), plain, "--size", "32x8", "--layout", "nv12"}, -1, ""},
        {{"--compare", y4m.toStdString(), y4m.toStdString(), "--size", "16x8"}, -1, ""},
        {{"--compare", y4m.toStdString(), y4m.toStdString(), "--size", "32x8"}, 2,
         "yuvlumo: --size 32x8 contradicts the Y4M header of A (" + y4m.toStdString() + "), which says 16x8\n"},
        {{y4m.toStdString(), "--layout", "nv12"}, 2, "--layout nv12 contradicts the Y4M header of"},
    };
    for (const auto& c : cases) {
        const CommandLine line = ParseCommandLine(c.args);
        EXPECT_EQ(line.exitCode, c.exitCode) << c.args[0];
        EXPECT_NE(line.text.find(c.text), std::string::npos) << line.text;
        EXPECT_EQ(line.toStderr, c.exitCode == 2);
        if (c.exitCode == 2) {
            EXPECT_EQ(std::count(line.text.begin(), line.text.end(), '\n'), 1) << line.text;
        }
    }

    // The program itself, with no display at all.
    const std::string program = YUVLUMO_GUI;
    for (const char* args : {"--help", "--version", "--bogus"}) {
        const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + program + " " + args +
                                    " >/dev/null 2>&1";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status)) << args;
        EXPECT_EQ(WEXITSTATUS(status), std::string(args) == "--bogus" ? 2 : 0) << args;
    }

    QSettings(AppSettings::kOrganisation, AppSettings::kApplication).clear();
    MainWindow window;
    CommandLine line = ParseCommandLine({a, y4m.toStdString(), plain, "--layout", "nv21"});
    ASSERT_EQ(line.exitCode, -1);
    WithModals([&] { window.OpenStartup(line.request); },
               [&](OpenFileDialog* dialog) {
                   // The plain name gives no size; the flag's layout is checked.
                   EXPECT_EQ(dialog->findChild<QButtonGroup*>()->checkedId(), 2);
                   dialog->findChild<QSpinBox*>("width_spin_box")->setValue(16);
                   dialog->findChild<QSpinBox*>("height_spin_box")->setValue(8);
                   dialog->findChild<QPushButton*>("open_file_ok")->click();
               });
    const std::vector<Row> expected = {{QString::fromStdString(a), 16, 8, "YUV_TYPE_NV21"},
                                       {y4m, 16, 8, "YUV_TYPE_I420"},
                                       {QString::fromStdString(plain), 16, 8, "YUV_TYPE_NV21"}};
    EXPECT_TRUE(Rows(window) == expected);

    line = ParseCommandLine({"--compare", y4m.toStdString(), plain});
    ASSERT_EQ(line.exitCode, -1);
    EXPECT_EQ(line.request.compareB.Width(), 16); // B takes A's size
    EXPECT_EQ(line.request.compareB.Type(), "YUV_TYPE_I420");
    window.OpenStartup(line.request);
    LumoImageView* view = ShownAnalysisWindow();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->SecondReader().Path(), plain);
    view->close();
}

// A file already in the list, named again on the command line (or dropped),
// selects its row instead of adding a second one, however its path is spelt;
// another size or layout asked for is another row.
TEST(OpenFiles, FileAlreadyListedSelectsItsRow)
{
    QSettings(AppSettings::kOrganisation, AppSettings::kApplication).clear();
    const QString a = WriteFile("again_16x8.yuv", I420Frames(16, 8, 2, 4));
    const QString y4m = WriteFile("again.y4m", Y4m("YUV4MPEG2 W16 H8", 16, 8, 2));
    const QString dir = QFileInfo(a).absolutePath();
    MainWindow window;
    window.show();
    window.OpenStartup(ParseCommandLine({a.toStdString(), y4m.toStdString()}).request);
    ASSERT_EQ(window.rows().size(), 2);
    EXPECT_EQ(window.selectedRow(), nullptr);
    EXPECT_EQ(AppSettings::LastOpenDir(), dir);

    const struct {
        std::vector<std::string> args;
        int rows;     // rows afterwards
        int selected; // selected row, -1: a row was added
    } cases[] = {
        {{a.toStdString()}, 2, 0},
        {{y4m.toStdString()}, 2, 1},
        {{(dir + "/./again_16x8.yuv").toStdString()}, 2, 0},
        {{y4m.toStdString(), "--size", "16x8"}, 2, 1},
        {{a.toStdString(), "--layout", "nv12"}, 3, -1},
        {{a.toStdString(), "--size", "8x16"}, 4, -1},
        {{a.toStdString(), "--size", "8x16"}, 4, 3},
    };
    for (const auto& c : cases) {
        const CommandLine line = ParseCommandLine(c.args);
        ASSERT_EQ(line.exitCode, -1) << c.args[0];
        window.OpenStartup(line.request);
        EXPECT_EQ(window.rows().size(), c.rows) << c.args.back();
        ASSERT_NE(window.selectedRow(), nullptr);
        if (c.selected >= 0) {
            EXPECT_EQ(window.rows().indexOf(window.selectedRow()), c.selected) << c.args.back();
        }
        int marked = 0;
        for (const YUVListItem* row : window.rows())
            marked += row->isSelected();
        EXPECT_EQ(marked, 1);
    }
}

// A user's standard error carries no debug lines (usage-event bodies with
// paths, the machine's address, the stored list); QT_LOGGING_RULES turns
// them on.
TEST(OpenFiles, DebugLinesOnlyWhenTurnedOn)
{
    const QString file = WriteFile("stderr_16x8.yuv", I420Frames(16, 8, 2, 4));
    for (bool on : {false, true}) {
        QTemporaryDir config;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config.path());
        env.remove("QT_LOGGING_RULES");
        if (on)
            env.insert("QT_LOGGING_RULES", "lumo.debug=true");
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(YUVLUMO_GUI, {file});
        // The row is stored once the main window has it.
        QFile settings(config.filePath("YUVLumo/MediaLumo.conf"));
        const bool stored = QTest::qWaitFor(
            [&] {
                const bool has = settings.open(QIODevice::ReadOnly) && settings.readAll().contains("stderr_16x8.yuv");
                settings.close();
                return has;
            },
            20000);
        QTest::qWait(200);
        program.terminate();
        program.waitForFinished(5000);
        EXPECT_TRUE(stored) << on;
        const QString err = QString::fromUtf8(program.readAllStandardError());
        for (const char* line : {"record log post_data=", "[record log ipAddress]", "strIpAddress1", "yuvReader Path:"})
            EXPECT_EQ(err.contains(line), on) << line << "\n" << err.toStdString();
    }
}

// Encoded video opens in place: dropped on the window it gets a row with the
// stream's geometry and thumbnails, the row comes back after a restart, and
// --compare shows the frame FFmpeg's own decode gives.
TEST(OpenFiles, EncodedVideoInPlace)
{
    lumo::InstallEncodedFrameSources();
    QSettings(AppSettings::kOrganisation, AppSettings::kApplication).clear();
    const std::string enc = TestTmpPath("clip.mkv").toStdString();
    const std::string dec = TestTmpPath("clip_64x32.yuv").toStdString();
    const std::string ffmpeg = "ffmpeg -hide_banner -nostdin -loglevel error -y ";
    if (std::system((ffmpeg + "-f lavfi -i testsrc2=size=64x32:rate=25 -frames:v 9 -c:v libx264 -bf 2 -g 4 " + enc)
                        .c_str()) != 0)
        GTEST_SKIP() << "no libx264 encoder";
    ASSERT_EQ(std::system((ffmpeg + "-i " + enc + " -fps_mode passthrough -f rawvideo " + dec).c_str()), 0);
    const QString encoded = QString::fromStdString(enc);

    const std::vector<Row> expected = {{encoded, 64, 32, "YUV_TYPE_I420"}};
    {
        MainWindow window;
        window.show();
        const QStringList messages = WithModals(
            [&] {
                Drop(&window, {encoded});
                EXPECT_TRUE(QTest::qWaitFor([&] { return window.rows().size() == 1; }, 10000));
            },
            [](OpenFileDialog* dialog) { dialog->reject(); });
        EXPECT_TRUE(messages.isEmpty());
        EXPECT_TRUE(Rows(window) == expected);
        ASSERT_TRUE(WaitForThumbnails(*window.rows()[0]));
        EXPECT_EQ(window.rows()[0]->thumbnailCount(), 9);
    }
    {
        MainWindow restarted;
        EXPECT_TRUE(Rows(restarted) == expected);
    }

    MainWindow window;
    const CommandLine line = ParseCommandLine({"--compare", dec, enc});
    ASSERT_EQ(line.exitCode, -1) << line.text;
    window.OpenStartup(line.request);
    LumoImageView* view = ShownAnalysisWindow();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(QString::fromStdString(view->SecondReader().Path()).endsWith("clip.mkv"));
    // Frame 6 stands behind a B-frame; a jump back to 2 reads it again.
    const lumo::LumoYuvReader raw(dec, 64, 32, "YUV_TYPE_I420");
    YUVShowView* first = view->FirstYUVWidget()->View();
    YUVShowView* second = view->SecondYUVWidget()->View();
    for (const int frame : {6, 2}) {
        view->CtrBar()->SelectFrame(frame);
        const int64_t offset = int64_t{frame} * 64 * 32 * 3 / 2;
        ASSERT_TRUE(QTest::qWaitFor([&] { return first->PlanesOffset() == offset && second->PlanesOffset() == offset; },
                                    5000));
        for (const QPoint p : {QPoint(0, 0), QPoint(37, 21), QPoint(63, 31)}) {
            int a[3];
            int b[3];
            ASSERT_TRUE(first->SampleAt(p.x(), p.y(), a));
            ASSERT_TRUE(second->SampleAt(p.x(), p.y(), b));
            EXPECT_TRUE(a[0] == b[0] && a[1] == b[1] && a[2] == b[2]) << frame << " at " << p.x() << "," << p.y();
        }
    }
    view->close();
}

// A raw H.264 stream is counted by decoding it in the background: its row
// shows the count as it grows and ends on the exact one, with thumbnails.
TEST(OpenFiles, EncodedRowFollowsItsBackgroundCount)
{
    lumo::InstallEncodedFrameSources();
    const std::string enc = TestTmpPath("counted.264").toStdString();
    if (std::system(("ffmpeg -hide_banner -nostdin -loglevel error -y -f lavfi -i testsrc2=size=64x32:rate=25 "
                     "-frames:v 240 -c:v libx264 -g 8 -f h264 " + enc).c_str()) != 0)
        GTEST_SKIP() << "no libx264 encoder";
    YUVListItem row(0, nullptr);
    ASSERT_EQ(row.SetReader(lumo::LumoYuvReader(enc, 64, 32, "YUV_TYPE_I420")), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return row.text().contains(QStringLiteral("240帧")); }, 20000))
        << row.text().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return row.thumbnailCount() == YUVListItem::kMaxThumbnails; }, 10000));
}
