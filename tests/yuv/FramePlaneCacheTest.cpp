#include <algorithm>
#include <memory>

#include <gtest/gtest.h>

#include "TempFile.h"
#include "yuv/FramePlaneCache.h"

using lumo::FramePlaneCache;

namespace {

// Two 2x2 I420 frames of 6 bytes; offsets are in bytes.
const std::vector<uint8_t> kFrames = {10, 11, 12, 13, 50, 90, 20, 21, 22, 23, 60, 100};

TEST(FramePlaneCacheTest, ReadsOnceAndNeverRefillsAdoptedPlanes)
{
    TempFile file(kFrames);
    FramePlaneCache cache(file.path(), 2, 2, "YUV_TYPE_I420", 8);
    EXPECT_EQ(cache.Offset(), -1);
    cache.Refresh(0);
    ASSERT_TRUE(cache.Holds());
    EXPECT_EQ(cache.Yuv444()[0], 10);
    EXPECT_EQ(cache.Yuv444()[4], 50);
    EXPECT_EQ(cache.Yuv444()[8], 90);
    const uint64_t serial = cache.Serial();
    cache.Refresh(0);
    EXPECT_EQ(cache.Serial(), serial) << "an unchanged frame is not read again";

    // Awaited planes: the frame held stays until they come.
    std::shared_ptr<uint8_t> adopted(new uint8_t[12], std::default_delete<uint8_t[]>());
    std::fill(adopted.get(), adopted.get() + 12, 7);
    cache.Expect(6);
    cache.Refresh(6);
    EXPECT_EQ(cache.Offset(), 0);
    ASSERT_TRUE(cache.Adopt(6, 6, adopted, nullptr));
    EXPECT_EQ(cache.Offset(), 6);
    EXPECT_EQ(cache.Yuv444(), adopted.get());

    // A read of the cache's own goes elsewhere, leaving the adopted buffer as it was.
    cache.Refresh(0);
    EXPECT_EQ(cache.Offset(), 0);
    EXPECT_NE(cache.Yuv444(), adopted.get());
    EXPECT_EQ(cache.Yuv444()[0], 10);
    EXPECT_TRUE(std::all_of(adopted.get(), adopted.get() + 12, [](uint8_t v) { return v == 7; }));

    // Planes not awaited, or for a frame no longer shown, are not taken.
    EXPECT_FALSE(cache.Adopt(6, 6, adopted, nullptr));
    cache.Expect(6);
    EXPECT_FALSE(cache.Adopt(6, 0, adopted, nullptr));
    EXPECT_FALSE(cache.Expecting(6));
    EXPECT_EQ(cache.Offset(), 0);

    FramePlaneCache none("", 2, 2, "YUV_TYPE_I420", 8);
    none.Refresh(0);
    EXPECT_FALSE(none.Holds());
    EXPECT_EQ(none.Yuv444(), nullptr);
}

} // namespace
