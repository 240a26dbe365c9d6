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
    case Lumer::LUMER_PIX_FMT_YUV420P10LE: return "YUV_TYPE_I010";
    case Lumer::LUMER_PIX_FMT_YUV422P10LE: return "YUV_TYPE_I210";
    case Lumer::LUMER_PIX_FMT_YUV444P10LE: return "YUV_TYPE_I410";
    case Lumer::LUMER_PIX_FMT_YUV420P12LE: return "YUV_TYPE_I012";
    case Lumer::LUMER_PIX_FMT_YUV420P16LE: return "YUV_TYPE_I016";
    case Lumer::LUMER_PIX_FMT_P010LE: return "YUV_TYPE_P010";
    case Lumer::LUMER_PIX_FMT_P016LE: return "YUV_TYPE_P016";
    default: return "YUV_TYPE_I420";
    }
}

}
