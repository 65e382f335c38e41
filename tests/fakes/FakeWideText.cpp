#include "tests/fakes/FakeWideText.h"

#include <cerrno>
#include <stdexcept>

#ifdef _WIN32
#include "platform/win32/Win32WideText.h"
#else
#include <iconv.h>
#endif

namespace tx {

#ifdef _WIN32

struct FakeWideText::Converter {
    explicit Converter(unsigned codePage) : system(codePage) {}
    Win32WideText system;
};

#else

namespace {

// The bytes code page 1252 leaves undefined; Windows maps each to the C1
// control character of the same number.
bool Undefined1252(unsigned v) { return v == 0x81 || v == 0x8D || v == 0x8F || v == 0x90 || v == 0x9D; }

}  // namespace

struct FakeWideText::Converter {
    explicit Converter(unsigned codePage) {
        const std::string name = "CP" + std::to_string(codePage);
        toWide = iconv_open("UTF-16LE", name.c_str());
        fromWide = iconv_open(name.c_str(), "UTF-16LE");
        if (toWide == Invalid() || fromWide == Invalid()) {
            Close();
            throw std::invalid_argument("FakeWideText: no conversion for code page " + name);
        }
    }
    ~Converter() { Close(); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    static iconv_t Invalid() { return reinterpret_cast<iconv_t>(-1); }
    void Close() {
        if (toWide != Invalid()) iconv_close(toWide);
        if (fromWide != Invalid()) iconv_close(fromWide);
        toWide = fromWide = Invalid();
    }

    // Converts in[*pos..] until the end or the first sequence iconv refuses;
    // appends what came out and moves *pos. False when it stopped early.
    static bool Run(iconv_t cd, const std::string& in, std::size_t* pos, std::string* out) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in.data()) + *pos;
        std::size_t srcLeft = in.size() - *pos;
        bool done = true;
        while (srcLeft > 0) {
            char chunk[4096];
            char* dst = chunk;
            std::size_t dstLeft = sizeof chunk;
            const std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
            out->append(chunk, sizeof chunk - dstLeft);
            if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
                done = false;
                break;
            }
        }
        *pos = in.size() - srcLeft;
        return done;
    }

    iconv_t toWide = Invalid();
    iconv_t fromWide = Invalid();
};

#endif

FakeWideText::FakeWideText(unsigned codePage)
    : cp_(codePage), conv_(std::make_unique<Converter>(codePage)) {}

FakeWideText::~FakeWideText() = default;

std::vector<unsigned char> Utf16Bytes(const WideString& wide, bool withNul) {
    std::vector<unsigned char> bytes;
    bytes.reserve(2 * wide.size() + 2);
    for (char16_t c : wide) {
        bytes.push_back(static_cast<unsigned char>(c & 0xFF));
        bytes.push_back(static_cast<unsigned char>(c >> 8));
    }
    if (withNul) bytes.insert(bytes.end(), 2, 0);
    return bytes;
}

WideString FromUtf16Bytes(const unsigned char* bytes, std::size_t size) {
    WideString wide;
    wide.reserve(size / 2);
    for (std::size_t i = 0; i + 1 < size; i += 2)
        wide.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
    return wide;
}

#ifdef _WIN32

bool FakeWideText::ToWide(const std::string& ansi, WideString* out) const {
    return conv_->system.ToWide(ansi, out);
}

bool FakeWideText::FromWide(const WideString& wide, std::string* out) const {
    return conv_->system.FromWide(wide, out);
}

#else

bool FakeWideText::ToWide(const std::string& ansi, WideString* out) const {
    out->clear();
    bool exact = true;
    std::string bytes;
    std::size_t pos = 0;
    while (!Converter::Run(conv_->toWide, ansi, &pos, &bytes)) {
        const unsigned char b = static_cast<unsigned char>(ansi[pos]);
        if (cp_.Id() == 1252 && Undefined1252(b)) {
            bytes += static_cast<char>(b);
            bytes += '\0';
        } else {
            exact = false;
            bytes += "?";
            bytes += '\0';
        }
        pos += cp_.CharLength(ansi, pos);
    }
    *out = FromUtf16Bytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    return exact;
}

bool FakeWideText::FromWide(const WideString& wide, std::string* out) const {
    out->clear();
    bool exact = true;
    const std::vector<unsigned char> raw = Utf16Bytes(wide, false);
    const std::string in(raw.begin(), raw.end());
    std::size_t pos = 0;
    while (!Converter::Run(conv_->fromWide, in, &pos, out)) {
        // One code unit at a time, as the system's tables work.
        const char16_t c = static_cast<char16_t>(static_cast<unsigned char>(in[pos]) |
                                                 static_cast<unsigned char>(in[pos + 1]) << 8);
        if (cp_.Id() == 1252 && Undefined1252(c)) {
            *out += static_cast<char>(c);
        } else {
            exact = false;
            *out += '?';
        }
        pos += 2;
    }
    return exact;
}

#endif

char16_t FakeWideText::UpperUnit(char16_t c) {
    const unsigned u = c;
    if (u >= 'a' && u <= 'z') return static_cast<char16_t>(u - 0x20);
    if (u < 0xE0) return c;
    if (u <= 0xFE) return u == 0xF7 ? c : static_cast<char16_t>(u - 0x20);  // à..þ
    if (u == 0xFF) return u'\u0178';                                           // ÿ
    if (u < 0x180) {
        // Latin Extended-A: pairs, upper case first; ı and ſ, whose upper
        // case is an ASCII letter, are left alone.
        if (u == 0x131 || u == 0x17F || u == 0x138 || u == 0x149) return c;
        const bool oddLower = (u <= 0x137) || (u >= 0x14A && u <= 0x177);
        if (oddLower) return (u & 1) != 0 ? static_cast<char16_t>(u - 1) : c;
        return (u & 1) == 0 && u != 0x178 ? static_cast<char16_t>(u - 1) : c;
    }
    if (u >= 0x3B1 && u <= 0x3CB) {  // α..ϋ
        if (u == 0x3C2) return u'\u03A3';  // final sigma
        return static_cast<char16_t>(u - 0x20);
    }
    switch (u) {
        case 0x3AC: return u'\u0386';
        case 0x3AD: return u'\u0388';
        case 0x3AE: return u'\u0389';
        case 0x3AF: return u'\u038A';
        case 0x3CC: return u'\u038C';
        case 0x3CD: return u'\u038E';
        case 0x3CE: return u'\u038F';
        default: break;
    }
    if (u >= 0x430 && u <= 0x44F) return static_cast<char16_t>(u - 0x20);  // а..я
    if (u >= 0x450 && u <= 0x45F) return static_cast<char16_t>(u - 0x50);  // ѐ..џ
    if (u >= 0xFF41 && u <= 0xFF5A) return static_cast<char16_t>(u - 0x20);  // ａ..ｚ
    return c;
}

WideString FakeWideText::UpperWide(const WideString& text) const {
    WideString upper = text;
    for (char16_t& c : upper) c = UpperUnit(c);
    return upper;
}

}  // namespace tx
