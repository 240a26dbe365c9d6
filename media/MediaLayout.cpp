#include "media/MediaLayout.h"

#include "media/MediaConversion.h"
#include "yuv/YuvTypeTable.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace lumo {

std::string LayoutNameForMediaFormat(int code)
{
    // Every layout a code stands for has its FFmpeg name in the table.
    const char* ffmpegName = av_get_pix_fmt_name(LayoutOfCode(code));
    const YuvTypeInfo* info = ffmpegName ? YuvTypeTable::Instance().FindByFfmpegName(ffmpegName) : nullptr;
    return info ? info->name : "YUV_TYPE_I420";
}

}
