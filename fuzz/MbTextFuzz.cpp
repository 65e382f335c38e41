// The multibyte text functions on arbitrary bytes, under code page 936 and
// code page 1252. Each result is checked against an independent reading of
// the text's character boundaries, or against the other functions.
//
// Input: a selector byte (a byte to search for; halved, a start offset for
// Find), a counted text A, then text B. Every input runs under both pages.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "platform/CodePage.h"

namespace tx::fuzz {
namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

void CheckBoundaries(const CodePage& cp, const std::string& s, const std::vector<bool>& starts) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        const std::size_t n = cp.CharLength(s, i);
        FUZZ_CHECK(n == 1 || n == 2);
        FUZZ_CHECK(i + n <= s.size());
        if (starts[i]) FUZZ_CHECK(starts[i + n] && (n == 1 || !starts[i + 1]));
        if (!cp.IsDoubleByte()) FUZZ_CHECK(n == 1);
    }
}

// Upper and Lower keep every character in place and its length.
void CheckCaseMapping(const CodePage& cp, const std::string& s, const std::vector<bool>& starts,
                      const std::string& mapped, bool upper) {
    FUZZ_CHECK(mapped.size() == s.size());
    FUZZ_CHECK(CharStarts(mapped, cp) == starts);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const int b = SingleByteAt(s, starts, i);
        if (b < 0) continue;
        // One-byte characters: exactly the ASCII letters change.
        int want = b;
        if (upper && b >= 'a' && b <= 'z') want = b - 'a' + 'A';
        if (!upper && b >= 'A' && b <= 'Z') want = b - 'A' + 'a';
        FUZZ_CHECK(static_cast<unsigned char>(mapped[i]) == want);
    }
}

void CheckOne(const CodePage& cp, const std::string& s, std::uint8_t selector) {
    const std::vector<bool> starts = CharStarts(s, cp);
    CheckBoundaries(cp, s, starts);

    const std::string up = cp.Upper(s);
    const std::string low = cp.Lower(s);
    CheckCaseMapping(cp, s, starts, up, true);
    CheckCaseMapping(cp, s, starts, low, false);
    FUZZ_CHECK(cp.Upper(up) == up);
    FUZZ_CHECK(cp.Lower(low) == low);
    FUZZ_CHECK(cp.Lower(up) == low);
    FUZZ_CHECK(cp.Upper(low) == up);

    // The last single-byte character equal to ch.
    for (char ch : {'\\', static_cast<char>(selector), ';'}) {
        std::size_t want = CodePage::npos;
        for (std::size_t i = 0; i < s.size(); ++i) {
            if (SingleByteAt(s, starts, i) == static_cast<unsigned char>(ch)) want = i;
        }
        FUZZ_CHECK(cp.FindLastChar(s, ch) == want);
    }
    FUZZ_CHECK(cp.EndsWithBackslash(s) ==
               (!s.empty() && SingleByteAt(s, starts, s.size() - 1) == '\\'));
    if (!cp.IsDoubleByte()) {
        FUZZ_CHECK(cp.LastBackslash(s) == s.rfind('\\'));
    }
}

void CheckPair(const CodePage& cp, const std::string& a, const std::string& b,
               std::size_t from) {
    const int ab = cp.Compare(a, b);
    const int ba = cp.Compare(b, a);
    FUZZ_CHECK(ab >= -1 && ab <= 1);
    FUZZ_CHECK(ab == -ba);
    FUZZ_CHECK((ab == 0) == (a == b));
    FUZZ_CHECK(cp.Compare(a, a) == 0);
    if (!cp.IsDoubleByte()) FUZZ_CHECK(ab == Sign(a.compare(b)));

    // Ignoring case is comparing the lower-cased texts.
    const int nc = cp.CompareNoCase(a, b);
    FUZZ_CHECK(nc == cp.Compare(cp.Lower(a), cp.Lower(b)));
    FUZZ_CHECK(nc == -cp.CompareNoCase(b, a));
    FUZZ_CHECK(cp.EqualsNoCase(a, b) == (cp.Lower(a) == cp.Lower(b)));
    FUZZ_CHECK(cp.EqualsNoCase(a, cp.Upper(a)));

    // Find: the first match that starts and ends on character boundaries
    // of the haystack, at or after from.
    const std::vector<bool> starts = CharStarts(a, cp);
    std::size_t want = CodePage::npos;
    if (b.empty()) {
        want = from <= a.size() ? from : CodePage::npos;
    } else {
        for (std::size_t i = from; i + b.size() <= a.size(); ++i) {
            if (starts[i] && starts[i + b.size()] && a.compare(i, b.size(), b) == 0) {
                want = i;
                break;
            }
        }
    }
    FUZZ_CHECK(cp.Find(a, b, from) == want);
    if (!cp.IsDoubleByte() && !b.empty()) FUZZ_CHECK(cp.Find(a, b, from) == a.find(b, from));
}

void CheckCharCodes(const CodePage& cp, unsigned code) {
    const unsigned up = cp.ToUpperChar(code);
    const unsigned low = cp.ToLowerChar(code);
    FUZZ_CHECK((up < 0x100) == (code < 0x100));
    FUZZ_CHECK((low < 0x100) == (code < 0x100));
    if (code >= 0x100) {
        // A double-byte character stays one: lead byte and non-NUL trail.
        FUZZ_CHECK(cp.IsLeadByte(static_cast<unsigned char>(up >> 8)) || up == code);
        FUZZ_CHECK((up & 0xFF) != 0 || up == code);
    }
    FUZZ_CHECK(cp.ToLowerChar(up) == low);
    FUZZ_CHECK(cp.ToUpperChar(up) == up);
    FUZZ_CHECK(cp.ToLowerChar(low) == low);
}

}  // namespace
}  // namespace tx::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tx::fuzz;
    InputReader in(data, size);
    const std::uint8_t selector = in.Byte();
    const std::string a = in.Counted();
    const std::string b = in.Rest();

    for (unsigned id : {936u, 1252u}) {
        const tx::CodePage cp(id);
        FUZZ_CHECK(cp.IsDoubleByte() == (id == 936));
        CheckOne(cp, a, selector);
        CheckOne(cp, b, selector);
        CheckPair(cp, a, b, selector >> 1);
        CheckPair(cp, b, a, selector >> 1);
        if (a.size() >= 2) {
            CheckCharCodes(cp, static_cast<unsigned char>(a[0]));
            CheckCharCodes(cp, (static_cast<unsigned>(static_cast<unsigned char>(a[0])) << 8) |
                                   static_cast<unsigned char>(a[1]));
        }
    }
    return 0;
}
