#include "host/Registration.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/TextFormat.h"

namespace tx {

namespace {

// Both the demand-load key name and the LOADER text are composed in a
// buffer of this size (MAX_PATH).
constexpr std::size_t kComposeBuffer = 260;
constexpr std::uint32_t kNameBuffer = 256;
// TRUSTEDPATHS is read into, and composed in, buffers of this size.
constexpr std::size_t kTrustedPathsBuffer = 13000;

constexpr const char* kAcadTree = "SOFTWARE\\Autodesk\\AutoCAD";
constexpr const char* kTrustedPaths = "TRUSTEDPATHS";

long SetString(IRegistry& reg, RegHandle key, const char* name, const std::string& text) {
    return reg.SetValue(key, name, kRegSz, reinterpret_cast<const unsigned char*>(text.c_str()),
                        static_cast<std::uint32_t>(text.size() + 1));
}

}  // namespace

void HostRegistrar::RegisterRelease(CAcadInfo& info, const TickFlags& ticked) {
    for (int i = 0; i < kReleaseCount; ++i) {
        if (ticked[i] != 0) RegisterDemandLoad(info, kReleases[i].year);
    }
    AddTrustedPath(info);
}

void HostRegistrar::RegisterDemandLoad(CAcadInfo& info, int year) {
    const int index = ReleaseIndexOfYear(year);
    if (index < 0) return;

    const std::string subkey = FormatText("Applications\\TX_BatchPlot%d", {year});
    // A LOADER that would not fit its buffer with the terminating zero is not
    // written at all, and the old entry stays as it was: a cut path would
    // load nothing, or the wrong file.
    const std::string loader = FormatText("%s\\TX_BatchPlot%d.ARX",
                                          {info.m_strInstallDir.c_str(), kReleases[index].moduleYear});
    if (loader.size() >= kComposeBuffer) return;

    static constexpr unsigned char kLoadCtrls[4] = {2, 0, 0, 0};  // REG_DWORD 2, little-endian
    for (const std::string& productKey : info.m_arrProductKey[index]) {
        UniqueRegKey product(reg_);
        reg_.OpenKey(kHkeyLocalMachine, productKey.c_str(), product.put());
        if (!product) continue;
        // Deleting first drops whatever an earlier entry held; a key with
        // subkeys of its own survives and is only rewritten.
        reg_.DeleteKey(product.get(), subkey.c_str());
        UniqueRegKey entry(reg_);
        reg_.CreateKey(product.get(), subkey.c_str(), entry.put());
        if (!entry) continue;
        reg_.SetValue(entry.get(), "LOADCTRLS", kRegDword, kLoadCtrls, sizeof kLoadCtrls);
        SetString(reg_, entry.get(), "LOADER", loader);
    }
}

void HostRegistrar::ListSubkeys(RegHandle key, StringList& names) {
    std::uint32_t count = 0;
    if (reg_.QuerySubkeyCount(key, &count) != kRegOk) count = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        char name[kNameBuffer];
        std::uint32_t length = sizeof name;
        if (reg_.EnumKey(key, i, name, &length) != kRegOk) continue;
        UniqueRegKey sub(reg_);
        if (reg_.OpenKeyRead(key, name, sub.put()) != kRegOk || !sub) continue;
        names.emplace_back(name, std::min<std::uint32_t>(length, kNameBuffer - 1));
    }
}

std::string HostRegistrar::WithoutTrailingBackslash(std::string path) const {
    if (cp_.EndsWithBackslash(path)) path.pop_back();
    return path;
}

StringList HostRegistrar::CollectProfilesKeys() {
    StringList profilesKeys;
    UniqueRegKey root(reg_);
    if (reg_.OpenRoot(RegRoot::CurrentUser, root.put()) != kRegOk || !root) return profilesKeys;
    UniqueRegKey acad(reg_);
    if (reg_.OpenKeyRead(root.get(), kAcadTree, acad.put()) != kRegOk || !acad) return profilesKeys;

    std::uint32_t count = 0;
    if (reg_.QuerySubkeyCount(acad.get(), &count) != kRegOk) count = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        char name[kNameBuffer];
        std::uint32_t length = sizeof name;
        if (reg_.EnumKey(acad.get(), i, name, &length) != kRegOk) continue;
        const std::string releaseKey(name, std::min<std::uint32_t>(length, kNameBuffer - 1));
        UniqueRegKey release(reg_);
        if (reg_.OpenKeyRead(acad.get(), releaseKey.c_str(), release.put()) != kRegOk || !release)
            continue;
        StringList products;
        ListSubkeys(release.get(), products);
        for (const std::string& product : products) {
            profilesKeys.push_back(
                WithoutTrailingBackslash(std::string(kAcadTree) + "\\" + releaseKey + "\\" + product) +
                "\\Profiles");
        }
    }
    return profilesKeys;
}

StringList HostRegistrar::CollectVariablesKeys(const StringList& profilesKeys) {
    StringList variablesKeys;
    UniqueRegKey root(reg_);
    if (reg_.OpenRoot(RegRoot::CurrentUser, root.put()) != kRegOk || !root) return variablesKeys;
    for (const std::string& profilesKey : profilesKeys) {
        UniqueRegKey profiles(reg_);
        if (reg_.OpenKeyRead(root.get(), profilesKey.c_str(), profiles.put()) != kRegOk || !profiles)
            continue;
        StringList names;
        ListSubkeys(profiles.get(), names);
        for (const std::string& profile : names)
            variablesKeys.push_back(WithoutTrailingBackslash(profilesKey + "\\" + profile) +
                                    "\\Variables");
    }
    return variablesKeys;
}

bool HostRegistrar::HoldsFolder(const std::string& value, const std::string& folder) const {
    const std::string wanted = WithoutTrailingBackslash(folder);
    const std::string wantedTree = wanted + "\\...";
    std::size_t start = 0;
    while (start <= value.size()) {
        // ';' is never a trail byte, but walk by characters all the same.
        std::size_t end = start;
        while (end < value.size() && value[end] != ';') end += cp_.CharLength(value, end);
        std::string entry = value.substr(start, end - start);
        // '"' is never a trail byte either.
        if (entry.size() >= 2 && entry.front() == '"' && entry.back() == '"')
            entry = entry.substr(1, entry.size() - 2);
        entry = WithoutTrailingBackslash(std::move(entry));
        if (!entry.empty() && (cp_.EqualsNoCase(entry, wanted) || cp_.EqualsNoCase(entry, wantedTree)))
            return true;
        start = end + 1;
    }
    return false;
}

void HostRegistrar::UpdateTrustedPaths(const std::string& variablesKey, const std::string& folder,
                                       std::vector<unsigned char>& buffer) {
    std::string existing;
    {
        UniqueRegKey key(reg_);
        const long opened = reg_.OpenKey(kHkeyCurrentUser, variablesKey.c_str(), key.put());
        // A key that is there but cannot be opened may hold entries that an
        // empty value would overwrite: it is left alone.
        if (!key && opened != kRegNotFound) return;
        if (key) {
            std::fill(buffer.begin(), buffer.end(), 0);
            std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
            std::uint32_t type = 0;
            const long rc = reg_.QueryValue(key.get(), kTrustedPaths, &type, buffer.data(), &size);
            if (rc == kRegOk) {
                const std::size_t read = std::min<std::size_t>(size, buffer.size());
                const auto nul = std::find(buffer.begin(), buffer.begin() + read, 0);
                // A text that fills the buffer without its NUL does not fit.
                if (nul == buffer.end()) return;
                existing.assign(buffer.begin(), nul);
            } else if (rc != kRegNotFound) {
                // Too long for the buffer, or unreadable: what is stored
                // cannot be seen whole, so it is not touched.
                return;
            }
        }
    }

    std::string updated;
    if (existing.size() <= 2) {
        updated = folder;
    } else {
        updated = cp_.Upper(existing);
        if (!HoldsFolder(existing, folder)) updated += ";" + cp_.Upper(folder);
    }
    // The new value must fit the buffer with its NUL; otherwise the old one stays.
    if (updated.size() + 1 > kTrustedPathsBuffer) return;

    UniqueRegKey key(reg_);
    reg_.CreateKey(kHkeyCurrentUser, variablesKey.c_str(), key.put());
    if (!key) return;
    SetString(reg_, key.get(), kTrustedPaths, updated);
}

void HostRegistrar::AddTrustedPath(CAcadInfo& info) {
    // Nothing to trust; an empty folder would only wipe short values.
    if (info.m_strInstallDir.empty()) return;
    // ';' separates the entries and '"' quotes them: a folder holding either
    // would be read back as other folders (trusting those is worse than
    // trusting none), and would never be found again, so each installation
    // would add it once more.
    if (cp_.Find(info.m_strInstallDir, ";") != CodePage::npos ||
        cp_.Find(info.m_strInstallDir, "\"") != CodePage::npos)
        return;
    const StringList profilesKeys = CollectProfilesKeys();
    const StringList variablesKeys = CollectVariablesKeys(profilesKeys);
    std::vector<unsigned char> buffer(kTrustedPathsBuffer);
    for (const std::string& variablesKey : variablesKeys)
        UpdateTrustedPaths(variablesKey, info.m_strInstallDir, buffer);
}

}  // namespace tx
