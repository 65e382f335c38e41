#include "platform/CodePage.h"

namespace tx {

namespace {

struct CaseRange {
    unsigned upperFirst;
    unsigned upperLast;
    unsigned lowerFirst;
};

// Double-byte letters that have a case in GBK: full-width Latin, Greek and
// Cyrillic. These are what the system's locale mapping changes.
constexpr CaseRange kCp936Cases[] = {
    {0xA3C1, 0xA3DA, 0xA3E1},  // Ａ..Ｚ / ａ..ｚ
    {0xA6A1, 0xA6B8, 0xA6C1},  // Α..Ω / α..ω
    {0xA7A1, 0xA7C1, 0xA7D1},  // А..Я / а..я
};

// Shift-JIS full-width Latin.
constexpr CaseRange kCp932Cases[] = {
    {0x8260, 0x8279, 0x8281},
};

template <std::size_t N>
unsigned UpperIn(const CaseRange (&ranges)[N], unsigned ch) {
    for (const CaseRange& r : ranges) {
        unsigned lowerLast = r.lowerFirst + (r.upperLast - r.upperFirst);
        if (ch >= r.lowerFirst && ch <= lowerLast) return r.upperFirst + (ch - r.lowerFirst);
    }
    return ch;
}

template <std::size_t N>
unsigned LowerIn(const CaseRange (&ranges)[N], unsigned ch) {
    for (const CaseRange& r : ranges) {
        if (ch >= r.upperFirst && ch <= r.upperLast) return r.lowerFirst + (ch - r.upperFirst);
    }
    return ch;
}

unsigned CharAt(const std::string& s, std::size_t i, std::size_t len) {
    unsigned c = static_cast<unsigned char>(s[i]);
    if (len == 2) c = (c << 8) | static_cast<unsigned char>(s[i + 1]);
    return c;
}

}  // namespace

CodePage::CodePage(unsigned id)
    : id_(id), dbcs_(id == 936 || id == 932 || id == 949 || id == 950) {}

bool CodePage::IsLeadByte(unsigned char b) const {
    switch (id_) {
        case 936:
        case 949:
        case 950:
            return b >= 0x81 && b <= 0xFE;
        case 932:
            return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        default:
            return false;
    }
}

std::size_t CodePage::CharLength(const char* s, std::size_t len, std::size_t i) const {
    if (i + 1 < len && IsLeadByte(static_cast<unsigned char>(s[i])) && s[i + 1] != '\0') return 2;
    return 1;
}

unsigned CodePage::ToUpperChar(unsigned ch) const {
    if (ch < 0x100) return (ch >= 'a' && ch <= 'z') ? ch - ('a' - 'A') : ch;
    if (id_ == 936) return UpperIn(kCp936Cases, ch);
    if (id_ == 932) return UpperIn(kCp932Cases, ch);
    return ch;
}

unsigned CodePage::ToLowerChar(unsigned ch) const {
    if (ch < 0x100) return (ch >= 'A' && ch <= 'Z') ? ch + ('a' - 'A') : ch;
    if (id_ == 936) return LowerIn(kCp936Cases, ch);
    if (id_ == 932) return LowerIn(kCp932Cases, ch);
    return ch;
}

int CodePage::Compare(const std::string& a, const std::string& b) const {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        std::size_t la = CharLength(a, i), lb = CharLength(b, j);
        unsigned ca = CharAt(a, i, la), cb = CharAt(b, j, lb);
        // A double-byte character sorts by its lead byte against a single one.
        unsigned ka = la == 2 ? ca : ca << 8, kb = lb == 2 ? cb : cb << 8;
        if (ka != kb) return ka < kb ? -1 : 1;
        i += la;
        j += lb;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

int CodePage::CompareNoCase(const std::string& a, const std::string& b) const {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        std::size_t la = CharLength(a, i), lb = CharLength(b, j);
        unsigned ca = ToLowerChar(CharAt(a, i, la)), cb = ToLowerChar(CharAt(b, j, lb));
        unsigned ka = la == 2 ? ca : ca << 8, kb = lb == 2 ? cb : cb << 8;
        if (ka != kb) return ka < kb ? -1 : 1;
        i += la;
        j += lb;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

std::size_t CodePage::Find(const std::string& haystack, const std::string& needle,
                           std::size_t from) const {
    if (needle.empty()) return from <= haystack.size() ? from : npos;
    // Walk character starts only, so a trail byte never begins a match.
    std::size_t i = 0;
    while (i < from && i < haystack.size()) i += CharLength(haystack, i);
    for (; i + needle.size() <= haystack.size(); i += CharLength(haystack, i)) {
        if (haystack.compare(i, needle.size(), needle) == 0) {
            // The match must not end in the middle of a character either.
            std::size_t end = i + needle.size(), k = i;
            while (k < end) k += CharLength(haystack, k);
            if (k == end) return i;
        }
    }
    return npos;
}

std::size_t CodePage::FindLastChar(const std::string& s, char ch) const {
    std::size_t found = npos;
    for (std::size_t i = 0; i < s.size(); i += CharLength(s, i)) {
        if (CharLength(s, i) == 1 && s[i] == ch) found = i;
    }
    return found;
}

template <class Map>
std::string CodePage::MapCase(const std::string& s, Map map) const {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        std::size_t len = CharLength(s, i);
        unsigned c = map(CharAt(s, i, len));
        if (len == 2) out.push_back(static_cast<char>(c >> 8));
        out.push_back(static_cast<char>(c & 0xFF));
        i += len;
    }
    return out;
}

std::string CodePage::Upper(const std::string& s) const {
    return MapCase(s, [this](unsigned c) { return ToUpperChar(c); });
}

std::string CodePage::Lower(const std::string& s) const {
    return MapCase(s, [this](unsigned c) { return ToLowerChar(c); });
}

bool CodePage::EndsWithBackslash(const std::string& s) const {
    return !s.empty() && FindLastChar(s, '\\') == s.size() - 1;
}

}  // namespace tx
