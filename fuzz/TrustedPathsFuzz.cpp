// Adding the installation folder to TRUSTEDPATHS: an arbitrary existing
// value (any type, any bytes, any length around the 13000-byte buffer) and
// an arbitrary folder, on the in-memory registry.
//
// Input: a selector byte (bit 0: code page 936, else 1252; bits 1-2: the
// value's type; bit 3: a NUL is stored after the bytes), a counted folder
// (up to its first NUL), then the stored value's bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "host/Registration.h"
#include "tests/fakes/FakeRegistry.h"

namespace tx::fuzz {
namespace {

constexpr RegRoot kHkcu = RegRoot::CurrentUser;
constexpr std::size_t kBuffer = 13000;
const std::string kProfiles = "SOFTWARE\\Autodesk\\AutoCAD\\R24.3\\ACAD-7101:804\\Profiles";
const std::string kSeeded = kProfiles + "\\<<Unnamed Profile>>\\Variables";
const std::string kBare = kProfiles + "\\Second";
const char kName[] = "TRUSTEDPATHS";

// The ';'-separated entries, split at whole ';' characters.
std::vector<std::string> Entries(const std::string& value, const CodePage& cp) {
    const std::vector<bool> starts = CharStarts(value, cp);
    std::vector<std::string> out;
    std::size_t begin = 0;
    for (std::size_t i = 0; i <= value.size(); ++i) {
        if (i < value.size() && SingleByteAt(value, starts, i) != ';') continue;
        out.push_back(value.substr(begin, i - begin));
        begin = i + 1;
    }
    return out;
}

// No character cut in two: real registry texts arrive converted from
// UTF-16 and are always whole.
bool WellFormed(const std::string& s, const CodePage& cp) {
    const std::vector<bool> starts = CharStarts(s, cp);
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (starts[i] && starts[i + 1] && cp.IsLeadByte(static_cast<unsigned char>(s[i])))
            return false;
    }
    return true;
}

std::string TextOf(const RegValueData& v) {
    const auto nul = std::find(v.data.begin(), v.data.end(), 0);
    return std::string(v.data.begin(), nul);
}

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
    std::string folder = UpToNul(in.Counted());
    // The record's folder never ends with a backslash.
    if (!folder.empty() && SingleByteAt(folder, CharStarts(folder, cp), folder.size() - 1) == '\\')
        folder.pop_back();
    std::vector<unsigned char> stored;
    const std::string rest = in.Rest();
    stored.assign(rest.begin(), rest.end());
    if ((selector & 8) != 0) stored.push_back(0);

    FakeRegistry reg(cp.Id());
    reg.SetRaw(kHkcu, kSeeded, kName, type, stored);
    reg.CreatePath(kHkcu, kBare);
    reg.RecordWrites(true);

    HostRegistrar registrar(reg, cp);
    CAcadInfo info;
    info.m_strInstallDir = folder;
    registrar.AddTrustedPath(info);

    FUZZ_CHECK(reg.OpenHandles() == 0);
    FUZZ_CHECK(reg.BadHandleUses() == 0);

    const auto after = reg.GetValue(kHkcu, kSeeded, kName);
    FUZZ_CHECK(after.has_value());
    const bool unchanged = after->type == type && after->data == stored;
    // Nothing to add, or a folder that cannot stand as one entry: the list
    // would split it at ';' or take '"' for quotes.
    const std::vector<bool> folderStarts = CharStarts(folder, cp);
    bool separators = false;
    for (std::size_t i = 0; i < folder.size(); ++i) {
        const int b = SingleByteAt(folder, folderStarts, i);
        separators = separators || b == ';' || b == '"';
    }
    if (folder.empty() || separators) {
        FUZZ_CHECK(reg.Writes().empty());
        return 0;
    }

    // A profile without a value gets the folder as it is.
    FUZZ_CHECK(reg.GetString(kHkcu, kBare + "\\Variables", kName) == folder);

    // What the 13000-byte buffer can hold whole.
    const bool readable = stored.size() < kBuffer ||
                          (stored.size() == kBuffer && std::memchr(stored.data(), 0, kBuffer));
    if (!readable) {
        FUZZ_CHECK(unchanged);
        return 0;
    }
    const std::string existing =
        std::string(stored.begin(), std::find(stored.begin(), stored.end(), 0));
    if (existing.size() <= 2) {
        FUZZ_CHECK(after->type == kRegSz && TextOf(*after) == folder);
        FUZZ_CHECK(after->data.size() == folder.size() + 1);
        return 0;
    }

    const std::string upper = cp.Upper(existing);
    const std::string added = upper + ";" + cp.Upper(folder);
    const std::vector<std::string> entries = Entries(upper, cp);
    const bool listed =
        std::find(entries.begin(), entries.end(), cp.Upper(folder)) != entries.end();
    if (unchanged && !(after->type == kRegSz && TextOf(*after) == upper)) {
        // Left alone only when the longer value would not fit its buffer.
        FUZZ_CHECK(!listed && added.size() + 1 > kBuffer);
        return 0;
    }
    FUZZ_CHECK(after->type == kRegSz);
    const std::string now = TextOf(*after);
    FUZZ_CHECK(after->data.size() == now.size() + 1);
    FUZZ_CHECK(now.size() + 1 <= kBuffer);
    // Every entry kept, in order, before anything added.
    FUZZ_CHECK(now.compare(0, upper.size(), upper) == 0);
    FUZZ_CHECK(now == upper || now == added);
    // An entry that is the folder already is never added twice; a value
    // left as it was must name the folder somewhere.
    if (listed) FUZZ_CHECK(now == upper);
    if (now == upper) FUZZ_CHECK(cp.Find(upper, cp.Upper(folder)) != CodePage::npos);

    // Installing again to the same folder changes nothing more.
    if (WellFormed(existing, cp) && WellFormed(folder, cp)) {
        const RegValueData first = *after;
        registrar.AddTrustedPath(info);
        const auto second = reg.GetValue(kHkcu, kSeeded, kName);
        FUZZ_CHECK(second.has_value() && second->data == first.data);
        FUZZ_CHECK(reg.OpenHandles() == 0);
    }
    return 0;
}
