#include "yuv/YuvTypeTable.h"

namespace lumo {

YuvTypeTable::YuvTypeTable()
{
    types_ = {
        {"YUV_TYPE_I420", "I420 (YUV 420 Planar)", 1.5f},
        {"YUV_TYPE_YV12", "YV12 (YUV 420 Planar)", 1.5f},
        {"YUV_TYPE_NV21", "NV21 (YUV 420 Semi-Planar)", 1.5f},
        {"YUV_TYPE_NV12", "NV12 (YUV 420 Semi-Planar)", 1.5f},
        {"YUV_TYPE_I422", "I422 (YUV 422 Planar)", 2.0f},
        {"YUV_TYPE_YV16", "YV16 (YUV 422 Planar)", 2.0f},
        {"YUV_TYPE_NV16", "NV16 (YUV 422 Semi-Planar)", 2.0f},
        {"YUV_TYPE_NV61", "NV61 (YUV 422 Semi-Planar)", 2.0f},
        {"YUV_TYPE_YUYV", "YUYV (YUV 422 Interleaved)", 2.0f},
        {"YUV_TYPE_YUVY", "YUVY (YUV 422 Interleaved)", 2.0f},
        {"YUV_TYPE_VYUY", "VYUY (YUV 422 Interleaved)", 2.0f},
        {"YUV_TYPE_UYVY", "UYVY (YUV 422 Interleaved)", 2.0f},
        {"YUV_TYPE_I444", "I444 (YUV 444 Planar)", 3.0f},
        {"YUV_TYPE_YV24", "YV24 (YUV 444 Planar)", 3.0f},
        {"YUV_TYPE_NV24", "NV24 (YUV 444 Semi-Planar)", 3.0f},
        {"YUV_TYPE_NV42", "NV42 (YUV 444 Semi-Planar)", 3.0f},
        {"YUV_TYPE_YUV444_Packed", "YUV 444 Packed", 3.0f},
        {"YUV_TYPE_IYUV", "IYUV (YUV 444 Packed)", 3.0f},
    };
}

const YuvTypeTable& YuvTypeTable::Instance()
{
    // A function-local static is initialised exactly once, even when the
    // first calls race on several threads.
    static const YuvTypeTable table;
    return table;
}

int YuvTypeTable::Count() const
{
    return static_cast<int>(types_.size());
}

int YuvTypeTable::GetByIndex(int index, YuvTypeInfo& out) const
{
    if (index < 0 || index >= Count())
        return -1;
    out = types_[static_cast<size_t>(index)];
    return 0;
}

int YuvTypeTable::FindByName(const std::string& name, YuvTypeInfo& out) const
{
    for (const YuvTypeInfo& info : types_) {
        if (info.name == name) {
            out = info;
            return 0;
        }
    }
    return -1;
}

int64_t GetFrameSize(int width, int height, const std::string& type)
{
    YuvTypeInfo info;
    if (YuvTypeTable::Instance().FindByName(type, info) != 0)
        return -1;
    // bytesPerPixel is 1.5, 2 or 3: exact in integers, so no float rounding
    // creeps in for large frames. 128-bit products cannot overflow; sizes
    // beyond 64 bits saturate (no file or buffer can hold them anyway).
    const __int128 twice = static_cast<__int128>(info.bytesPerPixel * 2.0f);
    const __int128 size = static_cast<__int128>(width) * height * twice / 2; // truncates toward zero
    if (size > INT64_MAX)
        return INT64_MAX;
    if (size < INT64_MIN)
        return INT64_MIN;
    return static_cast<int64_t>(size);
}

std::string LegacyTypeName(int code)
{
    static const char* const kNames[] = {
        "YUV_TYPE_I420", "YUV_TYPE_YV12", "YUV_TYPE_NV21", "YUV_TYPE_NV12", "YUV_TYPE_I444",
        "YUV_TYPE_I422", "YUV_TYPE_UYVY", "YUV_TYPE_YUYV", "YUV_TYPE_IYU2",
    };
    if (code < 0 || code >= static_cast<int>(sizeof(kNames) / sizeof(kNames[0])))
        return "UNKNOW";
    return kNames[code];
}

} // namespace lumo
