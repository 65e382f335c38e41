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
// TRUSTEDPATHS is read into, and composed in, buffers of this many UTF-16
// code units (terminator included): any text of 12999 bytes in the ANSI code
// page is at most 12999 code units, so whatever fitted before still fits.
constexpr std::size_t kTrustedPathsUnits = 13000;

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
        if (journal_ != nullptr) {
            const std::string base =
                cp_.EndsWithBackslash(productKey) ? productKey : productKey + "\\";
            UniqueRegKey applications(reg_);
            if (reg_.OpenKeyRead(product.get(), "Applications", applications.put()) == kRegNotFound)
                journal_->MachineKeyCreated(base + "Applications");
            journal_->DemandLoadWritten(base + subkey, loader);
        }
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

bool HostRegistrar::HoldsFolder(const WideString& upperValue, const WideString& upperFolder) {
    const auto withoutBackslash = [](WideString path) {
        if (!path.empty() && path.back() == u'\\') path.pop_back();
        return path;
    };
    const WideString wanted = withoutBackslash(upperFolder);
    const WideString wantedTree = wanted + u"\\...";
    std::size_t start = 0;
    while (start <= upperValue.size()) {
        std::size_t end = upperValue.find(u';', start);
        if (end == WideString::npos) end = upperValue.size();
        WideString entry = upperValue.substr(start, end - start);
        if (entry.size() >= 2 && entry.front() == u'"' && entry.back() == u'"')
            entry = entry.substr(1, entry.size() - 2);
        entry = withoutBackslash(std::move(entry));
        if (!entry.empty() && (entry == wanted || entry == wantedTree)) return true;
        start = end + 1;
    }
    return false;
}

void HostRegistrar::UpdateTrustedPaths(const std::string& variablesKey, const WideString& folder,
                                       std::vector<unsigned char>& buffer) {
    WideString existing;
    std::uint32_t type = kRegSz;  // a value written afresh
    {
        UniqueRegKey key(reg_);
        const long opened = reg_.OpenKey(kHkeyCurrentUser, variablesKey.c_str(), key.put());
        // A key that is there but cannot be opened may hold entries that an
        // empty value would overwrite: it is left alone.
        if (!key && opened != kRegNotFound) return;
        if (key) {
            std::fill(buffer.begin(), buffer.end(), 0);
            std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
            std::uint32_t stored = 0;
            const long rc =
                reg_.QueryValueWide(key.get(), kTrustedPaths, &stored, buffer.data(), &size);
            if (rc == kRegOk) {
                // A number or a list is no text to extend, and what would be
                // written over it could never be turned back.
                if (stored != kRegSz && stored != kRegExpandSz) return;
                type = stored;
                const std::size_t read = std::min<std::size_t>(size, buffer.size());
                const std::size_t whole = read / 2;
                std::size_t units = 0;
                while (units < whole && (buffer[2 * units] | buffer[2 * units + 1]) != 0) ++units;
                // A text that fills the buffer without its NUL does not fit;
                // half a code unit after an unterminated text is no whole
                // text either.
                if (units == whole && (2 * whole == buffer.size() || read % 2 != 0)) return;
                existing.reserve(units);
                for (std::size_t i = 0; i < units; ++i)
                    existing.push_back(
                        static_cast<char16_t>(buffer[2 * i] | buffer[2 * i + 1] << 8));
            } else if (rc != kRegNotFound) {
                // Too long for the buffer, or unreadable: what is stored
                // cannot be seen whole, so it is not touched.
                return;
            }
        }
    }

    WideString updated;
    if (existing.size() <= 2) {
        updated = folder;
    } else {
        updated = wide_.UpperWide(existing);
        const WideString upperFolder = wide_.UpperWide(folder);
        if (!HoldsFolder(updated, upperFolder)) updated += u";" + upperFolder;
    }
    // The new value must fit the buffer with its NUL; otherwise the old one stays.
    if (updated.size() + 1 > kTrustedPathsUnits) return;

    std::vector<unsigned char> data;
    data.reserve(2 * updated.size() + 2);
    for (char16_t c : updated) {
        data.push_back(static_cast<unsigned char>(c & 0xFF));
        data.push_back(static_cast<unsigned char>(c >> 8));
    }
    data.insert(data.end(), 2, 0);

    RegValueState before;
    if (journal_ != nullptr) before = ReadValueState(reg_, kHkeyCurrentUser, variablesKey, kTrustedPaths);
    UniqueRegKey key(reg_);
    reg_.CreateKey(kHkeyCurrentUser, variablesKey.c_str(), key.put());
    if (!key) return;
    if (reg_.SetValueWide(key.get(), kTrustedPaths, type, data.data(),
                          static_cast<std::uint32_t>(data.size())) == kRegOk &&
        journal_ != nullptr) {
        journal_->TrustedPathsWritten(
            variablesKey, before, ReadValueState(reg_, kHkeyCurrentUser, variablesKey, kTrustedPaths));
    }
}

void HostRegistrar::AddTrustedPath(CAcadInfo& info) {
    // Nothing to trust; an empty folder would only wipe short values.
    if (info.m_strInstallDir.empty()) return;
    // ';' separates the entries and '"' quotes them: a folder holding either
    // would be read back as other folders (trusting those is worse than
    // trusting none), and would never be found again, so each installation
    // would add it once more.
    // Bytes, not characters: neither is ever a trail byte.
    if (info.m_strInstallDir.find_first_of(";\"") != std::string::npos)
        return;
    // Bytes that stand for no character would be trusted as some other
    // folder's name.
    WideString folder;
    if (!wide_.ToWide(info.m_strInstallDir, &folder)) return;
    const StringList profilesKeys = CollectProfilesKeys();
    const StringList variablesKeys = CollectVariablesKeys(profilesKeys);
    std::vector<unsigned char> buffer(2 * kTrustedPathsUnits);
    for (const std::string& variablesKey : variablesKeys)
        UpdateTrustedPaths(variablesKey, folder, buffer);
}

}  // namespace tx
