// Shared by the fuzz targets: invariant checks that abort (so libFuzzer
// keeps the input), splitting one input into parameters and texts, and an
// independent view of where characters start in a multibyte text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/CodePage.h"

#define FUZZ_CHECK(cond)                                                             \
    do {                                                                             \
        if (!(cond)) {                                                               \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, \
                         #cond);                                                     \
            std::abort();                                                            \
        }                                                                            \
    } while (0)

namespace tx::fuzz {

// Reads an input front to back: single bytes for parameters, then texts.
class InputReader {
public:
    InputReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    // 0 once the input is used up.
    std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    // A text whose length is given by the byte before it (at most what is left).
    std::string Counted() {
        std::size_t n = Byte();
        if (n > size_ - pos_) n = size_ - pos_;
        std::string s(reinterpret_cast<const char*>(data_ + pos_), n);
        pos_ += n;
        return s;
    }
    // Whatever is left.
    std::string Rest() {
        std::string s(reinterpret_cast<const char*>(data_ + pos_), size_ - pos_);
        pos_ = size_;
        return s;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// The code page a parameter byte selects: the two the installer meets.
inline unsigned CodePageOf(std::uint8_t selector) { return (selector & 1) != 0 ? 936 : 1252; }

// starts[i] is true where a character begins. Derived from the lead-byte
// table alone: a lead byte takes the next byte with it unless that is the
// end of the text or a NUL.
inline std::vector<bool> CharStarts(const std::string& s, const CodePage& cp) {
    std::vector<bool> starts(s.size() + 1, false);
    std::size_t i = 0;
    while (i < s.size()) {
        starts[i] = true;
        const bool pair = cp.IsDoubleByte() && cp.IsLeadByte(static_cast<unsigned char>(s[i])) &&
                          i + 1 < s.size() && s[i + 1] != '\0';
        i += pair ? 2 : 1;
    }
    starts[s.size()] = true;
    return starts;
}

// The byte of a single-byte character at i, or -1 where i is not the start
// of a one-byte character.
inline int SingleByteAt(const std::string& s, const std::vector<bool>& starts, std::size_t i) {
    if (i >= s.size() || !starts[i] || !starts[i + 1]) return -1;
    return static_cast<unsigned char>(s[i]);
}

// Cut at the first NUL: what a zero-terminated text holds.
inline std::string UpToNul(const std::string& s) { return s.substr(0, s.find('\0')); }

// --- The folder syntax, read independently of engine/PathRules -----------

inline bool IsEdgeByte(int b) { return b == '\t' || b == ' ' || b == '.'; }
inline bool IsForbiddenByte(int b) {
    return b == '"' || b == '*' || b == '/' || b == ':' || b == '<' || b == '>' || b == '?' ||
           b == '\\' || b == '|';
}

// One folder name judged by its characters: not empty, no edge character
// first or last, no forbidden single-byte character anywhere.
inline bool ExpectedValidName(const std::string& name, const CodePage& cp) {
    if (name.empty()) return false;
    const std::vector<bool> starts = CharStarts(name, cp);
    if (IsEdgeByte(static_cast<unsigned char>(name[0]))) return false;
    std::size_t last = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (!starts[i]) continue;
        last = i;
        if (IsForbiddenByte(SingleByteAt(name, starts, i))) return false;
    }
    return !IsEdgeByte(SingleByteAt(name, starts, last));
}

// A whole path, whatever its length: "X:\" alone, or followed by valid
// names split at whole '\' characters.
inline bool ExpectedWellFormedPath(const std::string& path, const CodePage& cp) {
    if (path.size() < 3) return false;
    const char d = path[0];
    if (!((d >= 'A' && d <= 'Z') || (d >= 'a' && d <= 'z')) || path[1] != ':' || path[2] != '\\')
        return false;
    if (path.size() == 3) return true;
    const std::vector<bool> starts = CharStarts(path, cp);
    std::size_t begin = 3;
    for (std::size_t i = 3; i <= path.size(); ++i) {
        if (i < path.size() && SingleByteAt(path, starts, i) != '\\') continue;
        if (!ExpectedValidName(path.substr(begin, i - begin), cp)) return false;
        begin = i + 1;
    }
    return true;
}

}  // namespace tx::fuzz
