// UTF-16 text, for values other programs keep in UTF-16 and that must come
// back unchanged whatever characters they hold: the ANSI code page cannot
// carry every character, so such text is read, composed and written wide.
#pragma once

#include <string>

namespace tx {

// Text as UTF-16 code units, the form Windows stores text in.
using WideString = std::u16string;

class IWideText {
public:
    virtual ~IWideText() = default;

    // ANSI code page to UTF-16, embedded NULs included. True when every byte
    // sequence stands for a character of the code page; otherwise *out holds
    // the system's replacement for those that do not, and the result is false.
    virtual bool ToWide(const std::string& ansi, WideString* out) const = 0;
    // UTF-16 to the ANSI code page. True when every character has a mapping;
    // otherwise those without one become the code page's default character
    // ("?") and the result is false.
    virtual bool FromWide(const WideString& wide, std::string* out) const = 0;
    // Upper case by the system's locale-independent mapping, one code unit
    // for one: the length never changes, and characters without an upper
    // case (or outside every code page) stay as they are.
    virtual WideString UpperWide(const WideString& text) const = 0;
};

}  // namespace tx
