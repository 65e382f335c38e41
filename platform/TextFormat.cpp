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

}  // namespace tx
