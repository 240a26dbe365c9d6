#include <QBoxLayout>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include "RenderTestUtil.h"
#include "render/RulerView.h"
#include "render/YUVShowView.h"
#include "render/YUVWidget.h"

namespace {

TEST(YUVWidgetTest, FormAndRulers)
{
    const std::string path = TestPath("cif.yuv");
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 5; ++i) {
        const std::vector<uint8_t> f = UniformI420(352, 288, static_cast<uint8_t>(40 * i), 128, 128);
        bytes.insert(bytes.end(), f.begin(), f.end());
    }
    WriteBytes(path, bytes);
    YUVWidget widget(lumo::LumoYuvReader(path, 352, 288, "YUV_TYPE_I420"));
    EXPECT_EQ(widget.objectName(), "YUVWidget");
    EXPECT_EQ(widget.windowTitle(), "Form");
    for (const char* name : {"verticalLayout_2", "horizontalLayout", "cell_ruler_layout", "h_ruler_layout",
                             "horizontalLayout_2", "v_ruler_layout", "yuv_show_layout"})
        EXPECT_NE(widget.findChild<QLayout*>(name), nullptr) << name;
    EXPECT_EQ(widget.findChild<QLayout*>("yuv_show_layout")->indexOf(widget.View()), 0);
    EXPECT_EQ(widget.findChild<QLayout*>("h_ruler_layout")->indexOf(widget.HorizontalRuler()), 0);
    EXPECT_EQ(widget.findChild<QLayout*>("v_ruler_layout")->indexOf(widget.VerticalRuler()), 0);

    widget.resize(840, 640);
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    // The rulers' lengths line up with the view's axes.
    EXPECT_EQ(widget.View()->geometry().topLeft(), QPoint(40, 40));
    EXPECT_EQ(widget.HorizontalRuler()->height(), 40);
    EXPECT_EQ(widget.VerticalRuler()->width(), 40);

    QSignalSpy ruler(widget.View(), &YUVShowView::updataRuler);
    widget.View()->grabFramebuffer();
    ASSERT_GE(ruler.count(), 1);
    EXPECT_EQ(widget.HorizontalRuler()->PixelStart(), ruler.last().at(0).toInt());
    EXPECT_EQ(widget.HorizontalRuler()->PixelEnd(), ruler.last().at(1).toInt());
    EXPECT_EQ(widget.VerticalRuler()->PixelStart(), ruler.last().at(2).toInt());
    EXPECT_EQ(widget.VerticalRuler()->PixelEnd(), ruler.last().at(3).toInt());
    EXPECT_EQ(widget.HorizontalRuler()->PixelEnd(), 800);

    widget.SetFrameIndex(3);
    EXPECT_EQ(widget.View()->FrameOffset(), 456192);

    widget.SetDrawMode(2);
    EXPECT_EQ(widget.GetDrawMode(), 2);
    QSignalSpy rect(&widget, &YUVWidget::signalsUpdateRect);
    QTest::mousePress(widget.View(), Qt::LeftButton, Qt::NoModifier, QPoint(400, 300));
    ASSERT_EQ(rect.count(), 1);
    EXPECT_NEAR(rect.last().at(0).toFloat(), 0.5f, 1e-6);
    widget.SetRect(0.1f, -0.2f, 0.3f, -0.4f); // mirrors another view: no signal
    EXPECT_EQ(rect.count(), 1);
    EXPECT_FLOAT_EQ(widget.View()->RectEndY(), -0.4f);
    EXPECT_EQ(widget.SetVisible(2, 0, 0), 0);
}

} // namespace
