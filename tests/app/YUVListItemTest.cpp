#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>

#include "analysis/LumoImageView.h"
#include "app/YUVListItem.h"
#include "YuvFiles.h"

namespace {

QLabel* PathLabel(YUVListItem& row)
{
    return row.findChild<QLabel*>("image_path_label");
}

QList<LumoImageView*> AnalysisWindows()
{
    QList<LumoImageView*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* view = qobject_cast<LumoImageView*>(widget))
            windows.append(view);
    }
    return windows;
}

QList<QLabel*> Thumbnails(YUVListItem& row)
{
    QList<QLabel*> thumbs;
    auto* contents = row.findChild<QWidget*>("scrollAreaWidgetContents");
    for (QLabel* label : contents->findChildren<QLabel*>())
        thumbs.append(label);
    return thumbs;
}

// Column of the first bright pixel of a thumbnail row.
int EdgeColumn(const QImage& image, int y)
{
    for (int x = 0; x < image.width(); ++x) {
        if (qGray(image.pixel(x, y)) > 128)
            return x;
    }
    return -1;
}

} // namespace

TEST(YUVListItem, BuildsItsForm)
{
    YUVListItem row(4, nullptr);
    EXPECT_EQ(row.objectName(), "YUVListItem");
    EXPECT_EQ(row.readerIndex(), 4);
    EXPECT_EQ(PathLabel(row)->text(), "TextLabel");
    EXPECT_EQ(row.findChild<QPushButton*>("show_detail_btn")->text(), "播放分析");
    EXPECT_EQ(row.findChild<QPushButton*>("close_yuv_btn")->text(), "关闭");
    auto* scroll = row.findChild<QScrollArea*>("scrollArea");
    ASSERT_NE(scroll, nullptr);
    EXPECT_EQ(scroll->minimumHeight(), 150);
    EXPECT_EQ(scroll->maximumHeight(), 150);
}

TEST(YUVListItem, TextAndThumbnailsFollowTheFile)
{
    const int w = 16, h = 8, frame = w * h * 3 / 2;
    struct Case {
        const char* what;
        QString path;
        std::string type;
        int width;
        int height;
        int result;
        QString countText; // frames or why not; empty: the label keeps "TextLabel"
        int thumbnails;
    } cases[] = {
        {"3 frames", WriteFile("three.yuv", I420Frames(w, h, 3, 4)), "YUV_TYPE_I420", w, h, 0, "3帧", 3},
        {"300 frames", WriteFile("many.yuv", I420Frames(w, h, 300, 4)), "YUV_TYPE_I420", w, h, 0, "300帧", 10},
        {"empty file", WriteFile("empty.yuv", {}), "YUV_TYPE_I420", w, h, 0, "0帧", 0},
        {"partial last frame", WriteFile("partial.yuv", I420Frames(w, h, 2, 4).left(frame + 10)), "YUV_TYPE_I420",
         w, h, 0, "2帧", 2},
        {"missing file", TestTmpPath("gone.yuv"), "YUV_TYPE_I420", w, h, 0, "无法读取：文件不存在", 0},
        {"unknown layout", WriteFile("unknown.yuv", I420Frames(w, h, 2, 4)), "UNKNOW", w, h, -1, "", 0},
        {"empty layout", WriteFile("nolayout.yuv", I420Frames(w, h, 2, 4)), "", w, h, -1, "", 0},
        // Its one partial frame costs no more than a small one.
        {"absurd geometry", WriteFile("absurd.yuv", I420Frames(w, h, 2, 4)), "YUV_TYPE_I420", 100000, 100000, 0, "1帧",
         1},
        {"zero geometry", WriteFile("zero.yuv", I420Frames(w, h, 2, 4)), "YUV_TYPE_I420", 0, 0, 0, "无法读取：尺寸 0×0 无效", 0},
        {"negative geometry", WriteFile("negative.yuv", I420Frames(w, h, 2, 4)), "YUV_TYPE_I420", -16, 8, 0, "无法读取：尺寸 -16×8 无效", 0},
        // Unreadable files say why instead of counting -1 frames.
        {"folder", TestTmpPath(""), "YUV_TYPE_I420", w, h, 0, "无法读取：是文件夹", 0},
        {"device", "/dev/null", "YUV_TYPE_I420", w, h, 0, "无法读取：是设备文件", 0},
        {"Y4M of another size", WriteFile("other.y4m", "YUV4MPEG2 W16 H8 C420\nFRAME\n" + I420Frames(w, h, 1, 4)),
         "YUV_TYPE_I420", 8, 8, 0, "无法读取：Y4M 文件头与记录的尺寸或格式不符", 0},
        {"damaged Y4M", WriteFile("damaged.y4m", "YUV4MPEG2 W16 H8 C420\nFRAME\n" + I420Frames(w, h, 1, 4) + "FRAMX\n"),
         "YUV_TYPE_I420", w, h, 0, "无法读取：Y4M 文件已损坏", 0},
    };
    for (const Case& c : cases) {
        YUVListItem row(0, nullptr);
        const lumo::LumoYuvReader reader(c.path.toUtf8().toStdString(), c.width, c.height, c.type);
        EXPECT_EQ(row.SetReader(reader), c.result) << c.what;
        const QString expected = c.countText.isEmpty()
                                     ? QStringLiteral("TextLabel")
                                     : QStringLiteral("I420 (YUV 420 Planar)        %1        %2")
                                           .arg(c.countText, c.path);
        EXPECT_EQ(PathLabel(row)->text(), expected) << c.what;
        ASSERT_TRUE(WaitForThumbnails(row)) << c.what;
        EXPECT_EQ(Thumbnails(row).size(), c.thumbnails) << c.what;
        ASSERT_NE(row.reader(), nullptr) << c.what;
        EXPECT_EQ(row.reader()->Path(), reader.Path()) << c.what;
    }
}

TEST(YUVListItem, ThumbnailsAreHundredHighAndUndistortedForAnyWidth)
{
    for (int width : {350, 1366, 352, 17}) {
        const int height = width > 100 ? 140 : 24; // up- and downscaled, below the width cap
        const int edge = width / 2;
        const QString path = WriteFile(QStringLiteral("edge%1.yuv").arg(width), I420Frames(width, height, 1, edge));
        YUVListItem row(0, nullptr);
        ASSERT_EQ(row.SetReader(lumo::LumoYuvReader(path.toStdString(), width, height, "YUV_TYPE_I420")), 0);
        ASSERT_TRUE(WaitForThumbnails(row));
        const QList<QLabel*> thumbs = Thumbnails(row);
        ASSERT_EQ(thumbs.size(), 1) << width;
        EXPECT_EQ(thumbs[0]->height(), 100);
        const QImage image = thumbs[0]->pixmap(Qt::ReturnByValue).toImage();
        ASSERT_EQ(image.height(), 100) << width;
        EXPECT_NEAR(image.width(), width * 100.0 / height, 1.0) << width;
        // A sheared image moves the edge from row to row.
        const int top = EdgeColumn(image, 0);
        const int bottom = EdgeColumn(image, 99);
        EXPECT_NEAR(top, image.width() / 2, 2) << width;
        EXPECT_EQ(top, bottom) << width;
        // And the pixels left of it are dark all the way down.
        EXPECT_LT(qGray(image.pixel(top / 2, 99)), 64) << width;
    }
}

TEST(YUVListItem, ThumbnailsFollowFrameOrder)
{
    const int w = 120, h = 40;
    QByteArray bytes;
    for (int i = 0; i < 12; ++i)
        bytes += I420Frames(w, h, 1, (i + 1) * 8);
    const QString path = WriteFile("ordered.yuv", bytes);
    YUVListItem row(0, nullptr);
    ASSERT_EQ(row.SetReader(lumo::LumoYuvReader(path.toStdString(), w, h, "YUV_TYPE_I420")), 0);
    ASSERT_TRUE(WaitForThumbnails(row));
    const QList<QLabel*> thumbs = Thumbnails(row);
    ASSERT_EQ(thumbs.size(), 10);
    // Frame i has its edge at column 8 (i + 1), i.e. 20 (i + 1) in the thumbnail.
    for (int i = 0; i < 10; ++i)
        EXPECT_NEAR(EdgeColumn(thumbs[i]->pixmap(Qt::ReturnByValue).toImage(), 50), 20 * (i + 1), 2) << i;
}

TEST(YUVListItem, ButtonsSignalWithTheRow)
{
    const QString path = WriteFile("buttons.yuv", I420Frames(16, 8, 1, 4));
    YUVListItem row(2, nullptr);
    QSignalSpy close(&row, &YUVListItem::OnItemCloseClick);
    QSignalSpy detail(&row, &YUVListItem::OnItemDetailClick);

    // Without a reader the detail button does nothing.
    QTest::mouseClick(row.findChild<QPushButton*>("show_detail_btn"), Qt::LeftButton);
    EXPECT_EQ(detail.count(), 0);
    EXPECT_TRUE(AnalysisWindows().isEmpty());

    // Even a layout outside the table opens a window; each click one more,
    // shown, without parent, on the row's file.
    row.SetReader(lumo::LumoYuvReader(path.toStdString(), 16, 8, "UNKNOW"));
    QTest::mouseClick(row.findChild<QPushButton*>("show_detail_btn"), Qt::LeftButton);
    QTest::mouseClick(row.findChild<QPushButton*>("show_detail_btn"), Qt::LeftButton);
    ASSERT_EQ(detail.count(), 2);
    EXPECT_EQ(detail.at(0).at(0).value<lumo::LumoYuvReader>().Path(), path.toStdString());
    const QList<LumoImageView*> windows = AnalysisWindows();
    ASSERT_EQ(windows.size(), 2);
    for (LumoImageView* window : windows) {
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(window->parentWidget(), nullptr);
        EXPECT_TRUE(window->fileDescription().contains(path));
        window->close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(AnalysisWindows().isEmpty());

    QTest::mouseClick(row.findChild<QPushButton*>("close_yuv_btn"), Qt::LeftButton);
    ASSERT_EQ(close.count(), 1);
    EXPECT_EQ(close.at(0).at(0).toInt(), 2);
    EXPECT_EQ(close.at(0).at(1).value<YUVListItem*>(), &row);
    EXPECT_TRUE(row.isEnabled());
}
