#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QAbstractButton>
#include <QElapsedTimer>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "base/AppSettings.h"
#include "LoopbackServer.h"
#include "analysis/LumoImageView.h"
#include "app/MainWindow.h"
#include "open/OpenFileDialog.h"
#include "app/YUVListItem.h"
#include "YuvFiles.h"

namespace {

void ClearStore()
{
    QSettings(AppSettings::kOrganisation, AppSettings::kApplication).clear();
}

QString Stored()
{
    return QSettings(AppSettings::kOrganisation, AppSettings::kApplication)
        .value(AppSettings::kKeyYuvParse)
        .toString();
}

QString Record(const QString& path, int width = 16, int height = 8, const QString& type = "YUV_TYPE_I420")
{
    return QStringLiteral(R"({"height":%1,"path":"%2","type_str":"%3","width":%4})")
        .arg(height)
        .arg(path, type)
        .arg(width);
}

QString List(const QStringList& records)
{
    return "[" + records.join(",") + "]";
}

QStringList RowPaths(const MainWindow& window)
{
    QStringList paths;
    for (YUVListItem* row : window.rows())
        paths.append(QString::fromStdString(row->reader()->Path()));
    return paths;
}

void CloseRow(MainWindow& window, int position)
{
    QTest::mouseClick(window.rows().at(position)->findChild<QPushButton*>("close_yuv_btn"), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

TEST(MainWindow, BuildsItsFormAndMenus)
{
    ClearStore();
    MainWindow window;
    EXPECT_EQ(window.objectName(), "MainWindow");
    EXPECT_EQ(window.windowTitle(), "YUV Lumo");
    EXPECT_EQ(window.size(), QSize(1194, 650));
    EXPECT_NE(window.findChild<QVBoxLayout*>("content_list"), nullptr);
    EXPECT_NE(window.findChild<QWidget*>("scrollAreaWidgetContents"), nullptr);
    EXPECT_TRUE(window.rows().isEmpty());

    const QList<QAction*> menus = window.menuBar()->actions();
    const QStringList menuTitles = {"打开文件", "帮助", "检查更新", "关于这两个工程师"};
    const QStringList actionTitles = {"打开", "问题反馈", "检查更新", "关于这两个工程师"};
    ASSERT_EQ(menus.size(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(menus[i]->text(), menuTitles[i]);
        ASSERT_EQ(menus[i]->menu()->actions().size(), 1);
        EXPECT_EQ(menus[i]->menu()->actions()[0]->text(), actionTitles[i]);
    }
    EXPECT_EQ(menus[0]->menu()->actions()[0]->shortcut(), QKeySequence("Ctrl+O"));
    auto* tools = window.findChild<QToolBar*>();
    ASSERT_NE(tools, nullptr);
    EXPECT_EQ(tools->windowTitle(), "工具栏");
    ASSERT_EQ(tools->actions().size(), 1);
    EXPECT_EQ(tools->actions()[0]->text(), "打开");
}

// The stored list agrees with the rows after every open and every close,
// and a restart brings back exactly the rows that were open.
TEST(MainWindow, StoredListFollowsEveryOpenAndCloseAcrossRestarts)
{
    const QString a = WriteFile("a.yuv", I420Frames(16, 8, 3, 4));
    const QString b = WriteFile("视频 b.yuv", I420Frames(16, 8, 2, 4));
    const QString c = WriteFile("c ü.yuv", I420Frames(16, 8, 1, 4));
    const QString ra = Record(a), rb = Record(b), rc = Record(c);

    struct Order {
        const char* what;
        int closes[3]; // positions clicked, in the rows as they stand
        QString after[3];
    } orders[] = {
        {"first, last, middle", {0, 1, 0}, {List({rb, rc}), List({rb}), "[]"}},
        {"last, middle, first", {2, 1, 0}, {List({ra, rb}), List({ra}), "[]"}},
        {"middle, first, last", {1, 0, 0}, {List({ra, rc}), List({rc}), "[]"}},
        {"first, first, first", {0, 0, 0}, {List({rb, rc}), List({rc}), "[]"}},
    };
    for (const Order& order : orders) {
        ClearStore();
        {
            MainWindow window;
            window.AddFiles({a}, 16, 8, 0);
            EXPECT_EQ(Stored(), List({ra})) << order.what;
            window.AddFiles({b}, 16, 8, 0);
            EXPECT_EQ(Stored(), List({ra, rb})) << order.what;
            window.AddFiles({c}, 16, 8, 0);
            EXPECT_EQ(Stored(), List({ra, rb, rc})) << order.what;
        }
        MainWindow window; // restart
        ASSERT_EQ(RowPaths(window), QStringList({a, b, c})) << order.what;
        for (int step = 0; step < 3; ++step) {
            CloseRow(window, order.closes[step]);
            EXPECT_EQ(Stored(), order.after[step]) << order.what << " step " << step;
            EXPECT_EQ(window.rows().size(), 2 - step);
            for (int i = 0; i < window.rows().size(); ++i)
                EXPECT_EQ(window.rows()[i]->readerIndex(), i);
            if (step == 0) {
                MainWindow restarted;
                EXPECT_EQ(RowPaths(restarted), RowPaths(window)) << order.what;
            }
        }
        EXPECT_TRUE(window.rows().isEmpty());
    }
}

TEST(MainWindow, OneDialogRunWithTwoFilesGivesTwoRowsOfTheSameGeometry)
{
    ClearStore();
    const QString a = WriteFile("two_a.yuv", I420Frames(16, 8, 3, 4));
    MainWindow window;
    window.AddFiles({a, a}, 16, 8, 3);
    ASSERT_EQ(window.rows().size(), 2);
    EXPECT_EQ(Stored(), List({Record(a, 16, 8, "YUV_TYPE_NV12"), Record(a, 16, 8, "YUV_TYPE_NV12")}));
    EXPECT_EQ(window.rows()[1]->reader()->Type(), "YUV_TYPE_NV12");
}

TEST(MainWindow, StoredRowsWithOddContentStillLoad)
{
    const QString f = WriteFile("odd.yuv", I420Frames(16, 8, 2, 4));
    ClearStore();
    QSettings(AppSettings::kOrganisation, AppSettings::kApplication)
        .setValue(AppSettings::kKeyYuvParse,
                  List({Record(f, 100000, 100000), Record(f, 16, 8, "UNKNOW"), Record("/no/such.yuv"),
                        R"({"width":16,"height":8,"type":3,"path":")" + f + R"("})"}));
    MainWindow window;
    ASSERT_EQ(window.rows().size(), 3);
    for (YUVListItem* row : window.rows())
        ASSERT_TRUE(WaitForThumbnails(*row));
    EXPECT_TRUE(window.rows()[0]->text().contains("        1帧        "));
    EXPECT_EQ(window.rows()[0]->thumbnailCount(), 1);
    EXPECT_EQ(window.rows()[1]->text(), "");
    EXPECT_EQ(window.rows()[1]->thumbnailCount(), 0);
    EXPECT_TRUE(window.rows()[2]->text().startsWith("NV12 (YUV 420 Semi-Planar)"));
    EXPECT_EQ(window.rows()[2]->thumbnailCount(), 2);
    // The gone file is dropped from the store at the next change.
    CloseRow(window, 1);
    EXPECT_EQ(Stored(), List({Record(f, 100000, 100000), Record(f, 16, 8, "YUV_TYPE_NV12")}));
}

TEST(MainWindow, OpensFilesThroughTheDialog)
{
    ClearStore();
    const QString a = WriteFile("dialog_a.yuv", I420Frames(16, 8, 3, 4));
    OpenFileDialog::SetFileChooser([&](QWidget*, const QString&, const QString&, const QString&) {
        return QStringList{a};
    });
    MainWindow window;
    window.show();

    // Cancelled: nothing added.
    QTimer::singleShot(50, [] {
        if (auto* dialog = qobject_cast<OpenFileDialog*>(QApplication::activeModalWidget()))
            dialog->findChild<QPushButton*>("open_file_cancel")->click();
    });
    window.OpenFileClickListener();
    EXPECT_TRUE(window.rows().isEmpty());

    bool filled = false;
    QTimer::singleShot(50, [&] {
        auto* dialog = qobject_cast<OpenFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        EXPECT_EQ(dialog->parentWidget(), &window);
        dialog->findChild<QPushButton*>("open_file_btn")->click();
        dialog->findChild<QButtonGroup*>()->button(0)->setChecked(true);
        dialog->findChild<QSpinBox*>("width_spin_box")->setValue(16);
        dialog->findChild<QSpinBox*>("height_spin_box")->setValue(8);
        filled = true;
        dialog->findChild<QPushButton*>("open_file_ok")->click();
    });
    window.OpenFileClickListener();
    EXPECT_TRUE(filled);
    ASSERT_EQ(window.rows().size(), 1);
    ASSERT_TRUE(WaitForThumbnails(*window.rows()[0]));
    EXPECT_EQ(window.rows()[0]->thumbnailCount(), 3);
    EXPECT_EQ(Stored(), List({Record(a)}));
    OpenFileDialog::SetFileChooser({});
}

TEST(MainWindow, ReportsItsOpeningAndTheUpdateCheck)
{
    ClearStore();
    LoopbackServer server;
    // Version requests go out too; count the usage events only.
    const auto events = [&server] {
        size_t n = 0;
        for (const ReceivedRequest& r : server.Requests())
            n += r.path == "/lumo/user/anchor/anchor";
        return n;
    };
    MainWindow window;
    ASSERT_TRUE(QTest::qWaitFor([&] { return events() >= 1; }, 5000));
    window.CheckVersionClickListener();
    ASSERT_TRUE(QTest::qWaitFor([&] { return events() >= 2; }, 5000));
    const auto requests = server.Requests();
    std::vector<std::string> bodies;
    for (const ReceivedRequest& r : requests) {
        if (r.path != "/lumo/user/anchor/anchor")
            continue;
        EXPECT_EQ(r.method, "POST");
        EXPECT_EQ(r.contentType, "application/x-www-form-urlencoded");
        EXPECT_EQ(r.contentLength, std::to_string(r.body.size()));
        bodies.push_back(r.body);
    }
    ASSERT_EQ(bodies.size(), 2u);
    EXPECT_EQ(bodies[0], "type=INFO&version=2.2.1&platform=Windows&app=YUVLumo&page=MainWindow&block=NULL"
                         "&action=NULL&info=%5Buser_email%5D%3B%20%5Binfo%5D%20NULL");
    EXPECT_EQ(bodies[1], "type=INFO&version=2.2.1&platform=Windows&app=YUVLumo&page=TopTabPage"
                         "&block=TopTabUpdateBlock&action=TopTabUpdateBlockClick"
                         "&info=%5Buser_email%5D%3B%20%5Binfo%5D%20NULL");
}

TEST(MainWindow, AnalysisWindowOutlivesItsClosedRow)
{
    ClearStore();
    const QString a = WriteFile("detail.yuv", I420Frames(16, 8, 1, 4));
    MainWindow window;
    window.AddFiles({a}, 16, 8, 0);
    QTest::mouseClick(window.rows()[0]->findChild<QPushButton*>("show_detail_btn"), Qt::LeftButton);
    QPointer<LumoImageView> view;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<LumoImageView*>(widget))
            view = found;
    }
    ASSERT_FALSE(view.isNull());
    EXPECT_TRUE(view->fileDescription().contains(a));

    CloseRow(window, 0);
    EXPECT_TRUE(window.rows().isEmpty());
    ASSERT_FALSE(view.isNull());
    EXPECT_TRUE(view->isVisible());
    view->onFrameCtrRefresh(0, 1); // reads through its own reader copy
    view->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(view.isNull());
}

// A timed run, not a limit: ten stored 1080p files of ten frames each.
TEST(MainWindow, ConstructionTimeWithTenFullHdFiles)
{
    const int w = 1920, h = 1080;
    const QString f = WriteFile("fullhd.yuv", I420Frames(w, h, 10, w / 3));
    QStringList records;
    for (int i = 0; i < 10; ++i)
        records.append(Record(f, w, h));
    ClearStore();
    QSettings(AppSettings::kOrganisation, AppSettings::kApplication).setValue(AppSettings::kKeyYuvParse, List(records));
    QElapsedTimer timer;
    const std::clock_t cpuStart = std::clock();
    timer.start();
    MainWindow window;
    const qint64 ms = timer.elapsed();
    ASSERT_EQ(window.rows().size(), 10);
    for (YUVListItem* row : window.rows())
        ASSERT_TRUE(WaitForThumbnails(*row));
    const qint64 allMs = timer.elapsed();
    const double cpuMs = 1000.0 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    std::printf("main window with 10 rows of 1080p built in %lld ms, all thumbnails after %lld ms (%.0f ms CPU)\n",
                static_cast<long long>(ms), static_cast<long long>(allMs), cpuMs);
    for (YUVListItem* row : window.rows())
        EXPECT_EQ(row->thumbnailCount(), 10);
    QFile::remove(f);
}
