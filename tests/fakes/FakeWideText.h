// UTF-16 conversion for the unit tests and the in-memory registry.
//
// Conversion follows the code page as Windows' MultiByteToWideChar and
// WideCharToMultiByte do: natively through glibc's iconv tables (which agree
// with Windows for 936 and 1252; the five bytes 1252 leaves undefined map to
// the control characters of the same number, as on Windows), in the Windows
// build through the system itself. A byte sequence that stands for no
// character becomes "?", one for a lead byte with its trail byte; a
// character without a mapping (also an unpaired surrogate) becomes "?".
// Windows would give its best-fit character for a few of those; either way
// the character is lost.
//
// Upper-casing uses a table of its own instead of the system's invariant
// mapping: Latin (Basic, Latin-1, Extended-A), Greek with its accented
// letters and final sigma, Cyrillic, and the full-width Latin letters. Every
// other character stays as it is, where Windows would also upper-case, for
// instance, Armenian, Georgian, Latin Extended-B or Glagolitic. Like Windows
// it maps one code unit to one: "ß" stays, supplementary characters stay.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "platform/WideText.h"

namespace tx {

class FakeWideText final : public IWideText {
public:
    explicit FakeWideText(unsigned codePage = 936);
    ~FakeWideText() override;
    FakeWideText(const FakeWideText&) = delete;
    FakeWideText& operator=(const FakeWideText&) = delete;

    unsigned CodePageId() const { return cp_.Id(); }

    [[nodiscard]] bool ToWide(const std::string& ansi, WideString* out) const override;
    [[nodiscard]] bool FromWide(const WideString& wide, std::string* out) const override;
    WideString UpperWide(const WideString& text) const override;

    // One code unit, upper-cased by the table above.
    static char16_t UpperUnit(char16_t c);

private:
    struct Converter;
    CodePage cp_;
    std::unique_ptr<Converter> conv_;
};

// UTF-16LE bytes, as the registry stores text, and back (an odd last byte
// is dropped).
std::vector<unsigned char> Utf16Bytes(const WideString& wide, bool withNul = true);
WideString FromUtf16Bytes(const unsigned char* bytes, std::size_t size);
inline WideString FromUtf16Bytes(const std::vector<unsigned char>& bytes) {
    return FromUtf16Bytes(bytes.data(), bytes.size());
}

}  // namespace tx
