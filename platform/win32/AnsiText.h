// Wide text back to the ANSI code page, as every path of the program
// travels, only when nothing is lost on the way.
#pragma once

#include <string>

namespace tx {

// The ANSI spelling of wide, or empty when the code page cannot spell it
// exactly. Best-fit substitutes ("A" for "Å") are not reported as the
// default character (and under UTF-8 it cannot be asked for), so the text
// must convert back to the same characters.
[[nodiscard]] std::string ExactAnsi(const std::wstring& wide);

}  // namespace tx
