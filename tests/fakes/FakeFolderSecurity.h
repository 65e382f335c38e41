// Making and holding installation-folder levels over the in-memory file
// system, as Windows does it for an elevated administrator: a folder made
// with the protected descriptor is owned by Administrators, making one
// over any existing name fails as "already exists", a link is opened as
// itself (FILE_FLAG_OPEN_REPARSE_POINT) and shows the reparse-point
// attribute, and a volume without access lists keeps no owner. Every hold
// is recorded with how many copies had been made when it was taken and
// when it was let go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/FolderSecurity.h"
#include "platform/MbText.h"

namespace tx {

class FakeFileSystem;

// FILE_ATTRIBUTE_REPARSE_POINT: give it to a folder or file of the fake
// file system to make it a junction or symbolic link.
constexpr std::uint32_t kAttrReparsePoint = 0x400;

class FakeFolderSecurity : public IFolderSecurity {
public:
    static constexpr std::size_t kStillHeld = static_cast<std::size_t>(-1);

    struct Hold {
        std::string path;
        std::size_t copiesBefore;     // CopyFile calls made before it was taken
        std::size_t copiesAtRelease;  // ... when it was let go; kStillHeld until then
    };

    explicit FakeFolderSecurity(FakeFileSystem& fileSystem, unsigned codePage = 936);

    // --- Setting the scene. -------------------------------------------------
    // Owner of a folder that exists (made by the scene, say).
    void SetOwner(const std::string& path, const std::string& sid);
    // Owner of folders that were not given one; Administrators unless set.
    void SetDefaultOwner(const std::string& sid) { defaultOwner_ = sid; }
    void SetCurrentUser(const std::string& sid) { currentUser_ = sid; }
    // The drive ("E:") is FAT: no owners, no access lists.
    void WithoutAccessLists(const std::string& drive);
    // Opening this path fails (its access list shuts administrators out, or
    // someone holds it open without sharing).
    void DenyOpen(const std::string& path);

    // --- Looking at the result. -------------------------------------------
    // Folders made here, in order; each carries the protected descriptor.
    const std::vector<std::string>& Made() const { return made_; }
    bool MadeProtected(const std::string& path) const;
    const std::vector<Hold>& Holds() const { return state_->holds; }
    int HeldNow() const { return state_->live; }

    // --- IFolderSecurity. ---------------------------------------------------
    MakeFolderResult MakeProtectedFolder(const std::string& path) override;
    std::unique_ptr<IHeldFolder> HoldFolder(const std::string& path, FolderFacts* facts) override;
    std::string CurrentUserSid() override { return currentUser_; }

private:
    struct State {
        const FakeFileSystem* fs;
        std::vector<Hold> holds;
        int live = 0;
    };
    class Held;

    std::string Key(const std::string& path) const;
    bool KeepsAccessLists(const std::string& path) const;

    CodePage cp_;
    FakeFileSystem& fs_;
    std::shared_ptr<State> state_;
    std::map<std::string, std::string> owners_;  // by Key
    std::vector<std::string> withoutAcls_;      // lower-cased drives
    std::vector<std::string> denied_;           // by Key
    std::vector<std::string> made_;
    std::string defaultOwner_ = kSidAdministrators;
    std::string currentUser_ = "S-1-5-21-1004336348-1177238915-682003330-1001";
};

}  // namespace tx
