// IFolderSecurity over the Win32 security calls, and the security
// descriptors it applies, built apart so they can be checked on their own.
#pragma once

#include <windows.h>

#include <memory>

#include "platform/FolderSecurity.h"

namespace tx {

// Which object a descriptor is for.
enum class FolderAclKind {
    // The installation folder: its own access list, protected from what the
    // folder above passes on, inherited by subfolders and files (OI|CI).
    InstallFolder,
    // A folder below it: the same entries as inherited ones (OI|CI|ID).
    InheritedFolder,
    // A file below it: the same entries as inherited ones (ID).
    InheritedFile,
};

// Access masks of the entries.
constexpr DWORD kFullControl = FILE_ALL_ACCESS;                            // 0x1F01FF
constexpr DWORD kReadAndExecute = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;  // 0x1200A9

// An absolute security descriptor: owner Administrators (S-1-5-32-544), no
// group, and a DACL that allows Administrators and SYSTEM (S-1-5-18) full
// control and Users (S-1-5-32-545) read and execute, nothing else.
class FolderSecurityDescriptor {
public:
    explicit FolderSecurityDescriptor(FolderAclKind kind);
    ~FolderSecurityDescriptor();
    FolderSecurityDescriptor(FolderSecurityDescriptor&&) noexcept;
    FolderSecurityDescriptor& operator=(FolderSecurityDescriptor&&) noexcept;
    FolderSecurityDescriptor(const FolderSecurityDescriptor&) = delete;
    FolderSecurityDescriptor& operator=(const FolderSecurityDescriptor&) = delete;

    // False when the system could not build it; then nothing may be applied.
    bool Valid() const;
    PSECURITY_DESCRIPTOR Descriptor() const;
    PSID Owner() const;
    PACL Dacl() const;
    // What SetSecurityInfo is to change with it: owner and DACL, the DACL
    // protected (installation folder) or open to inheritance (below it).
    SECURITY_INFORMATION Information() const;

private:
    struct Parts;
    // The descriptor points into these: they never move once built.
    std::unique_ptr<Parts> parts_;
};

class Win32FolderSecurity : public IFolderSecurity {
public:
    bool ProtectInstallFolder(const std::string& folder) override;
};

}  // namespace tx
