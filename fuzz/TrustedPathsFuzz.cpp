// Adding the installation folder to TRUSTEDPATHS: an arbitrary existing
// value (any type, any data, any length around the 13000-unit buffer) and an
// arbitrary folder, on the in-memory registry.
//
// Input: a selector byte (bit 0: code page 936, else 1252; bits 1-2: the
// value's type; bit 3: a NUL is stored after the data; bit 4: the data is
// stored as it is, as UTF-16LE code units through the wide call, else it is
// code page text converted by the ANSI call), a counted folder (up to its
// first NUL), then the value's data.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "host/HostRegistrar.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeWideText.h"

namespace tx::fuzz {
namespace {

constexpr RegRoot kHkcu = RegRoot::CurrentUser;
constexpr std::size_t kUnits = 13000;
const std::string kProfiles = "SOFTWARE\\Autodesk\\AutoCAD\\R24.3\\ACAD-7101:804\\Profiles";
const std::string kSeeded = kProfiles + "\\<<Unnamed Profile>>\\Variables";
const std::string kBare = kProfiles + "\\Second";
const char kName[] = "TRUSTEDPATHS";

std::vector<WideString> Entries(const WideString& value) {
    std::vector<WideString> out;
    std::size_t begin = 0;
    for (std::size_t i = 0; i <= value.size(); ++i) {
        if (i < value.size() && value[i] != u';') continue;
        out.push_back(value.substr(begin, i - begin));
        begin = i + 1;
    }
    return out;
}

// Code units no upper-casing may touch: surrogates (characters outside the
// basic plane) and Hangul syllables.
bool Caseless(char16_t c) { return (c >= 0xD800 && c <= 0xDFFF) || (c >= 0xAC00 && c <= 0xD7A3); }

bool IsText(std::uint32_t type) { return type == kRegSz || type == kRegExpandSz; }

}  // namespace
}  // namespace tx::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tx;
    using namespace tx::fuzz;
    InputReader in(data, size);
    const std::uint8_t selector = in.Byte();
    const CodePage cp(CodePageOf(selector));
    static constexpr std::uint32_t kTypes[] = {1 /*SZ*/, 2 /*EXPAND_SZ*/, 3 /*BINARY*/, 7 /*MULTI_SZ*/};
    const std::uint32_t type = kTypes[(selector >> 1) & 3];
    const bool wideSeed = (selector & 16) != 0;
    std::string folder = UpToNul(in.Counted());
    // The record's folder never ends with a backslash.
    if (!folder.empty() && SingleByteAt(folder, CharStarts(folder, cp), folder.size() - 1) == '\\')
        folder.pop_back();
    const std::string rest = in.Rest();
    std::vector<unsigned char> seed(rest.begin(), rest.end());
    if ((selector & 8) != 0) seed.insert(seed.end(), wideSeed ? 2 : 1, 0);

    FakeRegistry reg(cp.Id());
    if (wideSeed)
        reg.SetRawWide(kHkcu, kSeeded, kName, type, seed);
    else
        reg.SetRaw(kHkcu, kSeeded, kName, type, seed);
    const std::vector<unsigned char> stored = reg.GetValueWide(kHkcu, kSeeded, kName)->data;
    reg.CreatePath(kHkcu, kBare);
    reg.RecordWrites(true);

    FakeWideText wide(cp.Id());
    HostRegistrar registrar(reg, cp, wide);
    // The plan reads and writes nothing; what it says the seeded value is
    // and will be is what the write then finds and leaves.
    const std::vector<TrustedPathsChange> plan = registrar.PlanTrustedPath(folder);
    FUZZ_CHECK(reg.Writes().empty());
    const TrustedPathsChange* seededChange = nullptr;
    for (const TrustedPathsChange& change : plan) {
        FUZZ_CHECK(change.before != change.written);
        FUZZ_CHECK(change.written.keyExists && change.written.valueExists);
        if (change.variablesKey.find("<<Unnamed Profile>>") != std::string::npos) seededChange = &change;
    }
    if (seededChange != nullptr) {
        FUZZ_CHECK(seededChange->before.keyExists && seededChange->before.valueExists);
        FUZZ_CHECK(seededChange->before.type == type && seededChange->before.data == stored);
    }
    registrar.AddTrustedPath(folder);

    FUZZ_CHECK(reg.OpenHandles() == 0);
    FUZZ_CHECK(reg.BadHandleUses() == 0);

    const auto after = reg.GetValueWide(kHkcu, kSeeded, kName);
    FUZZ_CHECK(after.has_value());
    const bool unchanged = after->type == type && after->data == stored;
    FUZZ_CHECK(seededChange == nullptr ? unchanged
                                       : after->type == seededChange->written.type &&
                                             after->data == seededChange->written.data);
    // Nothing to add, a folder that cannot stand as one entry (the list
    // would split it at ';' or take '"' for quotes), or one that is no text
    // of the code page.
    const std::vector<bool> folderStarts = CharStarts(folder, cp);
    bool separators = false;
    for (std::size_t i = 0; i < folder.size(); ++i) {
        const int b = SingleByteAt(folder, folderStarts, i);
        separators = separators || b == ';' || b == '"';
    }
    WideString wideFolder;
    const bool convertible = wide.ToWide(folder, &wideFolder);
    if (folder.empty() || separators || !convertible) {
        FUZZ_CHECK(reg.Writes().empty());
        return 0;
    }

    // A profile without a value gets the folder as it is.
    const auto bare = reg.GetValueWide(kHkcu, kBare + "\\Variables", kName);
    FUZZ_CHECK(bare.has_value() && bare->type == kRegSz && bare->data == Utf16Bytes(wideFolder));

    // Numbers, lists and binary data are no text to extend.
    if (!IsText(type)) {
        FUZZ_CHECK(unchanged);
        return 0;
    }
    // What the 13000-unit buffer can hold whole: a NUL within it, or an
    // unterminated text of whole code units that leaves room.
    const WideString units = FromUtf16Bytes(stored);
    const std::size_t nul = units.find(u'\0');
    const bool readable = stored.size() <= 2 * kUnits &&
                          (nul != WideString::npos ||
                           (units.size() < kUnits && stored.size() % 2 == 0));
    if (!readable) {
        FUZZ_CHECK(unchanged);
        return 0;
    }
    const WideString existing = units.substr(0, nul);
    const WideString now = FromUtf16Bytes(after->data);
    // Whatever is written is one terminated text of the value's own type.
    FUZZ_CHECK(after->type == type);
    FUZZ_CHECK(unchanged || (after->data.size() % 2 == 0 && !now.empty() && now.back() == u'\0' &&
                             now.find(u'\0') == now.size() - 1));
    if (existing.size() <= 2) {
        FUZZ_CHECK(after->data == Utf16Bytes(wideFolder));
        return 0;
    }

    const WideString upper = wide.UpperWide(existing);
    const WideString upperFolder = wide.UpperWide(wideFolder);
    const WideString added = upper + u";" + upperFolder;
    const std::vector<WideString> entries = Entries(upper);
    const bool listed = std::find(entries.begin(), entries.end(), upperFolder) != entries.end();
    const WideString text = now.substr(0, now.find(u'\0'));
    if (unchanged && text != upper) {
        // Left alone only when the longer value would not fit its buffer.
        FUZZ_CHECK(!listed && added.size() + 1 > kUnits);
        return 0;
    }
    FUZZ_CHECK(text.size() + 1 <= kUnits);
    // Every entry kept, in order, before anything added; only letter case
    // may change, and characters without one come back as they were.
    FUZZ_CHECK(text.compare(0, upper.size(), upper) == 0);
    for (std::size_t i = 0; i < existing.size(); ++i) {
        if (Caseless(existing[i])) FUZZ_CHECK(text[i] == existing[i]);
    }
    FUZZ_CHECK(wide.UpperWide(text) == text);
    FUZZ_CHECK(text == upper || text == added);
    // An entry that is the folder already is never added twice; a value
    // left as it was must name the folder somewhere.
    if (listed) FUZZ_CHECK(text == upper);
    if (text == upper) FUZZ_CHECK(upper.find(upperFolder) != WideString::npos);

    // Installing again to the same folder changes nothing more.
    const RegValueData first = *after;
    registrar.AddTrustedPath(folder);
    const auto second = reg.GetValueWide(kHkcu, kSeeded, kName);
    FUZZ_CHECK(second.has_value() && second->type == first.type && second->data == first.data);
    FUZZ_CHECK(reg.OpenHandles() == 0);
    return 0;
}
