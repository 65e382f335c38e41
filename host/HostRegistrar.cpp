#include "host/HostRegistrar.h"

#include "host/TrustedPathList.h"

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
// TRUSTEDPATHS is read into, and composed in, buffers of this many UTF-16
// code units (terminator included): any text of 12999 bytes in the ANSI code
// page is at most 12999 code units, so whatever fitted before still fits.
constexpr std::size_t kTrustedPathsUnits = 13000;

constexpr const char* kAcadTree = "SOFTWARE\\Autodesk\\AutoCAD";

}  // namespace

std::string HostRegistrar::DemandLoadSubkey(int year) {
    return FormatText("Applications\\TX_BatchPlot%d", {year});
}

std::string HostRegistrar::LoaderFor(const std::string& installFolder, int releaseIndex) {
    // Composed in a buffer of MAX_PATH with its terminating zero.
    const std::string loader = FormatText("%s\\TX_BatchPlot%d.ARX",
                                          {installFolder.c_str(), kReleases[releaseIndex].moduleYear});
    return loader.size() >= kComposeBuffer ? std::string() : loader;
}

void HostRegistrar::ListSubkeys(RegHandle key, StringList& names) {
    for (const std::string& name : SubkeyNames(reg_, key)) {
        UniqueRegKey sub(reg_);
        if (reg_.OpenKeyRead(key, name.c_str(), sub.put()) != kRegOk || !sub) continue;
        names.push_back(name);
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

    for (const std::string& releaseKey : SubkeyNames(reg_, acad.get())) {
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

bool HostRegistrar::ComposeTrustedPaths(const std::string& variablesKey, const WideString& folder,
                                        std::vector<unsigned char>& buffer,
                                        TrustedPathsChange* change) {
    WideString existing;
    std::uint32_t type = kRegSz;  // a value written afresh
    // What the undo puts back: taken from this same read, so it cannot
    // differ from the value the change is composed from.
    RegValueState before;
    {
        UniqueRegKey key(reg_);
        const long opened = reg_.OpenKey(kHkeyCurrentUser, variablesKey.c_str(), key.put());
        // A key that is there but cannot be opened may hold entries that an
        // empty value would overwrite: it is left alone.
        if (!key && opened != kRegNotFound) return false;
        if (key) {
            before.keyExists = true;
            std::fill(buffer.begin(), buffer.end(), 0);
            std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
            std::uint32_t stored = 0;
            const long rc =
                reg_.QueryValueWide(key.get(), kTrustedPaths, &stored, buffer.data(), &size);
            if (rc == kRegOk) {
                // A number or a list is no text to extend, and what would be
                // written over it could never be turned back.
                if (!IsTextType(stored)) return false;
                type = stored;
                const std::size_t read = std::min<std::size_t>(size, buffer.size());
                const std::size_t whole = read / 2;
                std::size_t units = 0;
                while (units < whole && (buffer[2 * units] | buffer[2 * units + 1]) != 0) ++units;
                // A text that fills the buffer without its NUL does not fit;
                // half a code unit after an unterminated text is no whole
                // text either.
                if (units == whole && (2 * whole == buffer.size() || read % 2 != 0)) return false;
                existing = UnpackUtf16(std::vector<unsigned char>(buffer.begin(),
                                                                  buffer.begin() + 2 * units));
                before.valueExists = true;
                before.type = stored;
                before.data.assign(buffer.begin(), buffer.begin() + read);
            } else if (rc != kRegNotFound) {
                // Too long for the buffer, or unreadable: what is stored
                // cannot be seen whole, so it is not touched.
                return false;
            }
        }
    }

    WideString updated;
    if (existing.size() <= 2) {
        updated = folder;
    } else {
        updated = wide_.UpperWide(existing);
        const WideString upperFolder = wide_.UpperWide(folder);
        if (!TrustedPathList(updated).Trusts(upperFolder, wide_)) updated += u";" + upperFolder;
    }
    // The new value must fit the buffer with its NUL; otherwise the old one stays.
    if (updated.size() + 1 > kTrustedPathsUnits) return false;

    change->variablesKey = variablesKey;
    change->before = std::move(before);
    change->written.keyExists = true;
    change->written.valueExists = true;
    change->written.type = type;
    change->written.data = PackUtf16(updated);
    change->written.data.insert(change->written.data.end(), 2, 0);
    return true;
}

std::vector<TrustedPathsChange> HostRegistrar::PlanTrustedPath(const std::string& installFolder,
                                                               bool withUnchanged) {
    std::vector<TrustedPathsChange> changes;
    // Nothing to trust; an empty folder would only wipe short values.
    if (installFolder.empty()) return changes;
    // ';' separates the entries and '"' quotes them: a folder holding either
    // would be read back as other folders (trusting those is worse than
    // trusting none), and would never be found again, so each installation
    // would add it once more.
    // Bytes, not characters: neither is ever a trail byte.
    if (installFolder.find_first_of(";\"") != std::string::npos) return changes;
    // Bytes that stand for no character would be trusted as some other
    // folder's name.
    WideString folder;
    if (!wide_.ToWide(installFolder, &folder)) return changes;
    const StringList variablesKeys = CollectVariablesKeys(CollectProfilesKeys());
    std::vector<unsigned char> buffer(2 * kTrustedPathsUnits);
    for (const std::string& variablesKey : variablesKeys) {
        TrustedPathsChange change;
        if (ComposeTrustedPaths(variablesKey, folder, buffer, &change) &&
            (withUnchanged || change.written != change.before))
            changes.push_back(std::move(change));
    }
    return changes;
}

long HostRegistrar::WriteTrustedPaths(const TrustedPathsChange& change) {
    UniqueRegKey key(reg_);
    long rc = reg_.CreateKey(kHkeyCurrentUser, change.variablesKey.c_str(), key.put());
    if (rc == kRegOk && !key) rc = kRegInvalidHandle;
    if (rc != kRegOk) return rc;
    return reg_.SetValueWide(key.get(), kTrustedPaths, change.written.type,
                             change.written.data.data(),
                             static_cast<std::uint32_t>(change.written.data.size()));
}

void HostRegistrar::AddTrustedPath(const std::string& installFolder) {
    // A profile that cannot be written keeps its value; the others still
    // get theirs.
    for (const TrustedPathsChange& change : PlanTrustedPath(installFolder))
        (void)WriteTrustedPaths(change);
}

}  // namespace tx
