#include "yuv/YuvTypeTable.h"

namespace lumo {

namespace {

const char kPrefix[] = "YUV_TYPE_";

YuvTypeInfo Layout(const char* name, const char* description, YuvChroma chroma, YuvArrangement arrangement,
                   const char* order, int bitDepth = 8, int bitShift = 0, const char* ffmpegName = "")
{
    YuvTypeInfo info;
    info.name = name;
    info.shortName = info.name.substr(sizeof kPrefix - 1);
    info.description = description;
    info.chroma = chroma;
    info.arrangement = arrangement;
    info.order = order;
    info.bitDepth = bitDepth;
    info.sampleBytes = bitDepth > 8 ? 2 : 1;
    info.bitShift = bitShift;
    info.ffmpegName = ffmpegName;
    const float samplesPerPixel = chroma == YuvChroma::C420 ? 1.5f : chroma == YuvChroma::C422 ? 2.0f : 3.0f;
    info.bytesPerPixel = samplesPerPixel * static_cast<float>(info.sampleBytes);
    return info;
}

} // namespace

YuvTypeTable::YuvTypeTable()
{
    using C = YuvChroma;
    using A = YuvArrangement;
    types_ = {
        // FFmpeg has no name for YV12, YV16, NV61, YUVY, VYUY, YV24, the
        // packed 4:4:4 layout and IYUV.
        Layout("YUV_TYPE_I420", "I420 (YUV 420 Planar)", C::C420, A::Planar, "YUV", 8, 0, "yuv420p"),
        Layout("YUV_TYPE_YV12", "YV12 (YUV 420 Planar)", C::C420, A::Planar, "YVU"),
        Layout("YUV_TYPE_NV21", "NV21 (YUV 420 Semi-Planar)", C::C420, A::SemiPlanar, "YVU", 8, 0, "nv21"),
        Layout("YUV_TYPE_NV12", "NV12 (YUV 420 Semi-Planar)", C::C420, A::SemiPlanar, "YUV", 8, 0, "nv12"),
        Layout("YUV_TYPE_I422", "I422 (YUV 422 Planar)", C::C422, A::Planar, "YUV", 8, 0, "yuv422p"),
        Layout("YUV_TYPE_YV16", "YV16 (YUV 422 Planar)", C::C422, A::Planar, "YVU"),
        Layout("YUV_TYPE_NV16", "NV16 (YUV 422 Semi-Planar)", C::C422, A::SemiPlanar, "YUV", 8, 0, "nv16"),
        Layout("YUV_TYPE_NV61", "NV61 (YUV 422 Semi-Planar)", C::C422, A::SemiPlanar, "YVU"),
        Layout("YUV_TYPE_YUYV", "YUYV (YUV 422 Interleaved)", C::C422, A::Packed, "YUYV", 8, 0, "yuyv422"),
        Layout("YUV_TYPE_YUVY", "YUVY (YUV 422 Interleaved)", C::C422, A::Packed, "YUVY"),
        Layout("YUV_TYPE_VYUY", "VYUY (YUV 422 Interleaved)", C::C422, A::Packed, "VYUY"),
        Layout("YUV_TYPE_UYVY", "UYVY (YUV 422 Interleaved)", C::C422, A::Packed, "UYVY", 8, 0, "uyvy422"),
        Layout("YUV_TYPE_I444", "I444 (YUV 444 Planar)", C::C444, A::Planar, "YUV", 8, 0, "yuv444p"),
        Layout("YUV_TYPE_YV24", "YV24 (YUV 444 Planar)", C::C444, A::Planar, "YVU"),
        Layout("YUV_TYPE_NV24", "NV24 (YUV 444 Semi-Planar)", C::C444, A::SemiPlanar, "YUV", 8, 0, "nv24"),
        Layout("YUV_TYPE_NV42", "NV42 (YUV 444 Semi-Planar)", C::C444, A::SemiPlanar, "YVU", 8, 0, "nv42"),
        Layout("YUV_TYPE_YUV444_Packed", "YUV 444 Packed", C::C444, A::Packed, "YUV"),
        Layout("YUV_TYPE_IYUV", "IYUV (YUV 444 Packed)", C::C444, A::Planar, "UYV"),
        // 16-bit little-endian samples.
        Layout("YUV_TYPE_I010", "I010 (YUV 420 Planar 10-bit)", C::C420, A::Planar, "YUV", 10, 0, "yuv420p10le"),
        Layout("YUV_TYPE_I210", "I210 (YUV 422 Planar 10-bit)", C::C422, A::Planar, "YUV", 10, 0, "yuv422p10le"),
        Layout("YUV_TYPE_I410", "I410 (YUV 444 Planar 10-bit)", C::C444, A::Planar, "YUV", 10, 0, "yuv444p10le"),
        Layout("YUV_TYPE_I012", "I012 (YUV 420 Planar 12-bit)", C::C420, A::Planar, "YUV", 12, 0, "yuv420p12le"),
        Layout("YUV_TYPE_I016", "I016 (YUV 420 Planar 16-bit)", C::C420, A::Planar, "YUV", 16, 0, "yuv420p16le"),
        Layout("YUV_TYPE_P010", "P010 (YUV 420 Semi-Planar 10-bit)", C::C420, A::SemiPlanar, "YUV", 10, 6,
               "p010le"),
        Layout("YUV_TYPE_P016", "P016 (YUV 420 Semi-Planar 16-bit)", C::C420, A::SemiPlanar, "YUV", 16, 0,
               "p016le"),
    };
    for (size_t i = 0; i < types_.size(); ++i) {
        types_[i].index = static_cast<int>(i);
        byName_.emplace(types_[i].name, static_cast<int>(i));
        if (!types_[i].ffmpegName.empty())
            byFfmpegName_.emplace(types_[i].ffmpegName, static_cast<int>(i));
    }
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

const YuvTypeInfo* YuvTypeTable::At(int index) const
{
    return index < 0 || index >= Count() ? nullptr : &types_[static_cast<size_t>(index)];
}

int YuvTypeTable::IndexOf(const std::string& name) const
{
    const auto it = byName_.find(name);
    return it == byName_.end() ? -1 : it->second;
}

const YuvTypeInfo* YuvTypeTable::Find(const std::string& name) const
{
    return At(IndexOf(name));
}

const YuvTypeInfo* YuvTypeTable::FindByFfmpegName(const std::string& ffmpegName) const
{
    const auto it = byFfmpegName_.find(ffmpegName);
    return it == byFfmpegName_.end() ? nullptr : At(it->second);
}

int YuvTypeTable::FindByName(const std::string& name, YuvTypeInfo& out) const
{
    const YuvTypeInfo* info = Find(name);
    if (!info)
        return -1;
    out = *info;
    return 0;
}

bool GetFrameGeometry(int width, int height, const std::string& type, YuvFrameGeometry* out)
{
    const YuvTypeInfo* info = YuvTypeTable::Instance().Find(type);
    if (!info || !out)
        return false;
    YuvFrameGeometry g;
    g.chromaWidth = ChromaWidth(info->chroma, width);
    g.chromaHeight = ChromaHeight(info->chroma, height);
    const int64_t n = static_cast<int64_t>(width) * height;
    const int64_t cw = g.chromaWidth;
    g.chromaSamples = cw * g.chromaHeight;
    // 128-bit sums cannot overflow; sizes beyond 64 bits saturate (no file
    // or buffer can hold them anyway).
    __int128 samples = 0;
    switch (info->arrangement) {
    case YuvArrangement::Planar:
    case YuvArrangement::SemiPlanar:
        g.lumaRow = width;
        g.chromaRow = info->arrangement == YuvArrangement::Planar ? cw : 2 * cw;
        samples = static_cast<__int128>(n) + 2 * static_cast<__int128>(g.chromaSamples);
        break;
    case YuvArrangement::Packed:
        g.lumaRow = info->chroma == YuvChroma::C444 ? 3 * static_cast<int64_t>(width) : 4 * cw;
        samples = static_cast<__int128>(g.lumaRow) * height;
        break;
    }
    const __int128 size = samples * info->sampleBytes;
    g.frameSize = size > INT64_MAX ? INT64_MAX : size < INT64_MIN ? INT64_MIN : static_cast<int64_t>(size);
    *out = g;
    return true;
}

int64_t GetFrameSize(int width, int height, const std::string& type)
{
    YuvFrameGeometry g;
    return GetFrameGeometry(width, height, type, &g) ? g.frameSize : -1;
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
