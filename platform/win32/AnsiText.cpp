#include "platform/win32/AnsiText.h"

#include <windows.h>

#include <climits>

namespace tx {

bool AnsiToWide(const std::string& ansi, std::wstring* wide, bool strict, unsigned codePage) {
    wide->clear();
    if (ansi.empty()) return true;
    if (ansi.size() > INT_MAX) return false;
    const int bytes = static_cast<int>(ansi.size());
    const auto widen = [&](DWORD flags) {
        const int n = MultiByteToWideChar(codePage, flags, ansi.data(), bytes, nullptr, 0);
        if (n <= 0) return false;
        wide->assign(static_cast<std::size_t>(n), L'\0');
        return MultiByteToWideChar(codePage, flags, ansi.data(), bytes, &(*wide)[0], n) == n;
    };
    // Strict first, so that a byte that stands for no character is noticed;
    // the plain call then gives what the system makes of it.
    if (widen(strict ? MB_ERR_INVALID_CHARS : 0)) return true;
    wide->clear();
    if (strict) widen(0);
    return false;
}

std::wstring AnsiToWide(const std::string& ansi) {
    std::wstring wide;
    // Replaced bytes only make a name the system does not find.
    (void)AnsiToWide(ansi, &wide);
    return wide;
}

std::string ExactAnsi(const std::wstring& wide) {
    if (wide.empty() || wide.size() > INT_MAX) return std::string();
    const int len = static_cast<int>(wide.size());
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), len, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string ansi(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), len, &ansi[0], bytes, nullptr, nullptr);
    std::wstring back;
    if (!AnsiToWide(ansi, &back)) return std::string();
    return back == wide ? ansi : std::string();
}

}  // namespace tx
