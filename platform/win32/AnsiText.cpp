#include "platform/win32/AnsiText.h"

#include <windows.h>

#include <climits>

namespace tx {

std::string ExactAnsi(const std::wstring& wide) {
    if (wide.empty() || wide.size() > INT_MAX) return std::string();
    const int len = static_cast<int>(wide.size());
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), len, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string ansi(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), len, &ansi[0], bytes, nullptr, nullptr);
    const int units = MultiByteToWideChar(CP_ACP, 0, ansi.data(), bytes, nullptr, 0);
    if (units != len) return std::string();
    std::wstring back(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), bytes, &back[0], units);
    return back == wide ? ansi : std::string();
}

}  // namespace tx
