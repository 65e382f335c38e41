#include "platform/win32/Win32WideText.h"

#include <windows.h>

#include <climits>

namespace tx {

namespace {

// wchar_t is UTF-16 here; the portable side spells it char16_t.
static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");

const wchar_t* W(const WideString& s) { return reinterpret_cast<const wchar_t*>(s.data()); }
wchar_t* W(WideString& s) { return reinterpret_cast<wchar_t*>(&s[0]); }

int Widen(UINT codePage, DWORD flags, const std::string& ansi, WideString* out) {
    const int n = MultiByteToWideChar(codePage, flags, ansi.data(), static_cast<int>(ansi.size()),
                                      nullptr, 0);
    if (n <= 0) return n;
    out->assign(static_cast<std::size_t>(n), u'\0');
    return MultiByteToWideChar(codePage, flags, ansi.data(), static_cast<int>(ansi.size()), W(*out), n);
}

}  // namespace

bool Win32WideText::ToWide(const std::string& ansi, WideString* out) const {
    out->clear();
    if (ansi.empty()) return true;
    if (ansi.size() > INT_MAX) return false;
    // Strict first, so that a byte that stands for no character is noticed;
    // the plain call then gives what the system makes of it.
    if (Widen(codePage_, MB_ERR_INVALID_CHARS, ansi, out) > 0) return true;
    out->clear();
    Widen(codePage_, 0, ansi, out);
    return false;
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
