#include "yuv/YuvGuess.h"

#include <sys/stat.h>

#include <utility>
#include <vector>

#include "yuv/YuvFrameFile.h"
#include "yuv/YuvTypeTable.h"

namespace lumo {
namespace {

const std::string kPrefix = "YUV_TYPE_";

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsAlnum(char c)
{
    return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// 1 to kMaxGuessDimension, else 0.
int Dimension(const std::string& digits)
{
    if (digits.size() > 5)
        return 0;
    const int value = std::stoi(digits);
    return value >= 1 && value <= kMaxGuessDimension ? value : 0;
}

using Words = std::vector<std::pair<std::string, std::string>>;

// FFmpeg's names of the 8-bit layouts, beside the table's own.
const Words& FfmpegExtras()
{
    static const Words extras = {
        {"yuv420p", "YUV_TYPE_I420"}, {"yuvj420p", "YUV_TYPE_I420"}, {"yuv422p", "YUV_TYPE_I422"},
        {"yuvj422p", "YUV_TYPE_I422"}, {"yuv444p", "YUV_TYPE_I444"}, {"yuvj444p", "YUV_TYPE_I444"},
        {"yuy2", "YUV_TYPE_YUYV"},     {"yuyv422", "YUV_TYPE_YUYV"}, {"uyvy422", "YUV_TYPE_UYVY"},
    };
    return extras;
}

// Lower-case words that name a layout: short names and FFmpeg names.
// `withIyuv`: whether "iyuv" counts (typed by a user it names our layout;
// in a file name it more often means I420).
Words LayoutWords(bool withIyuv)
{
    Words words;
    const YuvTypeTable& table = YuvTypeTable::Instance();
    for (int i = 0; i < table.Count(); ++i) {
        YuvTypeInfo info;
        table.GetByIndex(i, info);
        const std::string shortName = Lower(info.name.substr(kPrefix.size()));
        if (withIyuv || shortName != "iyuv")
            words.emplace_back(shortName, info.name);
        if (!info.ffmpegName.empty())
            words.emplace_back(Lower(info.ffmpegName), info.name);
    }
    for (const auto& extra : FfmpegExtras())
        words.push_back(extra);
    return words;
}

std::string FindWord(const Words& words, const std::string& lower)
{
    for (const auto& word : words)
        if (word.first == lower)
            return word.second;
    return std::string();
}

struct NamedSize {
    const char* token;
    int width;
    int height;
};

const NamedSize kNamedSizes[] = {
    {"qcif", 176, 144},   {"cif", 352, 288},    {"4cif", 704, 576},   {"vga", 640, 480},   {"720p", 1280, 720},
    {"1080p", 1920, 1080}, {"2160p", 3840, 2160}, {"4k", 3840, 2160}, {"uhd", 3840, 2160},
};

// The last WxH of the name: 1 when it is in range (width and height set),
// 0 when it is not, -1 when the name has none.
int LastSize(const std::string& name, int* width, int* height)
{
    int found = -1;
    for (size_t i = 0; i < name.size(); ++i) {
        if (!IsDigit(name[i]) || (i > 0 && IsAlnum(name[i - 1])))
            continue;
        size_t j = i;
        while (j < name.size() && IsDigit(name[j]))
            ++j;
        size_t k = j;
        if (k < name.size() && (name[k] == 'x' || name[k] == 'X'))
            k += 1;
        else if (name.compare(k, 2, "\xC3\x97") == 0) // U+00D7 in UTF-8
            k += 2;
        else
            continue;
        size_t m = k;
        while (m < name.size() && IsDigit(name[m]))
            ++m;
        if (m == k)
            continue; // "1920x": no height
        const int w = Dimension(name.substr(i, j - i));
        const int h = Dimension(name.substr(k, m - k));
        found = w > 0 && h > 0 ? 1 : 0;
        *width = w;
        *height = h;
        i = j - 1;
    }
    return found;
}

} // namespace

YuvGuess GuessFromName(const std::string& path, int64_t fileBytes)
{
    const size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    YuvGuess guess;

    std::vector<std::string> tokens;
    for (size_t i = 0; i < name.size();) {
        if (!IsAlnum(name[i])) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < name.size() && IsAlnum(name[j]))
            ++j;
        tokens.push_back(Lower(name.substr(i, j - i)));
        i = j;
    }

    int width = 0;
    int height = 0;
    const int sized = LastSize(name, &width, &height);
    if (sized < 0) {
        // Named sizes count only when they all agree.
        for (const std::string& token : tokens) {
            for (const NamedSize& named : kNamedSizes) {
                if (token != named.token)
                    continue;
                if (width != 0 && (width != named.width || height != named.height)) {
                    width = height = -1;
                } else if (width >= 0) {
                    width = named.width;
                    height = named.height;
                }
            }
        }
    }
    if (width > 0 && height > 0) {
        guess.width = width;
        guess.height = height;
        guess.sizeFrom = GuessSource::Name;
    }

    static const Words words = LayoutWords(false);
    std::string type;
    bool ambiguous = false;
    for (const std::string& token : tokens) {
        const std::string named = token == "iyuv" ? std::string("?") : FindWord(words, token);
        if (named.empty())
            continue;
        if (!type.empty() && type != named)
            ambiguous = true;
        type = named;
    }
    if (type == "?" || ambiguous)
        return guess;
    if (!type.empty()) {
        guess.type = type;
        guess.typeFrom = GuessSource::Name;
    } else if (guess.HasSize() && fileBytes > 0) {
        const int64_t frame = GetFrameSize(guess.width, guess.height, "YUV_TYPE_I420");
        if (frame > 0 && fileBytes % frame == 0) {
            guess.type = "YUV_TYPE_I420";
            guess.typeFrom = GuessSource::Name;
        }
    }
    return guess;
}

YuvGuess GuessFile(const std::string& path)
{
    YuvGuess guess;
    if (YuvFrameFile::ProbeY4m(path, &guess.y4m)) {
        guess.isY4m = true;
        if (guess.y4m.status == Y4mStatus::Ok) {
            guess.width = guess.y4m.width;
            guess.height = guess.y4m.height;
            guess.type = guess.y4m.type;
            guess.sizeFrom = GuessSource::Header;
            guess.typeFrom = GuessSource::Header;
        }
        return guess;
    }
    struct stat st {};
    const bool regular = ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    return GuessFromName(path, regular ? static_cast<int64_t>(st.st_size) : -1);
}

std::string LayoutFromUserText(const std::string& text)
{
    static const Words words = LayoutWords(true);
    const std::string lower = Lower(text);
    const YuvTypeTable& table = YuvTypeTable::Instance();
    for (int i = 0; i < table.Count(); ++i) {
        YuvTypeInfo info;
        table.GetByIndex(i, info);
        if (Lower(info.name) == lower)
            return info.name;
    }
    return FindWord(words, lower);
}

} // namespace lumo
