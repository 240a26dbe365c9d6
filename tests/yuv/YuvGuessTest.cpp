#include <gtest/gtest.h>

#include "yuv/YuvGuess.h"

namespace {

constexpr int64_t kCifI420 = 352 * 288 * 3 / 2;

struct NameCase {
    const char* name;
    int64_t bytes;
    int width; // 0: no size
    int height;
    const char* type; // "": no layout
};

} // namespace

TEST(YuvGuess, NamesGiveSizeAndLayoutOrNothing)
{
    const NameCase cases[] = {
        {"foreman_352x288_nv12.yuv", 10, 352, 288, "YUV_TYPE_NV12"},
        {"/data/clips/Foreman-352X288.I420", 10, 352, 288, "YUV_TYPE_I420"},
        {"crowd_run_1920x1080_50_yuv420p.yuv", 0, 1920, 1080, "YUV_TYPE_I420"},
        {"park_joy_1280x720.yuv422p", 0, 1280, 720, "YUV_TYPE_I422"},
        {"cam_640x480.yuy2", 0, 640, 480, "YUV_TYPE_YUYV"},
        {"hdr_3840x2160_p010le.yuv", 0, 3840, 2160, "YUV_TYPE_P010"},
        {"grade_1920x1080_yuv420p10le.yuv", 0, 1920, 1080, "YUV_TYPE_I010"},
        // Size without a layout: I420 only when the size fits the file.
        {"akiyo_352x288.yuv", 3 * kCifI420, 352, 288, "YUV_TYPE_I420"},
        {"akiyo_352x288.yuv", 3 * kCifI420 + 1, 352, 288, ""},
        {"akiyo_352x288.yuv", 0, 352, 288, ""},
        {"akiyo_352x288.yuv", -1, 352, 288, ""},
        // Named sizes.
        {"news_qcif.yuv", 176 * 144 * 3 / 2, 176, 144, "YUV_TYPE_I420"},
        {"mobile_cif_nv21.yuv", 7, 352, 288, "YUV_TYPE_NV21"},
        {"city_4cif.yuv", 1, 704, 576, ""},
        {"talk_VGA.uyvy", 0, 640, 480, "YUV_TYPE_UYVY"},
        {"game_720p.nv12", 0, 1280, 720, "YUV_TYPE_NV12"},
        {"sport_1080p_i444.yuv", 0, 1920, 1080, "YUV_TYPE_I444"},
        {"tree_2160p_4k_uhd.yuv", 1, 3840, 2160, ""},
        {"scaled_cif_to_qcif.yuv", 1, 0, 0, ""},
        {"cifx.yuv", 1, 0, 0, ""},
        // Several sizes: the last WxH.
        {"down_1920x1080_to_1280x720_nv12.yuv", 0, 1280, 720, "YUV_TYPE_NV12"},
        {"cif_640x480.yuv", 0, 640, 480, ""},
        // Out of range or no WxH at all: no size rather than an earlier one.
        {"a_352x288_b_99999x99999.nv12", 0, 0, 0, "YUV_TYPE_NV12"},
        {"0x0.yuv", 0, 0, 0, ""},
        {"cif_0x0.yuv", 0, 0, 0, ""},
        {"clip_16385x8.yuv", 0, 0, 0, ""},
        {"clip_1920x.yuv", 0, 0, 0, ""},
        {"x1920x1080.yuv", 0, 0, 0, ""},
        {"v2x3.yuv", 9 * 100, 0, 0, ""},
        {"clip_1920x1080p25.yuv", 0, 1920, 1080, ""},
        {"clip_16384x1.yuv", 0, 16384, 1, ""},
        // Unicode and spaces.
        {"视频 1920×1080 nv12.yuv", 0, 1920, 1080, "YUV_TYPE_NV12"},
        {"frame 1920 x 1080.yuv", 0, 0, 0, ""},
        {"frame_1920х1080.yuv", 0, 0, 0, ""}, // Cyrillic "х"
        {"ÿ\xff\xfe_352x288_\xc3.yuv", kCifI420, 352, 288, "YUV_TYPE_I420"},
        {"", 0, 0, 0, ""},
        {"   ", 0, 0, 0, ""},
        {"no size here.yuv", 100, 0, 0, ""},
        // Layout words that disagree, and the ambiguous "iyuv": no layout.
        {"nv12_to_i420_352x288.yuv", kCifI420, 352, 288, ""},
        {"clip_352x288_iyuv.yuv", kCifI420, 352, 288, ""},
        {"clip_352x288.iyuv", kCifI420, 352, 288, ""},
        {"clip_352x288_NV12.nv12", 0, 352, 288, "YUV_TYPE_NV12"},
        {"clip_352x288_yuv420p_i420.yuv", 0, 352, 288, "YUV_TYPE_I420"},
        {"nv12file_352x288.yuv", kCifI420, 352, 288, "YUV_TYPE_I420"},
    };
    for (const NameCase& c : cases) {
        const lumo::YuvGuess guess = lumo::GuessFromName(c.name, c.bytes);
        EXPECT_EQ(guess.width, c.width) << c.name;
        EXPECT_EQ(guess.height, c.height) << c.name;
        EXPECT_EQ(guess.HasSize(), c.width > 0) << c.name;
        EXPECT_EQ(guess.type, c.type) << c.name;
        EXPECT_EQ(guess.HasType(), *c.type != '\0') << c.name;
        EXPECT_FALSE(guess.isY4m);
    }
}

TEST(YuvGuess, UserLayoutNamesTakeEveryForm)
{
    const struct {
        const char* text;
        const char* type;
    } cases[] = {
        {"YUV_TYPE_NV12", "YUV_TYPE_NV12"}, {"yuv_type_nv12", "YUV_TYPE_NV12"}, {"nv12", "YUV_TYPE_NV12"},
        {"IYUV", "YUV_TYPE_IYUV"},          {"yuv420p", "YUV_TYPE_I420"},       {"YUY2", "YUV_TYPE_YUYV"},
        {"yuv444_packed", "YUV_TYPE_YUV444_Packed"}, {"p010le", "YUV_TYPE_P010"}, {"i010", "YUV_TYPE_I010"},
        {"", ""},                           {"nv13", ""},                       {"YUV_TYPE_", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(lumo::LayoutFromUserText(c.text), c.type) << c.text;
}
