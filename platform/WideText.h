// UTF-16 text, for values other programs keep in UTF-16 and that must come
// back unchanged whatever characters they hold: the ANSI code page cannot
// carry every character, so such text is read, composed and written wide.
#pragma once

#include <string>
#include <vector>

namespace tx {

// Text as UTF-16 code units, the form Windows stores text in.
using WideString = std::u16string;

class IWideText {
public:
    virtual ~IWideText() = default;

    // ANSI code page to UTF-16, embedded NULs included. True when every byte
    // sequence stands for a character of the code page; otherwise *out holds
    // the system's replacement for those that do not, and the result is false.
    [[nodiscard]] virtual bool ToWide(const std::string& ansi, WideString* out) const = 0;
    // UTF-16 to the ANSI code page. True when every character has a mapping;
    // otherwise those without one become the code page's default character
    // ("?") and the result is false.
    [[nodiscard]] virtual bool FromWide(const WideString& wide, std::string* out) const = 0;
    // Upper case by the system's locale-independent mapping, one code unit
    // for one: the length never changes, and characters without an upper
    // case (or outside every code page) stay as they are.
    virtual WideString UpperWide(const WideString& text) const = 0;
};

// UTF-16LE bytes as the registry stores text, and back. An odd last byte
// is no whole code unit and is dropped.
inline WideString UnpackUtf16(const std::vector<unsigned char>& bytes) {
    WideString units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        units.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
    return units;
}

inline std::vector<unsigned char> PackUtf16(const WideString& units) {
    std::vector<unsigned char> bytes;
    bytes.reserve(2 * units.size());
    for (char16_t c : units) {
        bytes.push_back(static_cast<unsigned char>(c & 0xFF));
        bytes.push_back(static_cast<unsigned char>(c >> 8));
    }
    return bytes;
}

}  // namespace tx
