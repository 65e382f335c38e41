// Making and holding installation-folder levels over the in-memory file
// system, as Windows does it for an elevated administrator: a folder made
// with the protected descriptor is owned by Administrators, making one
// over any existing name fails as "already exists", a link is opened as
// itself (FILE_FLAG_OPEN_REPARSE_POINT) and shows the reparse-point
// attribute, and a volume without access lists keeps no owner. Every hold
// is recorded with how many copies had been made when it was taken and
// when it was let go. Access lists are modelled as entries with the ACE
// inheritance flags and folded the way Windows folds them (see
// OthersRights).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/FolderSecurity.h"
#include "platform/CodePage.h"
#include "tests/fakes/FakeFileSystem.h"

namespace tx {

class FakeFileSystem;

// One access-allowed entry: the SID string, its access mask (generic
// rights allowed), and the ACE flags OBJECT_INHERIT_ACE 0x1,
// CONTAINER_INHERIT_ACE 0x2, NO_PROPAGATE_INHERIT_ACE 0x4 and
// INHERIT_ONLY_ACE 0x8.
struct FakeAce {
    std::string sid;
    std::uint32_t mask;
    std::uint8_t flags;
};
constexpr std::uint8_t kAceObjectInherit = 0x1;
constexpr std::uint8_t kAceContainerInherit = 0x2;
constexpr std::uint8_t kAceNoPropagate = 0x4;
constexpr std::uint8_t kAceInheritOnly = 0x8;

constexpr const char* kSidAuthenticatedUsers = "S-1-5-11";
constexpr const char* kSidUsers = "S-1-5-32-545";
constexpr const char* kSidEveryone = "S-1-1-0";
constexpr const char* kSidCreatorOwner = "S-1-3-0";
constexpr std::uint32_t kGenericAll = 0x10000000;
constexpr std::uint32_t kGenericWrite = 0x40000000;
constexpr std::uint32_t kFileGenericRead = 0x120089;
constexpr std::uint32_t kFileGenericWrite = 0x120116;
constexpr std::uint32_t kFileGenericExecute = 0x1200A0;
constexpr std::uint32_t kModify = 0x1301BF;  // what Explorer shows as "Modify"

// The list Windows gives a system drive's root: Administrators and SYSTEM
// full control, Users read and execute, all passed on; Authenticated Users
// Modify passed on only (inherit-only) and "create folders / append data"
// on the root itself; CREATOR OWNER full control, inherit-only.
std::vector<FakeAce> WindowsDriveRootList();
// The protected list the installer makes its levels with.
std::vector<FakeAce> ProtectedFolderList();

class FakeFolderSecurity : public IFolderSecurity {
public:
    static constexpr std::size_t kStillHeld = static_cast<std::size_t>(-1);

    struct Hold {
        std::string path;
        std::size_t copiesBefore;     // CopyFile calls made before it was taken
        std::size_t copiesAtRelease;  // ... when it was let go; kStillHeld until then
        std::size_t writesBefore;     // WriteWholeFile calls, likewise
        std::size_t writesAtRelease;
        // Others may still open it for writing (HoldFolder); not so for
        // HoldUserFolder, shared for reading only.
        bool othersMayWrite = true;
    };

    explicit FakeFolderSecurity(FakeFileSystem& fileSystem, unsigned codePage = 936);

    // --- Setting the scene. -------------------------------------------------
    // Owner of a folder that exists (made by the scene, say).
    void SetOwner(const std::string& path, const std::string& sid);
    // Owner of folders that were not given one; Administrators unless set.
    void SetDefaultOwner(const std::string& sid) { defaultOwner_ = sid; }
    void SetCurrentUser(const std::string& sid) { currentUser_ = sid; }
    // As under Wine: every owner reported is made up (ownerKept false).
    void MakeOwnersUp() { ownersMadeUp_ = true; }
    // The drive ("E:") is FAT: no owners, no access lists.
    void WithoutAccessLists(const std::string& drive);
    // Opening this path fails (its access list shuts administrators out, or
    // someone holds it open without sharing); so does looking at it.
    void DenyOpen(const std::string& path);
    // The explicit entries of a folder's list; a protected list takes
    // nothing from the folder above. A folder given none has only what it
    // inherits (and a drive root given none has an empty list).
    void SetAccessList(const std::string& path, std::vector<FakeAce> aces,
                       bool protectedList = false);
    // No list at all (a NULL DACL): everyone may do everything.
    void SetNullAccessList(const std::string& path);
    // What others may do on path, as GetSecurityInfo's DACL shows it.
    std::uint32_t OthersRights(const std::string& path) const;
    // Looks taken with InspectFolder, in order.
    const std::vector<std::string>& Inspected() const { return inspected_; }

    // --- Looking at the result. -------------------------------------------
    // Folders made here, in order; each carries the protected descriptor.
    const std::vector<std::string>& Made() const { return made_; }
    bool MadeProtected(const std::string& path) const;
    const std::vector<Hold>& Holds() const { return state_->holds; }
    int HeldNow() const { return state_->live; }

    // --- IFolderSecurity. ---------------------------------------------------
    [[nodiscard]] MakeFolderResult MakeProtectedFolder(const std::string& path) override;
    [[nodiscard]] std::unique_ptr<IHeldFolder> HoldFolder(const std::string& path,
                                                          FolderFacts* facts) override;
    [[nodiscard]] std::unique_ptr<IHeldFolder> HoldUserFolder(const std::string& path,
                                                              FolderFacts* facts) override;
    [[nodiscard]] bool InspectFolder(const std::string& path, FolderFacts* facts) override;
    [[nodiscard]] std::string CurrentUserSid() override { return currentUser_; }

private:
    struct State {
        FakeFileSystem* fs;
        std::vector<Hold> holds;
        int live = 0;
    };
    class Held;

    struct AccessList {
        std::vector<FakeAce> aces;
        bool isProtected = false;
        bool isNull = false;
    };

    std::string Key(const std::string& path) const;
    std::string ParentKey(const std::string& key) const;
    std::string OwnerOf(const std::string& key) const;
    bool KeepsAccessLists(const std::string& path) const;
    bool ReadFacts(const std::string& path, FolderFacts* facts) const;
    std::unique_ptr<IHeldFolder> TakeHold(const std::string& path, bool othersMayWrite,
                                      FolderFacts* facts);
    std::vector<FakeAce> EffectiveAces(const std::string& key) const;

    CodePage cp_;
    FakeFileSystem& fs_;
    std::shared_ptr<State> state_;
    std::map<std::string, std::string> owners_;  // by Key
    std::vector<std::string> withoutAcls_;      // lower-cased drives
    std::vector<std::string> denied_;           // by Key
    std::vector<std::string> made_;
    std::map<std::string, AccessList> lists_;  // by Key
    std::vector<std::string> inspected_;
    std::string defaultOwner_ = kSidAdministrators;
    bool ownersMadeUp_ = false;
    std::string currentUser_ = "S-1-5-21-1004336348-1177238915-682003330-1001";
};

}  // namespace tx
