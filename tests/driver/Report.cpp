#include "tests/driver/Report.h"

#include <windows.h>

#include <cstdio>

namespace txdrive {

namespace {

std::string AnsiToUtf8(const std::string& ansi) {
    if (ansi.empty()) return {};
    const int wn = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    if (wn <= 0) return ansi;
    std::wstring wide(static_cast<std::size_t>(wn), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &wide[0], wn);
    const int un = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wn, nullptr, 0, nullptr, nullptr);
    if (un <= 0) return ansi;
    std::string utf8(static_cast<std::size_t>(un), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wn, &utf8[0], un, nullptr, nullptr);
    return utf8;
}

void WriteLine(FILE* f, const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), f);
    std::fputc('\n', f);
    std::fflush(f);
}

}  // namespace

std::string Shown(const std::string& ansi, bool doubleBackslashes) {
    std::string out;
    for (char c : AnsiToUtf8(ansi)) {
        const unsigned char b = static_cast<unsigned char>(c);
        switch (c) {
            case '\\': out += doubleBackslashes ? "\\\\" : "\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (b < 0x20 || b == 0x7F) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\x%02X", b);
                    out += buf;
                } else {
                    out += c;
                }
        }
    }
    return out;
}

void Say(const std::string& line) { WriteLine(stdout, line); }
void Complain(const std::string& line) { WriteLine(stderr, line); }

std::string Hex(unsigned long long v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%llX", v);
    return buf;
}

}  // namespace txdrive
