#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "yuv/YuvTypeInfo.h"

namespace lumo {

// The closed, ordered list of pixel layouts: the 18 8-bit layouts, then the
// high-bit-depth ones. Built once on first use (thread-safe) and never
// changed afterwards.
class YuvTypeTable {
public:
    static const YuvTypeTable& Instance();

    int Count() const;
    // Copies the descriptor at index (0..Count()-1) into out; returns 0,
    // or -1 for an index outside the table.
    int GetByIndex(int index, YuvTypeInfo& out) const;
    // Exact, case-sensitive lookup; returns 0 on a match, else -1 and
    // leaves out untouched.
    int FindByName(const std::string& name, YuvTypeInfo& out) const;
    // The table's own descriptor of that name, nullptr when there is none;
    // valid for the life of the process.
    const YuvTypeInfo* Find(const std::string& name) const;

private:
    YuvTypeTable();
    std::vector<YuvTypeInfo> types_;
};

// floor(bytesPerPixel * width * height) in 64 bits; -1 for an unknown name.
int64_t GetFrameSize(int width, int height, const std::string& type);

// Layout name for the numeric codes of older stored lists; "UNKNOW" otherwise.
std::string LegacyTypeName(int code);

} // namespace lumo
