// Texts the driver looks for. They are compiled to code page 936 bytes, the
// installer's ANSI code page, and compared byte for byte with what the
// windows hold. Command-line arguments reach the driver only as ASCII under
// Wine, so Chinese texts are named in arguments as {name}.
#pragma once

#include <string>
#include <vector>

namespace txdrive {

struct NamedText {
    const char* name;
    const char* text;
};

const std::vector<NamedText>& KnownTexts();

// Replaces every {name} of a known text by that text. Fails (returns false and
// names the culprit in error) on an unknown name or an unclosed brace.
bool ExpandTexts(const std::string& in, std::string& out, std::string& error);

}  // namespace txdrive
