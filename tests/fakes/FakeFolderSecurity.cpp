#include "tests/fakes/FakeFolderSecurity.h"

#include <algorithm>

#include "tests/fakes/FakeFileSystem.h"

namespace tx {

class FakeFolderSecurity::Held : public IHeldFolder {
public:
    Held(std::shared_ptr<State> state, std::size_t index)
        : state_(std::move(state)), index_(index) {
        ++state_->live;
    }
    ~Held() override {
        --state_->live;
        state_->holds[index_].copiesAtRelease = state_->fs->CopyCalls().size();
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
    if (KeepsAccessLists(path)) owners_[Key(path)] = kSidAdministrators;
    return MakeFolderResult::Created;
}

std::unique_ptr<IHeldFolder> FakeFolderSecurity::HoldFolder(const std::string& path,
                                                            FolderFacts* facts) {
    *facts = FolderFacts{};
    if (!fs_.Exists(path)) return nullptr;  // ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND
    const std::string key = Key(path);
    if (std::find(denied_.begin(), denied_.end(), key) != denied_.end()) return nullptr;

    // Opened as itself: a link shows its own attributes, not its target's.
    const std::uint32_t attributes = fs_.Attributes(path);
    facts->directory = (attributes & kAttrDirectory) != 0;
    facts->reparsePoint = (attributes & kAttrReparsePoint) != 0;
    facts->keepsAccessLists = KeepsAccessLists(path);
    if (facts->keepsAccessLists) {
        auto it = owners_.find(key);
        facts->ownerSid = it != owners_.end() ? it->second : defaultOwner_;
    }
    state_->holds.push_back({path, fs_.CopyCalls().size(), kStillHeld});
    return std::make_unique<Held>(state_, state_->holds.size() - 1);
}

}  // namespace tx
