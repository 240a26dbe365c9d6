#include <gtest/gtest.h>

#include <vector>

#include "yuv/GeometryPolicy.h"

namespace {

using lumo::GeometryOrigin;
using lumo::GeometryProblem;

lumo::YuvGuess Raw(const char* name)
{
    return lumo::GuessFromName(name, -1);
}

lumo::YuvGuess Y4m(int width, int height, const char* type)
{
    lumo::YuvGuess guess;
    guess.isY4m = true;
    guess.y4m.status = lumo::Y4mStatus::Ok;
    guess.width = width;
    guess.height = height;
    guess.type = type;
    guess.sizeFrom = guess.typeFrom = lumo::GuessSource::Header;
    return guess;
}

lumo::YuvGuess Damaged()
{
    lumo::YuvGuess guess;
    guess.isY4m = true;
    guess.y4m.status = lumo::Y4mStatus::Unterminated;
    return guess;
}

lumo::SizeFlag Size(const char* option, int width, int height)
{
    return lumo::SizeFlag{option, std::to_string(width) + "x" + std::to_string(height), width, height};
}

struct Expected {
    int width;
    int height;
    const char* type;
    GeometryOrigin sizeFrom;
    GeometryOrigin typeFrom;
    GeometryProblem problem = GeometryProblem::None;
};

const auto kNone = GeometryOrigin::None;
const auto kFlag = GeometryOrigin::Flag;
const auto kHeader = GeometryOrigin::Header;
const auto kName = GeometryOrigin::Name;
const auto kOther = GeometryOrigin::OtherFile;
const auto kDefault = GeometryOrigin::Default;

} // namespace

// Flags, then the header, then the name, then the other file, then the
// default; a flag contradicting a Y4M header is a problem only where it
// names no raw file.
TEST(GeometryPolicy, OneOrderAndOneRuleForContradictions)
{
    const lumo::SizeFlag none;
    const lumo::SizeFlag size = Size("--size", 100, 50);
    const lumo::SizeFlag sizeB = Size("--size-b", 100, 50);
    const lumo::SizeFlag agrees = Size("--size", 64, 36);
    const lumo::LayoutFlag noLayout;
    const lumo::LayoutFlag nv21{"--layout", "nv21", "YUV_TYPE_NV21"};
    const lumo::LayoutFlag i422{"--layout", "yuv422p", "YUV_TYPE_I422"};
    const lumo::YuvGuess y4m = Y4m(64, 36, "YUV_TYPE_I422");
    const Expected header{64, 36, "YUV_TYPE_I422", kHeader, kHeader};
    const auto contradiction = [&](GeometryProblem problem) {
        Expected e = header;
        e.problem = problem;
        return e;
    };
    const struct {
        const char* what;
        std::vector<lumo::NamedFile> files;
        std::vector<Expected> expected;
    } cases[] = {
        {"named raw", {{Raw("fm_352x288_nv12.yuv"), &none, &noLayout}}, {{352, 288, "YUV_TYPE_NV12", kName, kName}}},
        {"flags win over the name",
         {{Raw("fm_352x288_nv12.yuv"), &size, &nv21}},
         {{100, 50, "YUV_TYPE_NV21", kFlag, kFlag}}},
        {"nothing known", {{Raw("plain.yuv"), &none, &noLayout}},
         {{0, 0, "YUV_TYPE_I420", kNone, kDefault, GeometryProblem::NoSize}}},
        {"Y4M alone", {{y4m, nullptr, nullptr}}, {header}},
        {"agreeing flags", {{y4m, &agrees, &i422}}, {header}},
        {"size contradicts", {{y4m, &size, &noLayout}}, {contradiction(GeometryProblem::SizeContradictsHeader)}},
        {"layout contradicts", {{y4m, &agrees, &nv21}}, {contradiction(GeometryProblem::LayoutContradictsHeader)}},
        {"the flags are for the raw file",
         {{y4m, &size, &nv21}, {Raw("b.yuv"), &size, &nv21}},
         {header, {100, 50, "YUV_TYPE_NV21", kFlag, kFlag}}},
        {"two Y4M files",
         {{y4m, &size, &noLayout}, {y4m, &size, &noLayout}},
         {contradiction(GeometryProblem::SizeContradictsHeader), contradiction(GeometryProblem::SizeContradictsHeader)}},
        {"the raw file has its own flag",
         {{y4m, &size, &noLayout}, {Raw("b.yuv"), &sizeB, &noLayout}},
         {contradiction(GeometryProblem::SizeContradictsHeader), {100, 50, "YUV_TYPE_I420", kFlag, kDefault}}},
        {"a damaged file is no raw file",
         {{y4m, &size, &noLayout}, {Damaged(), &size, &noLayout}},
         {contradiction(GeometryProblem::SizeContradictsHeader), {0, 0, "", kNone, kNone, GeometryProblem::DamagedY4m}}},
        {"B takes A's", {{y4m, &none, &noLayout}, {Raw("b.yuv"), &none, &noLayout, 0}},
         {header, {64, 36, "YUV_TYPE_I422", kOther, kOther}}},
        {"B's name before A's",
         {{y4m, &none, &noLayout}, {Raw("b_32x16_nv12.yuv"), &none, &noLayout, 0}},
         {header, {32, 16, "YUV_TYPE_NV12", kName, kName}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<lumo::FileGeometry> found = lumo::ResolveGeometry(c.files);
        ASSERT_EQ(found.size(), c.expected.size());
        for (size_t i = 0; i < found.size(); ++i) {
            const Expected& e = c.expected[i];
            EXPECT_EQ(found[i].width, e.width) << i;
            EXPECT_EQ(found[i].height, e.height) << i;
            EXPECT_EQ(found[i].type, e.type) << i;
            EXPECT_EQ(found[i].sizeFrom, e.sizeFrom) << i;
            EXPECT_EQ(found[i].typeFrom, e.typeFrom) << i;
            EXPECT_EQ(found[i].problem, e.problem) << i;
        }
    }

    // The rate is the header's or the name's, whatever the flags say.
    lumo::YuvGuess rated = y4m;
    rated.fps = 25;
    rated.fpsFrom = lumo::GuessSource::Header;
    EXPECT_EQ(lumo::ResolveGeometry(rated, agrees, i422).fpsFrom, kHeader);
    const lumo::FileGeometry named = lumo::ResolveGeometry(Raw("clip_352x288_59.94fps.yuv"), size, nv21);
    EXPECT_EQ(named.fpsFrom, kName);
    EXPECT_DOUBLE_EQ(named.fps, 59.94);

    const lumo::NamedFile file{y4m, &size, &nv21};
    EXPECT_EQ(lumo::ContradictionText(file, lumo::ResolveGeometry({file}).front(), "A (s.y4m)"),
              "--size 100x50 contradicts the Y4M header of A (s.y4m), which says 64x36");
    const lumo::NamedFile layout{y4m, &agrees, &nv21};
    EXPECT_EQ(lumo::ContradictionText(layout, lumo::ResolveGeometry({layout}).front(), "s.y4m"),
              "--layout nv21 contradicts the Y4M header of s.y4m, which says I422");
}

TEST(GeometryPolicy, SizeText)
{
    using S = lumo::SizeTextStatus;
    const struct {
        const char* text;
        S status;
        int width;
    } cases[] = {
        {"352x288", S::Ok, 352},     {"16X8", S::Ok, 16},        {"016x8", S::Ok, 16},
        {"16384x1", S::Ok, 16384},   {"0x8", S::Zero, 0},        {"8x0", S::Zero, 0},
        {"16385x1", S::Malformed, 0}, {"99999999999999999999x1", S::Malformed, 0},
        {"x8", S::Malformed, 0},     {"16x", S::Malformed, 0},   {"16*8", S::Malformed, 0},
        {"-1x8", S::Malformed, 0},   {"1 6x8", S::Malformed, 0}, {"16x8x2", S::Malformed, 0},
    };
    for (const auto& c : cases) {
        int width = 0;
        int height = 0;
        EXPECT_EQ(lumo::ParseSizeText(c.text, &width, &height), c.status) << c.text;
        EXPECT_EQ(width, c.width) << c.text;
    }
}
