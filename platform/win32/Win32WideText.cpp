#include "platform/win32/Win32WideText.h"

#include <windows.h>

#include <climits>

#include "platform/win32/AnsiText.h"

namespace tx {

namespace {

// wchar_t is UTF-16 here; the portable side spells it char16_t.
static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");

const wchar_t* W(const WideString& s) { return reinterpret_cast<const wchar_t*>(s.data()); }
wchar_t* W(WideString& s) { return reinterpret_cast<wchar_t*>(&s[0]); }

}  // namespace

bool Win32WideText::ToWide(const std::string& ansi, WideString* out) const {
    std::wstring wide;
    const bool exact = AnsiToWide(ansi, &wide, true, codePage_);
    out->assign(reinterpret_cast<const char16_t*>(wide.data()), wide.size());
    return exact;
}

bool Win32WideText::FromWide(const WideString& wide, std::string* out) const {
    out->clear();
    if (wide.empty()) return true;
    if (wide.size() > INT_MAX) return false;
    const int len = static_cast<int>(wide.size());
    // Best-fit substitutes ("A" for "Å") are not reported as the default
    // character unless they are refused; UTF-8 loses nothing and takes
    // neither the flag nor the report.
    const bool utf = codePage_ == CP_UTF8 || codePage_ == CP_UTF7;
    const DWORD flags = utf ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* report = utf ? nullptr : &usedDefault;
    const int n = WideCharToMultiByte(codePage_, flags, W(wide), len, nullptr, 0, nullptr, report);
    if (n <= 0) return false;
    out->assign(static_cast<std::size_t>(n), '\0');
    usedDefault = FALSE;
    if (WideCharToMultiByte(codePage_, flags, W(wide), len, &(*out)[0], n, nullptr, report) != n) {
        out->clear();
        return false;
    }
    return usedDefault == FALSE;
}

WideString Win32WideText::UpperWide(const WideString& text) const {
    if (text.empty() || text.size() > INT_MAX) return text;
    // The system's locale; without LCMAP_LINGUISTIC_CASING Windows applies
    // its file-system casing rules, which map every character that has an
    // upper case (Å, 한, Ε alike), one code unit for one, and leave the
    // Turkish dotted I alone.
    const int len = static_cast<int>(text.size());
    WideString upper(text.size(), u'\0');
    if (LCMapStringW(LOCALE_SYSTEM_DEFAULT, LCMAP_UPPERCASE, W(text), len, W(upper), len) != len)
        return text;
    return upper;
}

}  // namespace tx
