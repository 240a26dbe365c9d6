#pragma once

#include <string>

namespace lumo {

// The layout-table name ("YUV_TYPE_NV12") of what LumoReader wrote for a
// Lumer::LumerAVPixelFormat code; "YUV_TYPE_I420" for any other code.
std::string LayoutNameForMediaFormat(int code);

}
