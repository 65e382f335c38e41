// Text between the ANSI code page, in which every path and name of the
// program travels, and the UTF-16 the wide calls take: one home for both
// directions.
#pragma once

#include <string>

namespace tx {

// ansi (embedded NULs included) as UTF-16 in codePage (CP_ACP by default).
// strict: false when a byte sequence stands for no character, and *wide is
// then what the system makes of it; not strict: such bytes are replaced.
// False also when the text is too long for the call.
bool AnsiToWide(const std::string& ansi, std::wstring* wide, bool strict = false,
                unsigned codePage = 0);
// The lenient form, for names and texts that only need to reach a wide call.
std::wstring AnsiToWide(const std::string& ansi);

// The ANSI spelling of wide, or empty when the code page cannot spell it
// exactly. Best-fit substitutes ("A" for "Å") are not reported as the
// default character (and under UTF-8 it cannot be asked for), so the text
// must convert back to the same characters.
[[nodiscard]] std::string ExactAnsi(const std::wstring& wide);

}  // namespace tx
