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
    double fps = 0;   // 0: no rate
};

} // namespace

TEST(YuvGuess, NamesGiveSizeAndLayoutOrNothing)
{
    const NameCase cases[] = {
        {"foreman_352x288_nv12.yuv", 10, 352, 288, "YUV_TYPE_NV12"},
        {"/data/clips/Foreman-352X288.I420", 10, 352, 288, "YUV_TYPE_I420"},
        {"crowd_run_1920x1080_50_yuv420p.yuv", 0, 1920, 1080, "YUV_TYPE_I420", 50},
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
        {"clip_1920x1080p25.yuv", 0, 1920, 1080, "", 25},
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
        // Depth and chroma tokens choose within a family, whole frames or not.
        {"MarketPlace_1920x1080_60fps_10bit_420.yuv", 7, 1920, 1080, "YUV_TYPE_I010", 60},
        {"MarketPlace_1920x1080_60fps_8bit_444.yuv", 7, 1920, 1080, "YUV_TYPE_I444", 60},
        {"MarketPlace_1920x1080_60fps_10bit_422.yuv", 7, 1920, 1080, "YUV_TYPE_I210", 60},
        {"Tango2_3840x2160_60fps_12BIT_420.yuv", 0, 3840, 2160, "YUV_TYPE_I012", 60},
        {"a_16bit.yuv", 0, 0, 0, "YUV_TYPE_I016"},
        {"a_352x288_10b.yuv", kCifI420, 352, 288, "YUV_TYPE_I010"},
        {"a_10-bit_cif.yuv", 0, 352, 288, "YUV_TYPE_I010"},
        {"a_10_bits_444.yuv", 0, 0, 0, "YUV_TYPE_I410"},
        {"a_352x288_444_.yuv", 0, 352, 288, "YUV_TYPE_I444"},
        {"a_yuv422_cif.yuv", kCifI420, 352, 288, "YUV_TYPE_I422"},
        {"a_nv12_10bit.yuv", 0, 0, 0, "YUV_TYPE_P010"},
        {"a_p010_10bit_420.yuv", 0, 0, 0, "YUV_TYPE_P010"},
        // No such layout, or tokens that disagree: no guess, not even I420.
        {"a_16bit_444_352x288.yuv", kCifI420, 352, 288, ""},
        {"a_12bit_422.yuv", 0, 0, 0, ""},
        {"a_yv12_10bit.yuv", 0, 0, 0, ""},
        {"a_p010_8bit.yuv", 0, 0, 0, ""},
        {"a_nv12_444.yuv", 0, 0, 0, ""},
        {"a_8bit_10bit.yuv", 0, 0, 0, ""},
        {"a_420_444_352x288.yuv", kCifI420, 352, 288, ""},
        {"a_14bit_352x288.yuv", kCifI420, 352, 288, ""},
        // Not depth or chroma tokens.
        {"a_24bit_352x288.yuv", kCifI420, 352, 288, "YUV_TYPE_I420"},
        {"part10bx_4200_352x288.yuv", kCifI420, 352, 288, "YUV_TYPE_I420"},
        // Scan sizes with a rate, glued to words or not.
        {"park_joy_1080p50.yuv", 0, 1920, 1080, "", 50},
        {"720p5994_parkrun_ter.yuv", 1280 * 720 * 3, 1280, 720, "YUV_TYPE_I420", 59.94},
        {"tree_2160p60_10bit.yuv", 0, 3840, 2160, "YUV_TYPE_I010", 60},
        {"interview_1080i25.yuv", 0, 1920, 1080, "", 25},
        {"ParkJoy1080p.yuv", 0, 1920, 1080, ""},
        {"clip_1080p2997.yuv", 0, 1920, 1080, "", 29.97},
        {"clip_21080p50.yuv", 0, 0, 0, ""},
        {"clip_1080p50_720p50.yuv", 0, 0, 0, "", 50},
        {"clip_1280x720_1080p50.yuv", 0, 1280, 720, "", 50},
        // Rates: marked, after the size, and only when they all agree.
        {"BasketballDrive_1920x1080_50.yuv", 0, 1920, 1080, "", 50},
        {"clip_1920x1080_29.97.yuv", 0, 1920, 1080, "", 29.97},
        {"clip_1920x1080_29.97fps.yuv", 0, 1920, 1080, "", 29.97},
        {"clip_23,976fps.yuv", 0, 0, 0, "", 23.976},
        {"clip 25 fps.yuv", 0, 0, 0, "", 25},
        {"clip_50Hz_cif.yuv", 0, 352, 288, "", 50},
        {"clip120FPS.yuv", 0, 0, 0, "", 120},
        {"clip_1000fps.yuv", 0, 0, 0, "", 1000},
        {"clip_1920x1080_5994.yuv", 0, 1920, 1080, "", 59.94},
        {"clip_1920x1080_1000.yuv", 0, 1920, 1080, ""},
        {"clip_1920x1080_420.yuv", 0, 1920, 1080, "YUV_TYPE_I420"},
        {"clip_1920x1080_10bit_50.yuv", 0, 1920, 1080, "YUV_TYPE_I010"},
        {"clip_50_1920x1080.yuv", 0, 1920, 1080, ""},
        {"clip_1920x1080_50_25fps.yuv", 0, 1920, 1080, ""},
        {"clip_1080p50_50fps_50hz.yuv", 0, 1920, 1080, "", 50},
        {"clip_0fps_1001fps_khz_fps.yuv", 0, 0, 0, ""},
    };
    for (const NameCase& c : cases) {
        const lumo::YuvGuess guess = lumo::GuessFromName(c.name, c.bytes);
        EXPECT_EQ(guess.width, c.width) << c.name;
        EXPECT_EQ(guess.height, c.height) << c.name;
        EXPECT_EQ(guess.HasSize(), c.width > 0) << c.name;
        EXPECT_EQ(guess.type, c.type) << c.name;
        EXPECT_EQ(guess.HasType(), *c.type != '\0') << c.name;
        EXPECT_NEAR(guess.fps, c.fps, 1e-9) << c.name;
        EXPECT_EQ(guess.HasRate(), c.fps > 0) << c.name;
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
