#include "media/MediaLayout.h"

#include "media/LumoReader.h"

namespace lumo {

std::string LayoutNameForMediaFormat(int code)
{
    switch (code) {
    case Lumer::LUMER_PIX_FMT_NV12: return "YUV_TYPE_NV12";
    case Lumer::LUMER_PIX_FMT_NV21: return "YUV_TYPE_NV21";
    case Lumer::LUMER_PIX_FMT_YUV422P: return "YUV_TYPE_I422";
    case Lumer::LUMER_PIX_FMT_YUYV422: return "YUV_TYPE_YUYV";
    case Lumer::LUMER_PIX_FMT_YUV444P: return "YUV_TYPE_I444";
    default: return "YUV_TYPE_I420";
    }
}

}
