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
