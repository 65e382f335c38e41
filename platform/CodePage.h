// Multibyte text operations under an ANSI code page.
//
// In a double-byte code page such as 936 a lead byte and the byte after it are
// one character: its second byte may look like '\' (0x5C), '|' (0x7C) or an
// ASCII letter, and must never be taken for one. In single-byte code pages
// every byte is a character. All functions work on whole characters.
#pragma once

#include <cstddef>
#include <string>

namespace tx {

class CodePage {
public:
    static constexpr std::size_t npos = std::string::npos;

    // 936 (GBK), 932, 949 and 950 are double-byte; anything else is taken as
    // a single-byte code page.
    explicit CodePage(unsigned id);

    unsigned Id() const { return id_; }
    bool IsDoubleByte() const { return dbcs_; }
    bool IsLeadByte(unsigned char b) const;

    // Byte length of the character that starts at s[i]: 2 for a lead byte
    // followed by another byte, else 1. A lead byte at the very end is a
    // character of its own (a truncated text).
    std::size_t CharLength(const char* s, std::size_t len, std::size_t i) const;
    std::size_t CharLength(const std::string& s, std::size_t i) const {
        return CharLength(s.data(), s.size(), i);
    }

    // Upper/lower-case one character code (a byte, or lead << 8 | trail).
    unsigned ToUpperChar(unsigned ch) const;
    unsigned ToLowerChar(unsigned ch) const;

    // _mbscmp / _mbsicmp: <0, 0, >0, character by character.
    int Compare(const std::string& a, const std::string& b) const;
    int CompareNoCase(const std::string& a, const std::string& b) const;
    bool EqualsNoCase(const std::string& a, const std::string& b) const {
        return CompareNoCase(a, b) == 0;
    }

    // _mbsstr: byte offset of the first occurrence of needle that starts on
    // a character boundary, or npos. An empty needle is found at 0.
    std::size_t Find(const std::string& haystack, const std::string& needle,
                     std::size_t from = 0) const;

    // _mbsrchr: byte offset of the last character equal to ch (single-byte),
    // or npos. A trail byte equal to ch is not a match.
    std::size_t FindLastChar(const std::string& s, char ch) const;
    std::size_t LastBackslash(const std::string& s) const { return FindLastChar(s, '\\'); }

    // _mbsupr_s / _mbslwr_s.
    std::string Upper(const std::string& s) const;
    std::string Lower(const std::string& s) const;

    // True when the text ends with a whole '\' character (not a trail byte).
    bool EndsWithBackslash(const std::string& s) const;

private:
    template <class Map>
    std::string MapCase(const std::string& s, Map map) const;

    unsigned id_;
    bool dbcs_;
};

}  // namespace tx
