#include "platform/TextFormat.h"

#include <charconv>

namespace tx {

std::string FormatText(const char* format, std::initializer_list<FormatArg> args) {
    std::string out;
    auto next = args.begin();
    for (const char* p = format; *p != '\0'; ++p) {
        if (p[0] != '%' || p[1] == '\0') {
            out += *p;
            continue;
        }
        const char conversion = p[1];
        if (conversion == '%') {
            out += '%';
            ++p;
        } else if (conversion == 's' && next != args.end() && !next->IsNumber()) {
            out += next->Text();
            ++next;
            ++p;
        } else if (conversion == 'd' && next != args.end() && next->IsNumber()) {
            char digits[16];
            const auto result = std::to_chars(digits, digits + sizeof digits, next->Number());
            out.append(digits, result.ptr);
            ++next;
            ++p;
        } else {
            out += '%';
        }
    }
    return out;
}

std::string ZeroPadded(unsigned value, int width) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + value % 10));
        value /= 10;
    } while (value != 0);
    while (static_cast<int>(digits.size()) < width) digits.insert(digits.begin(), '0');
    return digits;
}

std::string ShownEscaped(const std::string& text, bool utf8) {
    static const char kDigits[] = "0123456789ABCDEF";
    const auto hex = [](unsigned char c) {
        return std::string("\\x") + kDigits[c >> 4] + kDigits[c & 0xF];
    };
    const auto at = [&](std::size_t i) {
        return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u;
    };
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned c = at(i);
        std::size_t control = 0;  // bytes of a control character at i
        if (c < 0x20 || c == 0x7F) {
            control = 1;
        } else if (utf8) {
            const unsigned b = at(i + 1);
            const unsigned d = at(i + 2);
            if (c == 0xC2 && b >= 0x80 && b <= 0x9F) control = 2;  // U+0080..U+009F
            // U+200E, U+200F, U+2028..U+202E, U+2066..U+2069, U+FEFF.
            if (c == 0xE2 && b == 0x80 && (d == 0x8E || d == 0x8F || (d >= 0xA8 && d <= 0xAE)))
                control = 3;
            if (c == 0xE2 && b == 0x81 && d >= 0xA6 && d <= 0xA9) control = 3;
            if (c == 0xEF && b == 0xBB && d == 0xBF) control = 3;
        }
        if (control == 0) {
            out += text[i++];
            continue;
        }
        for (std::size_t k = 0; k < control; ++k) out += hex(at(i + k));
        i += control;
    }
    return out;
}

std::string HexText(unsigned value) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string digits;
    do {
        digits.insert(digits.begin(), kDigits[value % 16]);
        value /= 16;
    } while (value != 0);
    return "0x" + digits;
}

}  // namespace tx
