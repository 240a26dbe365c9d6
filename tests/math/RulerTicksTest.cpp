#include <map>
#include <vector>

#include <gtest/gtest.h>

#include "math/RulerTicks.h"

namespace {

TEST(RulerTicksTest, LabelsOf1920WideFrameIn800Pixels)
{
    const std::vector<RulerTick> ticks = RulerTicks(0, 800, 0, 1920);
    ASSERT_GE(ticks.size(), 2u);
    std::map<int, RulerTick> byPos;
    for (const RulerTick& t : ticks)
        byPos.emplace(t.pos, t);
    EXPECT_EQ(ticks.size(), byPos.size()) << "no position is marked twice";

    struct Expect {
        int pos, value;
        bool labelled;
    };
    const Expect expected[] = {
        {0, 0, true},       {800, 1920, true}, {400, 960, true}, {200, 480, true}, {600, 1440, true},
        {100, 240, true},   {300, 720, true},  {700, 1680, true}, {50, 120, false}, {25, 60, false},
        {12, 28, false},    {6, 14, false},    {18, 43, false}, // the pixel under each mark
    };
    for (const Expect& e : expected) {
        auto it = byPos.find(e.pos);
        ASSERT_NE(it, byPos.end()) << "pos " << e.pos;
        EXPECT_EQ(it->second.value, e.value) << "pos " << e.pos;
        EXPECT_EQ(it->second.labelled, e.labelled) << "pos " << e.pos;
    }
    // Spans of 6 pixels or less are not split: (0, 6) and (6, 12) have no
    // midpoint.
    EXPECT_EQ(byPos.count(3), 0u);
    EXPECT_EQ(byPos.count(9), 0u);
    EXPECT_EQ(ticks.size() - 2, 159u);
    int labelled = 0;
    for (const RulerTick& t : ticks)
        labelled += t.labelled ? 1 : 0;
    EXPECT_EQ(labelled, 2 + 7); // ends, 400, 200, 600, 100, 300, 500, 700
}

TEST(RulerTicksTest, SpanThresholds)
{
    struct Case {
        int a, b;
        bool labelled;
        size_t count;
    };
    const Case cases[] = {
        {0, 100, false, 0}, {0, 101, true, 0}, {10, 16, false, 2}, {10, 17, false, 3}, {0, 32000, true, 8193},
    };
    for (const Case& c : cases) {
        const std::vector<RulerTick> ticks = RulerTicks(c.a, c.b, 0, 16384);
        if (c.count) {
            EXPECT_EQ(ticks.size(), c.count) << c.a << ".." << c.b;
        }
        if (ticks.size() > 2 && c.b - c.a >= 100) {
            EXPECT_EQ(ticks[2].labelled, c.labelled) << c.a << ".." << c.b;
        }
    }
    // Zoom 0: both ends on one point, nothing between.
    const std::vector<RulerTick> collapsed = RulerTicks(400, 400, 0, 1920);
    ASSERT_EQ(collapsed.size(), 2u);
    EXPECT_EQ(collapsed[0].pos, collapsed[1].pos);
}

TEST(RulerTicksTest, AtHighZoomEveryLabelNamesThePixelItsMarkSitsIn)
{
    // Worked by hand: 48 screen pixels per frame pixel, pixel 960 of a 1920
    // wide frame starting at x 400 of an 800 wide ruler, so the visible
    // cells are 951 (-32..16) to 968 (784..832), each marked at its centre;
    // and the row the inspector calls 539 (60 per pixel, starting at 300).
    const struct {
        int pixelStart, pixelEnd, values, visible;
        int first, last, scale, firstCentre;
    } cases[] = {
        {400 - 960 * 48, 400 + 960 * 48, 1920, 800, 951, 968, 48, -8},
        {300 - 539 * 60, 300 + 541 * 60, 1080, 600, 534, 544, 60, 30},
    };
    for (const auto& c : cases) {
        const std::vector<RulerTick> ticks = RulerTicks(c.pixelStart, c.pixelEnd, 0, c.values, c.visible);
        ASSERT_EQ(static_cast<int>(ticks.size()), c.last - c.first + 1);
        for (size_t i = 0; i < ticks.size(); ++i) {
            EXPECT_EQ(ticks[i].value, c.first + static_cast<int>(i));
            EXPECT_EQ(ticks[i].pos, c.firstCentre + static_cast<int>(i) * c.scale);
            EXPECT_TRUE(ticks[i].labelled);
        }
    }
    // Row 539 spans 300..360: its label sits at 330.
    const std::vector<RulerTick> rows = RulerTicks(300 - 539 * 60, 300 + 541 * 60, 0, 1080, 600);
    EXPECT_EQ(rows[539 - 534].pos, 330);
    EXPECT_EQ(rows[539 - 534].value, 539);

    // 10 per pixel: labels every 5 cells (1, 2 would crowd them).
    const std::vector<RulerTick> sparse = RulerTicks(0, 19200, 0, 1920, 800);
    ASSERT_EQ(sparse.size(), 81u);
    for (const RulerTick& t : sparse)
        EXPECT_EQ(t.labelled, t.value % 5 == 0) << t.value;
}

} // namespace
