// Classifying an AutoCAD product name read from the registry.
//
// Input: a selector byte (bit 0: code page 936, else 1252; the rest picks
// the last release index the pass classifies, also out of range), then the
// product name (up to its first NUL, as a registry text is read).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "host/AcadDetector.h"
#include "tests/fakes/FakeRegistry.h"

namespace tx::fuzz {
namespace {

// The first occurrence of text that starts and ends on character
// boundaries, or npos.
std::size_t FirstWhole(const std::string& name, const std::vector<bool>& starts,
                       const std::string& text) {
    for (std::size_t i = 0; i + text.size() <= name.size(); ++i) {
        if (starts[i] && starts[i + text.size()] && name.compare(i, text.size(), text) == 0)
            return i;
    }
    return std::string::npos;
}

}  // namespace
}  // namespace tx::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tx;
    using namespace tx::fuzz;
    InputReader in(data, size);
    const std::uint8_t selector = in.Byte();
    const CodePage cp(CodePageOf(selector));
    const int lastIndex = (selector >> 1) % 22 - 2;  // -2 .. 19
    const std::string name = UpToNul(in.Rest());

    FakeRegistry registry(cp.Id());
    AcadDetector detector(registry, cp);
    const int result = detector.ClassifyProductName(name, lastIndex);

    // The first release of the table, up to the pass's last, whose year
    // first occurs after the first character; none: -1.
    const std::vector<bool> starts = CharStarts(name, cp);
    int want = -1;
    for (int r = 0; r <= std::min(lastIndex, kReleaseCount - 1); ++r) {
        const std::size_t at = FirstWhole(name, starts, kReleases[r].yearText);
        if (at != std::string::npos && at > 0) {
            want = r;
            break;
        }
    }
    FUZZ_CHECK(result == want);
    FUZZ_CHECK(result == -1 || (result >= 0 && result <= std::min(lastIndex, kReleaseCount - 1)));
    // Classifying is pure: the registry is not asked anything.
    FUZZ_CHECK(registry.Calls().Total() == 0);
    return 0;
}
