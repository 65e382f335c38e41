#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/Win32FolderSecurity.h"
#include "platform/win32/Handles.h"

namespace tx {

struct FolderSecurityDescriptor::Parts {
    // SIDs and the ACL are DWORD-aligned, as the security calls require.
    DWORD admins[SECURITY_MAX_SID_SIZE / sizeof(DWORD) + 1] = {};
    DWORD system[SECURITY_MAX_SID_SIZE / sizeof(DWORD) + 1] = {};
    DWORD users[SECURITY_MAX_SID_SIZE / sizeof(DWORD) + 1] = {};
    std::vector<DWORD> acl;
    SECURITY_DESCRIPTOR descriptor = {};
    bool valid = false;
};

namespace {

bool MakeSid(WELL_KNOWN_SID_TYPE type, DWORD* buffer, DWORD bytes) {
    return CreateWellKnownSid(type, nullptr, buffer, &bytes) != FALSE;
}

std::string SidString(PSID sid) {
    char* text = nullptr;
    if (sid == nullptr || !ConvertSidToStringSidA(sid, &text)) return std::string();
    LocalPtr<char> owned(text);
    return text;
}

// Wine (whose ntdll exports its version; Windows' never does) makes every
// file's owner up from the Unix owner: the running user, always.
bool OwnersMadeUp() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

class Win32HeldFolder : public IHeldFolder {
public:
    explicit Win32HeldFolder(UniqueHandle handle) : handle_(std::move(handle)) {}

private:
    UniqueHandle handle_;
};

}  // namespace

FolderSecurityDescriptor::FolderSecurityDescriptor() : parts_(std::make_unique<Parts>()) {
    Parts& p = *parts_;
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
    for (const Grant& g : grants) {
        if (!AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                                   g.mask, g.sid)) {
            return;
        }
    }

    if (!InitializeSecurityDescriptor(&p.descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorOwner(&p.descriptor, p.admins, FALSE) ||
        !SetSecurityDescriptorDacl(&p.descriptor, TRUE, acl, FALSE)) {
        return;
    }
    // Protected: NTFS would otherwise add what the folder above passes on
    // (below C:\ that is Modify for every signed-in user).
    if (!SetSecurityDescriptorControl(&p.descriptor, SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED,
                                      SE_DACL_PROTECTED)) {
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

SECURITY_ATTRIBUTES FolderSecurityDescriptor::Attributes() const {
    return SECURITY_ATTRIBUTES{sizeof(SECURITY_ATTRIBUTES), Descriptor(), FALSE};
}

MakeFolderResult Win32FolderSecurity::MakeProtectedFolder(const std::string& path) {
    const FolderSecurityDescriptor sd;
    // Never made without it: a folder made with the default descriptor
    // below C:\ could be changed by every user.
    if (!sd.Valid()) {
        return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES
                   ? MakeFolderResult::AlreadyThere
                   : MakeFolderResult::Failed;
    }
    SECURITY_ATTRIBUTES attributes = sd.Attributes();
    if (CreateDirectoryA(path.c_str(), &attributes)) return MakeFolderResult::Created;
    // ERROR_ALREADY_EXISTS for most; a drive root answers access denied.
    if (GetLastError() == ERROR_ALREADY_EXISTS ||
        GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return MakeFolderResult::AlreadyThere;
    }
    return MakeFolderResult::Failed;
}

DWORD OthersRightsOf(PACL dacl, const std::string& currentUserSid) {
    // A NULL DACL grants full access to everyone.
    if (dacl == nullptr) return kFullControl;
    ACL_SIZE_INFORMATION info{};
    if (!GetAclInformation(dacl, &info, sizeof info, AclSizeInformation)) return kFullControl;
    GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                            FILE_ALL_ACCESS};
    DWORD rights = 0;
    for (DWORD i = 0; i < info.AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) return kFullControl;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        // Passed on only: grants nothing on the folder itself.
        if (header->AceFlags & INHERIT_ONLY_ACE) continue;
        // A callback entry grants under a condition: counted as if it always did.
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE &&
            header->AceType != ACCESS_ALLOWED_CALLBACK_ACE_TYPE) {
            continue;
        }
        // Both kinds lay out header, mask, then the SID.
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if (IsTrustedSid(SidString(&allowed->SidStart), currentUserSid)) continue;
        DWORD mask = allowed->Mask;
        MapGenericMask(&mask, &mapping);
        rights |= mask;
    }
    return rights;
}

bool Win32FolderSecurity::ReadFacts(HANDLE h, FolderFacts* facts) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info)) return false;
    facts->directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts->reparsePoint = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;

    DWORD flags = 0;
    // When the volume cannot tell, the owner and list are checked all the same.
    if (GetVolumeInformationByHandleW(h, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) {
        facts->keepsAccessLists = (flags & FILE_PERSISTENT_ACLS) != 0;
    }

    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    // Unreadable: nothing is known of the list, so it may allow anything.
    facts->othersRights = kFullControl;
    if (GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                        &owner, nullptr, &dacl, nullptr, &sd) == ERROR_SUCCESS) {
        LocalPtr<void> owned(sd);
        facts->ownerSid = SidString(owner);
        facts->ownerKept = !OwnersMadeUp();
        facts->othersRights = OthersRightsOf(dacl, CurrentUserSid());
    }
    return true;
}

std::unique_ptr<IHeldFolder> Win32FolderSecurity::HoldFolder(const std::string& path,
                                                            FolderFacts* facts) {
    return Hold(path, kHoldSharing, facts);
}

std::unique_ptr<IHeldFolder> Win32FolderSecurity::HoldUserFolder(const std::string& path,
                                                                FolderFacts* facts) {
    return Hold(path, kUserHoldSharing, facts);
}

std::unique_ptr<IHeldFolder> Win32FolderSecurity::Hold(const std::string& path, DWORD sharing,
                                                      FolderFacts* facts) {
    *facts = FolderFacts{};
    // Backup semantics only to open a folder at all: no privilege is
    // enabled, so the usual access checks apply.
    UniqueHandle h(CreateFileA(path.c_str(), kHoldAccess, sharing, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (h.get() == INVALID_HANDLE_VALUE) return nullptr;
    if (!ReadFacts(h.get(), facts)) return nullptr;
    return std::make_unique<Win32HeldFolder>(std::move(h));
}

bool Win32FolderSecurity::InspectFolder(const std::string& path, FolderFacts* facts) {
    *facts = FolderFacts{};
    UniqueHandle h(CreateFileA(path.c_str(), kInspectAccess, kInspectSharing, nullptr,
                               OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (h.get() == INVALID_HANDLE_VALUE) return false;
    return ReadFacts(h.get(), facts);
}

std::string Win32FolderSecurity::CurrentUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::string();
    UniqueHandle owned(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size == 0) return std::string();
    std::vector<DWORD> buffer(size / sizeof(DWORD) + 1);
    if (!GetTokenInformation(token, TokenUser, buffer.data(),
                             static_cast<DWORD>(buffer.size() * sizeof(DWORD)), &size)) {
        return std::string();
    }
    return SidString(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid);
}

}  // namespace tx
