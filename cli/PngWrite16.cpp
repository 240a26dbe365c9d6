#include "cli/PngWrite16.h"

#include <png.h>

#include <csetjmp>

namespace lumo::cli {
namespace {

struct PngOut {
    OutputFile* file;
    bool ok;
    std::string error;
};

void WriteData(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<PngOut*>(png_get_io_ptr(png));
    if (out->ok)
        out->ok = out->file->WriteAll(data, length, out->error);
}

void FlushData(png_structp)
{
}

} // namespace

bool WritePng16(OutputFile& file, const uint16_t* rgb, int width, int height, std::string& error)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) {
        error = "cannot encode the PNG (out of memory)";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    PngOut out{&file, true, std::string()};
    // libpng reports its errors by jumping back here.
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        error = out.ok ? "cannot encode the PNG" : out.error;
        return false;
    }
    png_set_write_fn(png, &out, WriteData, FlushData);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 16, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    png_set_swap(png); // PNG keeps 16-bit samples big-endian
#endif
    for (int y = 0; y < height; ++y)
        png_write_row(png, reinterpret_cast<png_const_bytep>(rgb + static_cast<size_t>(y) * 3 * width));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (!out.ok)
        error = out.error;
    return out.ok;
}

} // namespace lumo::cli
