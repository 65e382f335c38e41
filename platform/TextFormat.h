// printf-style formatting of the program's few composed texts (registry
// key names, LOADER, the version line) without the C runtime's printf: in
// the static Windows program that would drag in a whole printf engine for
// three "%s" and "%d" texts.
#pragma once

#include <initializer_list>
#include <string>

namespace tx {

// One argument: a text for %s (up to its terminating zero) or a whole
// number for %d.
class FormatArg {
public:
    FormatArg(const char* text) : text_(text != nullptr ? text : ""), isNumber_(false) {}
    FormatArg(int number) : number_(number), isNumber_(true) {}

    bool IsNumber() const { return isNumber_; }
    const char* Text() const { return text_; }
    int Number() const { return number_; }

private:
    const char* text_ = "";
    int number_ = 0;
    bool isNumber_;
};

// The format with each %s and %d replaced by the next argument (as printf
// writes them without flags, width or precision) and %% by %. A conversion
// without an argument of its kind, or any other one, stays as written, and
// the argument is not used up. Byte by byte: '%' is never a trail byte of
// a double-byte character in the code pages the program runs under.
std::string FormatText(const char* format, std::initializer_list<FormatArg> args);

// value in decimal, with leading zeros up to width digits ("%0*u").
std::string ZeroPadded(unsigned value, int width);
// value in upper-case hexadecimal with "0x" before it ("0x%X").
std::string HexText(unsigned value);

// Text from outside (a command line) for a log line: every control
// character shown as "\xHH" (its bytes), so that it can neither end the
// line nor move or recolour what a terminal shows. Control bytes are below
// 0x20 and 0x7F, never the trail byte of a double-byte character; with
// utf8 (code page 65001) also the C1 controls, the line and paragraph
// separators, the direction marks and overrides, and the byte-order mark.
std::string ShownEscaped(const std::string& text, bool utf8);

}  // namespace tx
