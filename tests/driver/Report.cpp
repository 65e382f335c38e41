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

std::string ShownWide(const std::wstring& wide, bool doubleBackslashes) {
    std::string out;
    char buf[24];
    for (std::size_t i = 0; i < wide.size(); ++i) {
        unsigned long c = static_cast<unsigned short>(wide[i]);
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        const bool nextLow = i + 1 < wide.size() && static_cast<unsigned short>(wide[i + 1]) >= 0xDC00 &&
                             static_cast<unsigned short>(wide[i + 1]) <= 0xDFFF;
        if (high && nextLow) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<unsigned short>(wide[++i]) - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            std::snprintf(buf, sizeof buf, "\\u%04lX", c);
            out += buf;
            continue;
        }
        switch (c) {
            case '\\': out += doubleBackslashes ? "\\\\" : "\\"; continue;
            case '\n': out += "\\n"; continue;
            case '\r': out += "\\r"; continue;
            case '\t': out += "\\t"; continue;
            default: break;
        }
        if (c < 0x20 || c == 0x7F) {
            std::snprintf(buf, sizeof buf, "\\x%02lX", c);
            out += buf;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
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
