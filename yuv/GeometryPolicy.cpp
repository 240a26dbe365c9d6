#include "yuv/GeometryPolicy.h"

namespace lumo {
namespace {

// Digits up to kMaxGuessDimension (leading zeros allowed), else -1.
int Side(const std::string& digits)
{
    if (digits.empty())
        return -1;
    int value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
        if (value > kMaxGuessDimension)
            return -1;
    }
    return value;
}

GeometryOrigin From(GuessSource source)
{
    switch (source) {
    case GuessSource::Name: return GeometryOrigin::Name;
    case GuessSource::Header: return GeometryOrigin::Header;
    case GuessSource::None: break;
    }
    return GeometryOrigin::None;
}

bool SameSize(const SizeFlag& flag, int width, int height)
{
    return flag.width == width && flag.height == height;
}

// Whether a raw file among `files` is named with `flag`.
template <typename Flag, typename Member>
bool NamesRawFile(const std::vector<NamedFile>& files, const Flag* flag, Member member)
{
    for (const NamedFile& file : files)
        if (file.*member == flag && !file.guess.isY4m && !file.guess.isEncoded)
            return true;
    return false;
}

FileGeometry Resolve(const std::vector<NamedFile>& files, size_t index, const std::vector<FileGeometry>& earlier)
{
    const NamedFile& file = files[index];
    const YuvGuess& guess = file.guess;
    FileGeometry geometry;
    geometry.isY4m = guess.isY4m;
    geometry.isEncoded = guess.isEncoded;
    geometry.fps = guess.fps;
    geometry.fpsFrom = From(guess.fpsFrom);
    const SizeFlag* size = file.size && file.size->Given() ? file.size : nullptr;
    const LayoutFlag* layout = file.layout && file.layout->Given() ? file.layout : nullptr;

    if (guess.isY4m || guess.isEncoded) {
        if (guess.isY4m && guess.y4m.status != Y4mStatus::Ok) {
            geometry.problem = GeometryProblem::DamagedY4m;
            return geometry;
        }
        geometry.width = guess.width;
        geometry.height = guess.height;
        geometry.type = guess.type;
        geometry.sizeFrom = geometry.typeFrom = GeometryOrigin::Header;
        if (size && !SameSize(*size, guess.width, guess.height) && !NamesRawFile(files, size, &NamedFile::size))
            geometry.problem = GeometryProblem::SizeContradictsHeader;
        else if (layout && layout->type != guess.type && !NamesRawFile(files, layout, &NamedFile::layout))
            geometry.problem = GeometryProblem::LayoutContradictsHeader;
        return geometry;
    }

    const FileGeometry* other = file.fallback >= 0 && static_cast<size_t>(file.fallback) < index
                                    ? &earlier[static_cast<size_t>(file.fallback)]
                                    : nullptr;
    if (size) {
        geometry.width = size->width;
        geometry.height = size->height;
        geometry.sizeFrom = GeometryOrigin::Flag;
    } else if (guess.HasSize()) {
        geometry.width = guess.width;
        geometry.height = guess.height;
        geometry.sizeFrom = GeometryOrigin::Name;
    } else if (other && other->HasSize()) {
        geometry.width = other->width;
        geometry.height = other->height;
        geometry.sizeFrom = GeometryOrigin::OtherFile;
    } else {
        geometry.problem = GeometryProblem::NoSize;
    }
    if (layout) {
        geometry.type = layout->type;
        geometry.typeFrom = GeometryOrigin::Flag;
    } else if (guess.HasType()) {
        geometry.type = guess.type;
        geometry.typeFrom = GeometryOrigin::Name;
    } else if (other && !other->type.empty()) {
        geometry.type = other->type;
        geometry.typeFrom = GeometryOrigin::OtherFile;
    } else {
        geometry.type = "YUV_TYPE_I420";
        geometry.typeFrom = GeometryOrigin::Default;
    }
    return geometry;
}

} // namespace

SizeTextStatus ParseSizeText(const std::string& text, int* width, int* height)
{
    const size_t x = text.find_first_of("xX");
    if (x == std::string::npos)
        return SizeTextStatus::Malformed;
    const int w = Side(text.substr(0, x));
    const int h = Side(text.substr(x + 1));
    if (w < 0 || h < 0)
        return SizeTextStatus::Malformed;
    if (w == 0 || h == 0)
        return SizeTextStatus::Zero;
    *width = w;
    *height = h;
    return SizeTextStatus::Ok;
}

std::vector<FileGeometry> ResolveGeometry(const std::vector<NamedFile>& files)
{
    std::vector<FileGeometry> resolved;
    resolved.reserve(files.size());
    for (size_t i = 0; i < files.size(); ++i)
        resolved.push_back(Resolve(files, i, resolved));
    return resolved;
}

FileGeometry ResolveGeometry(const YuvGuess& guess, const SizeFlag& size, const LayoutFlag& layout)
{
    return ResolveGeometry({NamedFile{guess, &size, &layout, -1}}).front();
}

std::string ContradictionText(const NamedFile& file, const FileGeometry& geometry, const std::string& name)
{
    const std::string prefix =
        (geometry.isEncoded ? " contradicts the video stream of " : " contradicts the Y4M header of ") + name +
        ", which says ";
    if (geometry.problem == GeometryProblem::SizeContradictsHeader && file.size)
        return file.size->option + " " + file.size->text + prefix + std::to_string(geometry.width) + "x" +
               std::to_string(geometry.height);
    if (geometry.problem == GeometryProblem::LayoutContradictsHeader && file.layout) {
        const std::string kPrefix = "YUV_TYPE_";
        const bool prefixed = geometry.type.rfind(kPrefix, 0) == 0;
        return file.layout->option + " " + file.layout->text + prefix +
               (prefixed ? geometry.type.substr(kPrefix.size()) : geometry.type);
    }
    return std::string();
}

} // namespace lumo
