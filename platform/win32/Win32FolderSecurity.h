// IFolderSecurity over the Win32 file and security calls, and the security
// descriptor new levels are made with, built apart so it can be checked on
// its own. No privilege is enabled anywhere here: making a folder with
// Administrators as owner is allowed to an elevated administrator, and
// everything else only opens and reads.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "platform/FolderSecurity.h"

namespace tx {

// Access masks of the entries.
constexpr DWORD kFullControl = FILE_ALL_ACCESS;                            // 0x1F01FF
constexpr DWORD kReadAndExecute = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;  // 0x1200A9

// An absolute security descriptor: owner Administrators (S-1-5-32-544), no
// group, and a protected DACL that allows Administrators and SYSTEM
// (S-1-5-18) full control and Users (S-1-5-32-545) read and execute, each
// entry passed on to subfolders and files (OI|CI), nothing else.
class FolderSecurityDescriptor {
public:
    FolderSecurityDescriptor();
    ~FolderSecurityDescriptor();
    FolderSecurityDescriptor(FolderSecurityDescriptor&&) noexcept;
    FolderSecurityDescriptor& operator=(FolderSecurityDescriptor&&) noexcept;
    FolderSecurityDescriptor(const FolderSecurityDescriptor&) = delete;
    FolderSecurityDescriptor& operator=(const FolderSecurityDescriptor&) = delete;

    // False when the system could not build it; then nothing may be made with it.
    bool Valid() const;
    PSECURITY_DESCRIPTOR Descriptor() const;
    PSID Owner() const;
    PACL Dacl() const;
    // For CreateDirectoryA: this descriptor, the handle not inherited.
    SECURITY_ATTRIBUTES Attributes() const;

private:
    struct Parts;
    // The descriptor points into these: they never move once built.
    std::unique_ptr<Parts> parts_;
};

// What HoldFolder asks for: listing access is data access, and Windows
// records a handle's sharing only for handles with data or delete access,
// so a handle without it would not keep others from deleting or renaming
// the folder.
constexpr DWORD kHoldAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL;
constexpr DWORD kHoldSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;  // never FILE_SHARE_DELETE
// HoldUserFolder's: nor FILE_SHARE_WRITE, so no one can open the level for
// writing, which setting a reparse point on it takes.
constexpr DWORD kUserHoldSharing = FILE_SHARE_READ;

// What InspectFolder asks for: enough to read the descriptor and the
// attributes, no data access, and every kind of sharing, so that looking
// at a folder stops no one else from using it.
constexpr DWORD kInspectAccess = READ_CONTROL | FILE_READ_ATTRIBUTES;
constexpr DWORD kInspectSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The union of what an access list's allow entries grant on the object
// itself to SIDs other than Administrators, SYSTEM, TrustedInstaller and
// currentUserSid, generic rights mapped to file rights. A null list grants
// everything to everyone.
DWORD OthersRightsOf(PACL dacl, const std::string& currentUserSid);

class Win32FolderSecurity : public IFolderSecurity {
public:
    [[nodiscard]] MakeFolderResult MakeProtectedFolder(const std::string& path) override;
    [[nodiscard]] std::unique_ptr<IHeldFolder> HoldFolder(const std::string& path,
                                                          FolderFacts* facts) override;
    [[nodiscard]] std::unique_ptr<IHeldFolder> HoldUserFolder(const std::string& path,
                                                              FolderFacts* facts) override;
    [[nodiscard]] bool InspectFolder(const std::string& path, FolderFacts* facts) override;
    [[nodiscard]] std::string CurrentUserSid() override;

private:
    bool ReadFacts(HANDLE h, FolderFacts* facts);
    std::unique_ptr<IHeldFolder> Hold(const std::string& path, DWORD sharing, FolderFacts* facts);
};

}  // namespace tx
