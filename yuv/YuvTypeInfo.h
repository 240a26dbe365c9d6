#pragma once

#include <string>

namespace lumo {

// Descriptor of one pixel layout, handed out by value.
struct YuvTypeInfo {
    std::string name;
    std::string description;
    float bytesPerPixel = 0.0f;
};

} // namespace lumo
