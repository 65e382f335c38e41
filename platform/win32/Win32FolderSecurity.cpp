#include <windows.h>
#include <aclapi.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/Win32FolderSecurity.h"
#include "platform/win32/Handles.h"

namespace tx {

namespace {

// Backup semantics with the restore and take-ownership privileges enabled:
// an administrator may then change owner and access list of a folder made
// by someone else, whatever its access list says. Put back as it was when
// done, so nothing else of the program runs with them.
class ScopedOwnershipPrivileges {
public:
    ScopedOwnershipPrivileges() {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
            return;
        token_.reset(token);
        Privileges wanted{};
        wanted.count = 2;
        const char* const names[] = {SE_RESTORE_NAME, SE_TAKE_OWNERSHIP_NAME};
        for (DWORD i = 0; i < 2; ++i) {
            if (!LookupPrivilegeValueA(nullptr, names[i], &wanted.privileges[i].Luid)) return;
            wanted.privileges[i].Attributes = SE_PRIVILEGE_ENABLED;
        }
        DWORD size = sizeof previous_;
        // Succeeds also when the token lacks one; then only the others change.
        adjusted_ = AdjustTokenPrivileges(token_.get(), FALSE, wanted.Get(), sizeof previous_,
                                          previous_.Get(), &size) != FALSE;
    }
    ~ScopedOwnershipPrivileges() {
        if (adjusted_) AdjustTokenPrivileges(token_.get(), FALSE, previous_.Get(), 0, nullptr, nullptr);
    }
    ScopedOwnershipPrivileges(const ScopedOwnershipPrivileges&) = delete;
    ScopedOwnershipPrivileges& operator=(const ScopedOwnershipPrivileges&) = delete;

private:
    // TOKEN_PRIVILEGES with room for two.
    struct Privileges {
        DWORD count;
        LUID_AND_ATTRIBUTES privileges[2];
        TOKEN_PRIVILEGES* Get() { return reinterpret_cast<TOKEN_PRIVILEGES*>(this); }
    };

    UniqueHandle token_;
    Privileges previous_{};
    bool adjusted_ = false;
};

enum class Entry { Folder, File, Link, Unusable };

// Opens the entry itself, never what a link or junction points to, with the
// rights to change its owner and access list. Files in use by AutoCAD can
// still be opened: no data access is asked for.
UniqueHandle OpenEntry(const std::string& path, Entry* what) {
    *what = Entry::Unusable;
    UniqueHandle h(CreateFileA(path.c_str(), READ_CONTROL | WRITE_DAC | WRITE_OWNER,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (h.get() == INVALID_HANDLE_VALUE) return nullptr;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h.get(), &info)) return nullptr;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        *what = Entry::Link;
    } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        *what = Entry::Folder;
    } else {
        *what = Entry::File;
    }
    return h;
}

bool Apply(HANDLE h, const FolderSecurityDescriptor& sd) {
    return sd.Valid() && SetSecurityInfo(h, SE_FILE_OBJECT, sd.Information(), sd.Owner(), nullptr,
                                         sd.Dacl(), nullptr) == ERROR_SUCCESS;
}

// Everything below folder, top down: each entry is changed before its own
// content is listed, so its former owner can no longer add to it meanwhile.
// A link is left as it is and makes the result false.
bool ResetBelow(const std::string& folder, const FolderSecurityDescriptor& forFolders,
                const FolderSecurityDescriptor& forFiles) {
    WIN32_FIND_DATAA data{};
    UniqueFind find(FindFirstFileA((folder + "\\*").c_str(), &data));
    if (find.get() == INVALID_HANDLE_VALUE) return false;  // even an empty folder lists "."
    bool ok = true;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "\\" + name;
        Entry what;
        UniqueHandle h = OpenEntry(path, &what);
        if (what == Entry::Folder) {
            ok = Apply(h.get(), forFolders) && ok;
            h.reset();
            ok = ResetBelow(path, forFolders, forFiles) && ok;
        } else if (what == Entry::File) {
            ok = Apply(h.get(), forFiles) && ok;
        } else {
            ok = false;
        }
    } while (FindNextFileA(find.get(), &data));
    return ok && GetLastError() == ERROR_NO_MORE_FILES;
}

}  // namespace

struct FolderSecurityDescriptor::Parts {
    // SIDs and the ACL are DWORD-aligned, as the security calls require.
    DWORD admins[SECURITY_MAX_SID_SIZE / sizeof(DWORD) + 1] = {};
    DWORD system[SECURITY_MAX_SID_SIZE / sizeof(DWORD) + 1] = {};
    DWORD users[SECURITY_MAX_SID_SIZE / sizeof(DWORD) + 1] = {};
    std::vector<DWORD> acl;
    SECURITY_DESCRIPTOR descriptor = {};
    FolderAclKind kind = FolderAclKind::InstallFolder;
    bool valid = false;
};

namespace {

bool MakeSid(WELL_KNOWN_SID_TYPE type, DWORD* buffer, DWORD bytes) {
    return CreateWellKnownSid(type, nullptr, buffer, &bytes) != FALSE;
}

}  // namespace

FolderSecurityDescriptor::FolderSecurityDescriptor(FolderAclKind kind)
    : parts_(std::make_unique<Parts>()) {
    Parts& p = *parts_;
    p.kind = kind;
    const DWORD sidBytes = sizeof p.admins;
    if (!MakeSid(WinBuiltinAdministratorsSid, p.admins, sidBytes) ||
        !MakeSid(WinLocalSystemSid, p.system, sidBytes) ||
        !MakeSid(WinBuiltinUsersSid, p.users, sidBytes)) {
        return;
    }

    struct Grant {
        PSID sid;
        DWORD mask;
    };
    const Grant grants[] = {
        {p.admins, kFullControl},
        {p.system, kFullControl},
        {p.users, kReadAndExecute},
    };
    DWORD aclBytes = sizeof(ACL);
    for (const Grant& g : grants)
        aclBytes += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(g.sid);
    p.acl.assign((aclBytes + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
    PACL acl = reinterpret_cast<PACL>(p.acl.data());
    if (!InitializeAcl(acl, aclBytes, ACL_REVISION)) return;

    DWORD aceFlags = 0;
    switch (kind) {
        case FolderAclKind::InstallFolder:
            aceFlags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
            break;
        case FolderAclKind::InheritedFolder:
            aceFlags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | INHERITED_ACE;
            break;
        case FolderAclKind::InheritedFile:
            aceFlags = INHERITED_ACE;
            break;
    }
    for (const Grant& g : grants) {
        if (!AddAccessAllowedAceEx(acl, ACL_REVISION, aceFlags, g.mask, g.sid)) return;
    }

    if (!InitializeSecurityDescriptor(&p.descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorOwner(&p.descriptor, p.admins, FALSE) ||
        !SetSecurityDescriptorDacl(&p.descriptor, TRUE, acl, FALSE)) {
        return;
    }
    const SECURITY_DESCRIPTOR_CONTROL control =
        kind == FolderAclKind::InstallFolder ? SE_DACL_PROTECTED : SE_DACL_AUTO_INHERITED;
    if (!SetSecurityDescriptorControl(&p.descriptor, SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED,
                                      control)) {
        return;
    }
    p.valid = IsValidSecurityDescriptor(&p.descriptor) != FALSE;
}

FolderSecurityDescriptor::~FolderSecurityDescriptor() = default;
FolderSecurityDescriptor::FolderSecurityDescriptor(FolderSecurityDescriptor&&) noexcept = default;
FolderSecurityDescriptor& FolderSecurityDescriptor::operator=(FolderSecurityDescriptor&&) noexcept =
    default;

bool FolderSecurityDescriptor::Valid() const { return parts_ && parts_->valid; }

PSECURITY_DESCRIPTOR FolderSecurityDescriptor::Descriptor() const {
    return Valid() ? &parts_->descriptor : nullptr;
}

PSID FolderSecurityDescriptor::Owner() const { return Valid() ? parts_->admins : nullptr; }

PACL FolderSecurityDescriptor::Dacl() const {
    return Valid() ? reinterpret_cast<PACL>(parts_->acl.data()) : nullptr;
}

SECURITY_INFORMATION FolderSecurityDescriptor::Information() const {
    if (!Valid()) return 0;
    const SECURITY_INFORMATION inheritance = parts_->kind == FolderAclKind::InstallFolder
                                                 ? PROTECTED_DACL_SECURITY_INFORMATION
                                                 : UNPROTECTED_DACL_SECURITY_INFORMATION;
    return OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | inheritance;
}

bool Win32FolderSecurity::ProtectInstallFolder(const std::string& folder) {
    const FolderSecurityDescriptor own(FolderAclKind::InstallFolder);
    const FolderSecurityDescriptor forFolders(FolderAclKind::InheritedFolder);
    const FolderSecurityDescriptor forFiles(FolderAclKind::InheritedFile);

    const ScopedOwnershipPrivileges privileges;
    Entry what;
    UniqueHandle h = OpenEntry(folder, &what);
    // A link here could be aimed at any folder of the machine: never follow it.
    if (what != Entry::Folder || !Apply(h.get(), own)) return false;
    h.reset();
    return ResetBelow(folder, forFolders, forFiles);
}

}  // namespace tx
