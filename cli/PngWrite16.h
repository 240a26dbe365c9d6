#pragma once

#include <cstdint>
#include <string>

#include "cli/OutputFile.h"

namespace lumo::cli {

// Encodes w x h pixels of R, G, B 16-bit samples (native byte order) as a
// 16-bit RGB PNG into `file`. False with `error` set when encoding or
// writing fails.
bool WritePng16(OutputFile& file, const uint16_t* rgb, int width, int height, std::string& error);

} // namespace lumo::cli
