#include "tests/fakes/FakeFolderSecurity.h"

#include <algorithm>

#include "tests/fakes/FakeFileSystem.h"

namespace tx {

namespace {

// MapGenericMask with the file objects' mapping: GENERIC_READ to
// FILE_GENERIC_READ, GENERIC_WRITE to FILE_GENERIC_WRITE, GENERIC_EXECUTE
// to FILE_GENERIC_EXECUTE, GENERIC_ALL to FILE_ALL_ACCESS.
std::uint32_t MapGeneric(std::uint32_t mask) {
    std::uint32_t out = mask & 0x0FFFFFFFu;
    if (mask & 0x80000000u) out |= kFileGenericRead;
    if (mask & kGenericWrite) out |= kFileGenericWrite;
    if (mask & 0x20000000u) out |= kFileGenericExecute;
    if (mask & kGenericAll) out |= kRightsAll;
    return out;
}

}  // namespace

std::vector<FakeAce> WindowsDriveRootList() {
    const std::uint8_t both = kAceObjectInherit | kAceContainerInherit;
    return {
        {kSidAdministrators, kRightsAll, both},
        {kSidLocalSystem, kRightsAll, both},
        {kSidUsers, kFileGenericRead | kFileGenericExecute, both},
        {kSidAuthenticatedUsers, kModify, static_cast<std::uint8_t>(both | kAceInheritOnly)},
        {kSidAuthenticatedUsers, kRightAddSubdirectory, 0},
        {kSidCreatorOwner, kGenericAll, static_cast<std::uint8_t>(both | kAceInheritOnly)},
    };
}

std::vector<FakeAce> ProtectedFolderList() {
    const std::uint8_t both = kAceObjectInherit | kAceContainerInherit;
    return {
        {kSidAdministrators, kRightsAll, both},
        {kSidLocalSystem, kRightsAll, both},
        {kSidUsers, kFileGenericRead | kFileGenericExecute, both},
    };
}

class FakeFolderSecurity::Held : public IHeldFolder {
public:
    Held(std::shared_ptr<State> state, std::size_t index)
        : state_(std::move(state)), index_(index) {
        ++state_->live;
        state_->fs->HoldFolderOpen(state_->holds[index_].path, true);
    }
    ~Held() override {
        --state_->live;
        state_->holds[index_].copiesAtRelease = state_->fs->CopyCalls().size();
        state_->holds[index_].writesAtRelease = state_->fs->WriteCalls().size();
        state_->fs->HoldFolderOpen(state_->holds[index_].path, false);
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

private:
    std::shared_ptr<State> state_;
    std::size_t index_;
};

FakeFolderSecurity::FakeFolderSecurity(FakeFileSystem& fileSystem, unsigned codePage)
    : cp_(codePage), fs_(fileSystem), state_(std::make_shared<State>()) {
    state_->fs = &fs_;
}

std::string FakeFolderSecurity::Key(const std::string& path) const {
    // One name however it is spelled, as the file system compares names:
    // runs of backslashes as one, no trailing one, case folded under the
    // code page (a trail byte 0x5C is no separator).
    std::string key;
    bool lastWasSlash = false;
    for (std::size_t i = 0; i < path.size();) {
        const std::size_t len = cp_.CharLength(path, i);
        const bool slash = len == 1 && path[i] == '\\';
        if (!(slash && lastWasSlash)) key.append(path, i, len);
        lastWasSlash = slash;
        i += len;
    }
    if (cp_.EndsWithBackslash(key)) key.pop_back();
    return cp_.Lower(key);
}

void FakeFolderSecurity::SetOwner(const std::string& path, const std::string& sid) {
    owners_[Key(path)] = sid;
}

void FakeFolderSecurity::WithoutAccessLists(const std::string& drive) {
    withoutAcls_.push_back(Key(drive).substr(0, 2));
}

void FakeFolderSecurity::DenyOpen(const std::string& path) { denied_.push_back(Key(path)); }

void FakeFolderSecurity::SetAccessList(const std::string& path, std::vector<FakeAce> aces,
                                       bool protectedList) {
    AccessList& list = lists_[Key(path)];
    list.aces = std::move(aces);
    list.isProtected = protectedList;
    list.isNull = false;
}

void FakeFolderSecurity::SetNullAccessList(const std::string& path) {
    AccessList& list = lists_[Key(path)];
    list.aces.clear();
    list.isNull = true;
}

std::string FakeFolderSecurity::OwnerOf(const std::string& key) const {
    auto it = owners_.find(key);
    return it != owners_.end() ? it->second : defaultOwner_;
}

std::string FakeFolderSecurity::ParentKey(const std::string& key) const {
    const std::size_t slash = cp_.LastBackslash(key);
    return slash == std::string::npos ? std::string() : key.substr(0, slash);
}

std::vector<FakeAce> FakeFolderSecurity::EffectiveAces(const std::string& key) const {
    std::vector<FakeAce> aces;
    bool isProtected = false;
    auto it = lists_.find(key);
    if (it != lists_.end()) {
        if (it->second.isNull) return aces;
        aces = it->second.aces;
        isProtected = it->second.isProtected;
    }
    const std::string parent = ParentKey(key);
    if (isProtected || parent.empty()) return aces;
    // What a folder passes on to a subfolder: its container-inherit entries,
    // applying to the subfolder itself (inherit-only cleared) and passed on
    // further unless no-propagate is set. (Object-inherit-only entries reach
    // files, not folders.) A CREATOR OWNER entry becomes one for the
    // subfolder's owner on the subfolder, and stays inherit-only for what
    // is made below it.
    for (const FakeAce& ace : EffectiveAces(parent)) {
        if ((ace.flags & kAceContainerInherit) == 0) continue;
        const bool propagate = (ace.flags & kAceNoPropagate) == 0;
        const std::uint8_t flags =
            propagate ? static_cast<std::uint8_t>(ace.flags &
                                                  (kAceObjectInherit | kAceContainerInherit))
                      : std::uint8_t{0};
        if (ace.sid == kSidCreatorOwner) {
            aces.push_back({OwnerOf(key), ace.mask, 0});
            if (propagate)
                aces.push_back({ace.sid, ace.mask, static_cast<std::uint8_t>(flags | kAceInheritOnly)});
            continue;
        }
        aces.push_back({ace.sid, ace.mask, flags});
    }
    return aces;
}

std::uint32_t FakeFolderSecurity::OthersRights(const std::string& path) const {
    const std::string key = Key(path);
    auto it = lists_.find(key);
    // A NULL DACL grants every access to everyone.
    if (it != lists_.end() && it->second.isNull) return kRightsAll;
    std::uint32_t rights = 0;
    for (const FakeAce& ace : EffectiveAces(key)) {
        // An inherit-only entry grants nothing on the folder itself.
        if ((ace.flags & kAceInheritOnly) != 0) continue;
        if (IsTrustedSid(ace.sid, currentUser_)) continue;
        rights |= MapGeneric(ace.mask);
    }
    return rights;
}

bool FakeFolderSecurity::MadeProtected(const std::string& path) const {
    const std::string key = Key(path);
    return std::any_of(made_.begin(), made_.end(),
                       [&](const std::string& m) { return Key(m) == key; });
}

bool FakeFolderSecurity::KeepsAccessLists(const std::string& path) const {
    const std::string drive = Key(path).substr(0, 2);
    return std::find(withoutAcls_.begin(), withoutAcls_.end(), drive) == withoutAcls_.end();
}

MakeFolderResult FakeFolderSecurity::MakeProtectedFolder(const std::string& path) {
    // CreateDirectory fails with ERROR_ALREADY_EXISTS over any existing
    // name, a file or a link as much as a folder.
    if (fs_.Exists(path)) return MakeFolderResult::AlreadyThere;
    // Otherwise as the file system decides: no parent, an injected failure.
    if (!fs_.CreateDirectory(path)) return MakeFolderResult::Failed;
    made_.push_back(path);
    // A FAT volume takes the folder and drops the descriptor.
    if (KeepsAccessLists(path)) {
        owners_[Key(path)] = kSidAdministrators;
        SetAccessList(path, ProtectedFolderList(), true);
    }
    return MakeFolderResult::Created;
}

bool FakeFolderSecurity::ReadFacts(const std::string& path, FolderFacts* facts) const {
    *facts = FolderFacts{};
    if (!fs_.Exists(path)) return false;  // ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND
    const std::string key = Key(path);
    if (std::find(denied_.begin(), denied_.end(), key) != denied_.end()) return false;

    // Opened as itself: a link shows its own attributes, not its target's.
    const std::uint32_t attributes = fs_.Attributes(path);
    facts->directory = (attributes & kAttrDirectory) != 0;
    facts->reparsePoint = (attributes & kAttrReparsePoint) != 0;
    facts->keepsAccessLists = KeepsAccessLists(path);
    if (facts->keepsAccessLists) {
        facts->ownerSid = OwnerOf(key);
        facts->ownerKept = !ownersMadeUp_;
        facts->othersRights = OthersRights(path);
    }
    return true;
}

std::unique_ptr<IHeldFolder> FakeFolderSecurity::TakeHold(const std::string& path,
                                                          bool othersMayWrite,
                                                          FolderFacts* facts) {
    if (!ReadFacts(path, facts)) return nullptr;
    state_->holds.push_back({path, fs_.CopyCalls().size(), kStillHeld, fs_.WriteCalls().size(),
                             kStillHeld, othersMayWrite});
    return std::make_unique<Held>(state_, state_->holds.size() - 1);
}

std::unique_ptr<IHeldFolder> FakeFolderSecurity::HoldFolder(const std::string& path,
                                                            FolderFacts* facts) {
    return TakeHold(path, true, facts);
}

std::unique_ptr<IHeldFolder> FakeFolderSecurity::HoldUserFolder(const std::string& path,
                                                                FolderFacts* facts) {
    return TakeHold(path, false, facts);
}

bool FakeFolderSecurity::InspectFolder(const std::string& path, FolderFacts* facts) {
    inspected_.push_back(path);
    return ReadFacts(path, facts);
}

}  // namespace tx
