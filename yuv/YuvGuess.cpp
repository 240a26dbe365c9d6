#include "yuv/YuvGuess.h"

#include "yuv/RawFrameSource.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <utility>
#include <vector>

#include "yuv/YuvFrameFile.h"
#include "yuv/YuvTypeTable.h"

namespace lumo {
namespace {

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
// Lower-case word -> layout name, built once.
using WordMap = std::unordered_map<std::string, std::string>;

// Other names in common use, beside the table's short and FFmpeg names:
// FFmpeg's full-range variants and the Windows name of YUYV.
const Words& NameExtras()
{
    static const Words extras = {
        {"yuvj420p", "YUV_TYPE_I420"},
        {"yuvj422p", "YUV_TYPE_I422"},
        {"yuvj444p", "YUV_TYPE_I444"},
        {"yuy2", "YUV_TYPE_YUYV"},
    };
    return extras;
}

// Lower-case words that name a layout: short names and FFmpeg names.
// `withIyuv`: whether "iyuv" counts (typed by a user it names our layout;
// in a file name it more often means I420). With `withTableNames`, the
// table's own names too. The first mention of a word wins.
WordMap LayoutWords(bool withIyuv, bool withTableNames)
{
    WordMap words;
    const YuvTypeTable& table = YuvTypeTable::Instance();
    for (int i = 0; i < table.Count(); ++i) {
        const YuvTypeInfo& info = *table.At(i);
        const std::string shortName = Lower(info.shortName);
        if (withTableNames)
            words.emplace(Lower(info.name), info.name);
        if (withIyuv || shortName != "iyuv")
            words.emplace(shortName, info.name);
        if (!info.ffmpegName.empty())
            words.emplace(Lower(info.ffmpegName), info.name);
    }
    for (const auto& extra : NameExtras())
        words.insert(extra);
    return words;
}

std::string FindWord(const WordMap& words, const std::string& lower)
{
    const auto it = words.find(lower);
    return it == words.end() ? std::string() : it->second;
}

// Every mention must agree: a value said two ways is not known.
template <typename T>
class Agreed {
public:
    void Add(const T& value)
    {
        if (!given_)
            value_ = value;
        else if (!Same(value_, value))
            conflict_ = true;
        given_ = true;
    }
    bool Given() const { return given_; }
    bool Known() const { return given_ && !conflict_; }
    const T& Value() const { return value_; }

private:
    static bool Same(double a, double b) { return std::fabs(a - b) < 1e-6; }
    template <typename U>
    static bool Same(const U& a, const U& b)
    {
        return a == b;
    }

    T value_{};
    bool given_ = false;
    bool conflict_ = false;
};

using Size = std::pair<int, int>;

struct Token {
    std::string text; // lower case
    size_t begin;
    size_t end;
};

std::vector<Token> Tokenize(const std::string& name)
{
    std::vector<Token> tokens;
    for (size_t i = 0; i < name.size();) {
        if (!IsAlnum(name[i])) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < name.size() && IsAlnum(name[j]))
            ++j;
        tokens.push_back(Token{Lower(name.substr(i, j - i)), i, j});
        i = j;
    }
    return tokens;
}

bool AllDigits(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), IsDigit);
}

// Rates with a unit (60fps, 50hz) and bare numbers after a size or a scan
// letter (_50_, 1080p50).
constexpr int kMaxMarkedRate = 1000;
constexpr int kMaxBareRate = 120;

// A rate written as digits: whole frames, 1 to `most`, or with
// `hundredths` (5994 is 59.94) four or five digits not ending in 00; 0 when
// neither.
double RateFromDigits(const std::string& digits, int most, bool hundredths = false)
{
    if (!AllDigits(digits) || digits.size() > 5 || digits[0] == '0')
        return 0;
    const int value = std::stoi(digits);
    if (value <= most)
        return value;
    if (hundredths && digits.size() >= 4 && value % 100 != 0 && value <= most * 100)
        return value / 100.0;
    return 0;
}

// `whole` with `decimals` (up to three digits) after its point; 0 when
// either is unusable or the sum passes `most`.
double WithDecimals(double whole, const std::string& decimals, int most)
{
    if (whole <= 0 || !AllDigits(decimals) || decimals.size() > 3)
        return 0;
    const double rate = whole + std::stoi(decimals) / std::pow(10.0, static_cast<double>(decimals.size()));
    return rate <= most ? rate : 0;
}

// The rate of the number at `begin`, whole or with decimals after a dot or
// comma, ending where the token ends; 0 when there is none.
double RateAt(const std::string& name, size_t begin, int most)
{
    size_t e = begin;
    while (e < name.size() && IsDigit(name[e]))
        ++e;
    const double whole = RateFromDigits(name.substr(begin, e - begin), most, true);
    size_t f = e;
    if (e + 1 < name.size() && (name[e] == '.' || name[e] == ',') && IsDigit(name[e + 1]))
        for (f = e + 1; f < name.size() && IsDigit(name[f]);)
            ++f;
    if (f < name.size() && IsAlnum(name[f]))
        return 0;
    return f == e ? whole : WithDecimals(whole, name.substr(e + 1, f - e - 1), most);
}

struct NamedSize {
    const char* token;
    int width;
    int height;
};

const NamedSize kNamedSizes[] = {
    {"qcif", 176, 144}, {"cif", 352, 288}, {"4cif", 704, 576}, {"vga", 640, 480}, {"4k", 3840, 2160}, {"uhd", 3840, 2160},
};

// Heights written with a scan letter: 720p, 1080p, 1080i, 2160p.
const NamedSize kScanSizes[] = {{"720", 1280, 720}, {"1080", 1920, 1080}, {"2160", 3840, 2160}};

// A scan size at the end of a token, glued to a word or not, with an
// optional rate ("1080p", "1080i25", "joy1080p50"); false when there is none.
// `rate` is 0 when no rate follows.
bool ScanSize(const std::string& token, Size* size, double* rate)
{
    size_t r = token.size();
    while (r > 0 && IsDigit(token[r - 1]))
        --r;
    if (r < 2 || (token[r - 1] != 'p' && token[r - 1] != 'i'))
        return false;
    size_t h = r - 1;
    while (h > 0 && IsDigit(token[h - 1]))
        --h;
    const std::string height = token.substr(h, r - 1 - h);
    for (const NamedSize& named : kScanSizes) {
        if (height != named.token || (token[r - 1] == 'i' && named.height != 1080))
            continue;
        *size = Size(named.width, named.height);
        *rate = r < token.size() ? RateFromDigits(token.substr(r), kMaxMarkedRate, true) : 0;
        return true;
    }
    return false;
}

// The last WxH of the name: 1 when it is in range (width and height set),
// 0 when it is not, -1 when the name has none. `end` is where it ends.
int LastSize(const std::string& name, int* width, int* height, size_t* end)
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
        *end = m;
        i = j - 1;
    }
    return found;
}

// Whether tokens `i` and `i + 1` are one character apart.
bool OneApart(const std::vector<Token>& tokens, size_t i)
{
    return i + 1 < tokens.size() && tokens[i].end + 1 == tokens[i + 1].begin;
}

// The rate a token states with a unit: "60fps", "50hz", "60 fps",
// "29.97fps" (the whole part being the token before the dot); 0 when none.
double MarkedRate(const std::string& name, const std::vector<Token>& tokens, size_t index)
{
    const std::string& text = tokens[index].text;
    size_t unit = text.size();
    for (const std::string suffix : {"fps", "hz"})
        if (text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0)
            unit = text.size() - suffix.size();
    if (unit == text.size())
        return 0;
    // The digits: in this token, or the one before ("60 fps").
    size_t at = index;
    std::string digits;
    if (unit == 0) {
        if (index == 0 || !OneApart(tokens, index - 1))
            return 0;
        at = index - 1;
        digits = tokens[at].text;
    } else {
        size_t d = unit;
        while (d > 0 && IsDigit(text[d - 1]))
            --d;
        digits = text.substr(d, unit - d);
        if (d > 0) // glued to a word: "clip60fps"
            return RateFromDigits(digits, kMaxMarkedRate);
    }
    if (at > 0 && OneApart(tokens, at - 1)) {
        const char point = name[tokens[at].begin - 1];
        if (point == '.' || point == ',')
            return WithDecimals(RateFromDigits(tokens[at - 1].text, kMaxMarkedRate), digits, kMaxMarkedRate);
    }
    return RateFromDigits(digits, kMaxMarkedRate);
}

// A bit depth token: "10bit", "10bits", "10b", or "bit" after "10-" or "10_";
// 0 when the token is none.
int DepthToken(const std::vector<Token>& tokens, size_t index)
{
    const std::string& text = tokens[index].text;
    std::string digits;
    if (text == "bit" || text == "bits") {
        if (index > 0 && OneApart(tokens, index - 1))
            digits = tokens[index - 1].text;
    } else {
        size_t d = 0;
        while (d < text.size() && IsDigit(text[d]))
            ++d;
        const std::string unit = text.substr(d);
        if (unit == "bit" || unit == "bits" || unit == "b")
            digits = text.substr(0, d);
    }
    if (!AllDigits(digits) || digits.size() > 2)
        return 0;
    const int depth = std::stoi(digits);
    return depth >= 8 && depth <= 16 ? depth : 0;
}

// The layout of `depth` and `chroma` in the family of `family` (arrangement
// and sample order); empty when the table has none.
std::string LayoutInFamily(const YuvTypeInfo& family, YuvChroma chroma, int depth)
{
    const YuvTypeTable& table = YuvTypeTable::Instance();
    for (int i = 0; i < table.Count(); ++i) {
        YuvTypeInfo info;
        table.GetByIndex(i, info);
        if (info.chroma == chroma && info.arrangement == family.arrangement && info.order == family.order &&
            info.bitDepth == depth)
            return info.name;
    }
    return std::string();
}

// The layout the layout, chroma and depth tokens agree on: "" when there are
// none, "?" when they contradict each other or the table has no such layout.
std::string NamedLayout(const Agreed<std::string>& named, const Agreed<YuvChroma>& chroma, const Agreed<int>& depth)
{
    if (!named.Given() && !chroma.Given() && !depth.Given())
        return std::string();
    if ((named.Given() && (!named.Known() || named.Value() == "?")) || (chroma.Given() && !chroma.Known()) ||
        (depth.Given() && !depth.Known()))
        return "?";
    YuvTypeInfo family;
    YuvTypeTable::Instance().FindByName(named.Given() ? named.Value() : "YUV_TYPE_I420", family);
    if (!chroma.Given() && !depth.Given())
        return family.name;
    if (named.Given() && chroma.Given() && chroma.Value() != family.chroma)
        return "?";
    // A high-bit name states its depth; an 8-bit one (nv12, i420) is taken
    // as the family only.
    if (named.Given() && depth.Given() && family.bitDepth != 8 && depth.Value() != family.bitDepth)
        return "?";
    const std::string type = LayoutInFamily(family, chroma.Given() ? chroma.Value() : family.chroma,
                                            depth.Given() ? depth.Value() : family.bitDepth);
    return type.empty() ? std::string("?") : type;
}

} // namespace

YuvGuess GuessFromName(const std::string& path, int64_t fileBytes)
{
    const size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::vector<Token> tokens = Tokenize(name);
    YuvGuess guess;
    Agreed<double> rate;
    const auto addRate = [&rate](double fps) {
        if (fps > 0)
            rate.Add(fps);
    };

    int width = 0;
    int height = 0;
    size_t sizeEnd = 0;
    const int sized = LastSize(name, &width, &height, &sizeEnd);
    Agreed<Size> named;
    for (const Token& token : tokens) {
        Size size;
        double scanRate = 0;
        if (ScanSize(token.text, &size, &scanRate)) {
            named.Add(size);
            addRate(scanRate);
        }
        for (const NamedSize& n : kNamedSizes)
            if (token.text == n.token)
                named.Add(Size(n.width, n.height));
    }
    if (sized < 0 && named.Known()) {
        width = named.Value().first;
        height = named.Value().second;
    }
    if (width > 0 && height > 0) {
        guess.width = width;
        guess.height = height;
        guess.sizeFrom = GuessSource::Name;
    }
    // A rate right after the WxH: "_50_", "_29.97_" or "p25" ("1920x1080p25").
    if (sized > 0 && sizeEnd < name.size()) {
        const char after = name[sizeEnd];
        if (after == 'p' || after == 'P' || after == 'i' || after == 'I')
            addRate(RateAt(name, sizeEnd + 1, kMaxMarkedRate));
        else if (after == '_' || after == '-' || after == ' ')
            addRate(RateAt(name, sizeEnd + 1, kMaxBareRate));
    }

    static const WordMap words = LayoutWords(false, false);
    Agreed<std::string> layout;
    Agreed<YuvChroma> chroma;
    Agreed<int> depth;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const std::string& token = tokens[i].text;
        const std::string word = token == "iyuv" ? std::string("?") : FindWord(words, token);
        if (!word.empty())
            layout.Add(word);
        if (token == "420" || token == "yuv420")
            chroma.Add(YuvChroma::C420);
        else if (token == "422" || token == "yuv422")
            chroma.Add(YuvChroma::C422);
        else if (token == "444" || token == "yuv444")
            chroma.Add(YuvChroma::C444);
        if (const int bits = DepthToken(tokens, i))
            depth.Add(bits);
        addRate(MarkedRate(name, tokens, i));
    }
    if (rate.Known()) {
        guess.fps = rate.Value();
        guess.fpsFrom = GuessSource::Name;
    }

    const std::string type = NamedLayout(layout, chroma, depth);
    if (type == "?")
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

YuvGuess GuessEncodedFile(const std::string& path, int* error)
{
    YuvGuess guess;
    int dummy = 0;
    int& err = error ? *error : dummy;
    std::unique_ptr<FrameSource> source = BorrowEncodedSource(path, &err);
    if (!source || source->FrameSize() <= 0) {
        if (err == 0)
            err = -1;
        return guess;
    }
    guess.isEncoded = true;
    guess.width = source->Width();
    guess.height = source->Height();
    guess.type = source->Type();
    guess.sizeFrom = guess.typeFrom = GuessSource::Header;
    guess.fps = source->FrameRate();
    guess.fpsFrom = guess.fps > 0 ? GuessSource::Header : GuessSource::None;
    ReturnEncodedSource(std::move(source));
    return guess;
}

YuvGuess GuessFile(const std::string& path)
{
    if (NamesEncodedVideo(path) && CanOpenEncoded())
        return GuessEncodedFile(path);
    YuvGuess guess;
    if (YuvFrameFile::ProbeY4m(path, &guess.y4m)) {
        guess.isY4m = true;
        if (guess.y4m.status == Y4mStatus::Ok) {
            guess.width = guess.y4m.width;
            guess.height = guess.y4m.height;
            guess.type = guess.y4m.type;
            guess.sizeFrom = GuessSource::Header;
            guess.typeFrom = GuessSource::Header;
            if (guess.y4m.frameRate > 0) {
                guess.fps = guess.y4m.frameRate;
                guess.fpsFrom = GuessSource::Header;
            } else {
                const YuvGuess named = GuessFromName(path, -1);
                guess.fps = named.fps;
                guess.fpsFrom = named.fpsFrom;
            }
        }
        return guess;
    }
    struct stat st {};
    const bool regular = ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    return GuessFromName(path, regular ? static_cast<int64_t>(st.st_size) : -1);
}

std::string LayoutFromUserText(const std::string& text)
{
    static const WordMap words = LayoutWords(true, true);
    return FindWord(words, Lower(text));
}

} // namespace lumo
