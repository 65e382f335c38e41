// The installation folder's security descriptor, checked with the Win32
// security calls, and applied to real folders (under Wine). The literals
// below are compiled to code page 936 bytes.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/win32/Handles.h"
#include "platform/win32/Win32FolderSecurity.h"

namespace tx {
namespace {


std::vector<BYTE> WellKnownSid(WELL_KNOWN_SID_TYPE type) {
    std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(sid.size());
    EXPECT_TRUE(CreateWellKnownSid(type, nullptr, sid.data(), &size)) << type;
    sid.resize(size);
    return sid;
}

struct AceView {
    BYTE type;
    BYTE flags;
    ACCESS_MASK mask;
    PSID sid;
};

std::vector<AceView> AcesOf(PACL acl) {
    std::vector<AceView> out;
    ACL_SIZE_INFORMATION info{};
    if (acl == nullptr ||
        !GetAclInformation(acl, &info, sizeof info, AclSizeInformation)) {
        return out;
    }
    for (DWORD i = 0; i < info.AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(acl, i, &ace)) break;
        const auto* header = static_cast<ACE_HEADER*>(ace);
        AceView v{header->AceType, header->AceFlags, 0, nullptr};
        if (header->AceType == ACCESS_ALLOWED_ACE_TYPE) {
            auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
            v.mask = allowed->Mask;
            v.sid = &allowed->SidStart;
        }
        out.push_back(v);
    }
    return out;
}

std::string Sddl(PSECURITY_DESCRIPTOR sd, SECURITY_INFORMATION what) {
    char* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1, what, &text,
                                                              nullptr)) {
        return "(no SDDL, error " + std::to_string(GetLastError()) + ")";
    }
    LocalPtr<char> owned(text);
    return text;
}

// The three entries, in order, with the flags given, and nothing else.
void ExpectTheThreeEntries(const std::vector<AceView>& aces, BYTE flags) {
    const std::vector<BYTE> admins = WellKnownSid(WinBuiltinAdministratorsSid);
    const std::vector<BYTE> system = WellKnownSid(WinLocalSystemSid);
    const std::vector<BYTE> users = WellKnownSid(WinBuiltinUsersSid);
    ASSERT_EQ(3u, aces.size());
    const struct {
        const std::vector<BYTE>& sid;
        ACCESS_MASK mask;
    } want[] = {{admins, 0x1F01FF}, {system, 0x1F01FF}, {users, 0x1200A9}};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, aces[i].type);
        EXPECT_EQ(flags, aces[i].flags);
        EXPECT_EQ(want[i].mask, aces[i].mask);
        ASSERT_NE(nullptr, aces[i].sid);
        EXPECT_TRUE(EqualSid(aces[i].sid, const_cast<BYTE*>(want[i].sid.data())));
    }
}

TEST(FolderSecurityDescriptor, InstallFolderOwnedByAdministratorsWithProtectedList) {
    const FolderSecurityDescriptor sd(FolderAclKind::InstallFolder);
    ASSERT_TRUE(sd.Valid());
    EXPECT_TRUE(IsValidSecurityDescriptor(sd.Descriptor()));

    PSID owner = nullptr;
    BOOL defaulted = TRUE;
    ASSERT_TRUE(GetSecurityDescriptorOwner(sd.Descriptor(), &owner, &defaulted));
    std::vector<BYTE> admins = WellKnownSid(WinBuiltinAdministratorsSid);
    ASSERT_NE(nullptr, owner);
    EXPECT_TRUE(EqualSid(owner, admins.data()));
    EXPECT_FALSE(defaulted);

    PSID group = reinterpret_cast<PSID>(1);
    ASSERT_TRUE(GetSecurityDescriptorGroup(sd.Descriptor(), &group, &defaulted));
    EXPECT_EQ(nullptr, group);

    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(sd.Descriptor(), &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PRESENT);
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "nothing inherited from the folder above";
    EXPECT_FALSE(control & SE_DACL_DEFAULTED);
    EXPECT_FALSE(control & SE_SACL_PRESENT);

    BOOL present = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(sd.Descriptor(), &present, &dacl, &defaulted));
    ASSERT_TRUE(present);
    EXPECT_EQ(sd.Dacl(), dacl);
    ExpectTheThreeEntries(AcesOf(dacl), OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);

    EXPECT_EQ(static_cast<SECURITY_INFORMATION>(OWNER_SECURITY_INFORMATION |
                                                DACL_SECURITY_INFORMATION |
                                                PROTECTED_DACL_SECURITY_INFORMATION),
              sd.Information());
    std::cout << "install folder: " << Sddl(sd.Descriptor(), OWNER_SECURITY_INFORMATION |
                                                                 DACL_SECURITY_INFORMATION)
              << "\n";
}

TEST(FolderSecurityDescriptor, SameAsTheDescriptorSpelledInSddl) {
    // The same descriptor written out by hand and parsed by the system.
    PSECURITY_DESCRIPTOR parsed = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
        "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)", SDDL_REVISION_1,
        &parsed, nullptr));
    LocalPtr<void> owned(parsed);
    BOOL present = FALSE, defaulted = FALSE;
    PACL want = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(parsed, &present, &want, &defaulted));

    const FolderSecurityDescriptor sd(FolderAclKind::InstallFolder);
    const std::vector<AceView> got = AcesOf(sd.Dacl());
    const std::vector<AceView> expected = AcesOf(want);
    ASSERT_EQ(expected.size(), got.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(expected[i].type, got[i].type) << i;
        EXPECT_EQ(expected[i].flags, got[i].flags) << i;
        EXPECT_EQ(expected[i].mask, got[i].mask) << i;
        EXPECT_TRUE(EqualSid(expected[i].sid, got[i].sid)) << i;
    }
}

TEST(FolderSecurityDescriptor, EntriesBelowCarryTheSameGrantsAsInherited) {
    const FolderSecurityDescriptor folder(FolderAclKind::InheritedFolder);
    const FolderSecurityDescriptor file(FolderAclKind::InheritedFile);
    ASSERT_TRUE(folder.Valid());
    ASSERT_TRUE(file.Valid());
    ExpectTheThreeEntries(AcesOf(folder.Dacl()),
                          OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | INHERITED_ACE);
    ExpectTheThreeEntries(AcesOf(file.Dacl()), INHERITED_ACE);
    for (const FolderSecurityDescriptor* sd : {&folder, &file}) {
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        ASSERT_TRUE(GetSecurityDescriptorControl(sd->Descriptor(), &control, &revision));
        EXPECT_FALSE(control & SE_DACL_PROTECTED) << "open to what the folder passes on";
        EXPECT_EQ(static_cast<SECURITY_INFORMATION>(OWNER_SECURITY_INFORMATION |
                                                    DACL_SECURITY_INFORMATION |
                                                    UNPROTECTED_DACL_SECURITY_INFORMATION),
                  sd->Information());
    }
}

// --- On real folders -------------------------------------------------------

std::string TempRoot() {
    char buffer[MAX_PATH];
    const DWORD n = GetTempPathA(MAX_PATH, buffer);
    std::string dir(buffer, n);
    if (!dir.empty() && dir.back() == '\\') dir.pop_back();
    return dir + "\\tx-security-" + std::to_string(GetCurrentProcessId());
}

void RemoveTree(const std::string& dir) {
    WIN32_FIND_DATAA data{};
    {
        UniqueFind find(FindFirstFileA((dir + "\\*").c_str(), &data));
        if (find.get() != INVALID_HANDLE_VALUE) {
            do {
                const std::string name = data.cFileName;
                if (name == "." || name == "..") continue;
                const std::string path = dir + "\\" + name;
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    RemoveTree(path);
                } else {
                    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileA(path.c_str());
                }
            } while (FindNextFileA(find.get(), &data));
        }
    }
    RemoveDirectoryA(dir.c_str());
}

// Rights that let a holder change a file or folder, or what is in it.
constexpr ACCESS_MASK kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                     FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE |
                                     WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// Whether an allow entry for Everyone, Authenticated Users or Users grants
// any of those rights.
bool OrdinaryUsersMayWrite(const std::vector<AceView>& aces) {
    const std::vector<BYTE> everyone = WellKnownSid(WinWorldSid);
    const std::vector<BYTE> authenticated = WellKnownSid(WinAuthenticatedUserSid);
    const std::vector<BYTE> users = WellKnownSid(WinBuiltinUsersSid);
    for (const AceView& ace : aces) {
        if (ace.type != ACCESS_ALLOWED_ACE_TYPE || (ace.mask & kWriteRights) == 0) continue;
        for (const std::vector<BYTE>* sid : {&everyone, &authenticated, &users}) {
            if (EqualSid(ace.sid, const_cast<BYTE*>(sid->data()))) return true;
        }
    }
    return false;
}

struct ReadBack {
    bool read = false;
    bool ownerIsAdministrators = false;
    bool protectedList = false;
    std::vector<AceView> aces;
    std::string sddl;
    LocalPtr<void> keep;  // the descriptor the views point into
};

ReadBack Read(const std::string& path) {
    ReadBack r;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    const DWORD rc = GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT,
                                           OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                           &owner, nullptr, &dacl, nullptr, &sd);
    if (rc != ERROR_SUCCESS) {
        r.sddl = "(not readable, error " + std::to_string(rc) + ")";
        return r;
    }
    r.keep.reset(sd);
    r.read = true;
    std::vector<BYTE> admins = WellKnownSid(WinBuiltinAdministratorsSid);
    r.ownerIsAdministrators = owner != nullptr && EqualSid(owner, admins.data());
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    r.protectedList = GetSecurityDescriptorControl(sd, &control, &revision) &&
                      (control & SE_DACL_PROTECTED) != 0;
    r.aces = AcesOf(dacl);
    r.sddl = Sddl(sd, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION);
    return r;
}

class ProtectFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveTree(root);
        ASSERT_TRUE(CreateDirectoryA(root.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(chosen.c_str(), nullptr));
    }
    void TearDown() override { RemoveTree(root); }

    // What the system reads back, for the report: Wine keeps no descriptor
    // and shows one made from the Unix owner and mode bits instead.
    void Report(const char* what, const ReadBack& r) {
        std::cout << what << ": " << r.sddl << "\n";
        RecordProperty(what, r.sddl);
    }

    // What holds wherever it is read: no ordinary user may write; and where
    // the system keeps descriptors (the owner reads back as Administrators)
    // exactly the entries set.
    void ExpectLockedDown(const std::string& path, BYTE flags, bool protectedList) {
        SCOPED_TRACE(path);
        const ReadBack r = Read(path);
        ASSERT_TRUE(r.read) << r.sddl;
        EXPECT_FALSE(OrdinaryUsersMayWrite(r.aces)) << r.sddl;
        if (r.ownerIsAdministrators) {
            ExpectTheThreeEntries(r.aces, flags);
            EXPECT_EQ(protectedList, r.protectedList);
        }
    }

    const std::string root = TempRoot();
    const std::string chosen = root + "\\Tarnix";
    const std::string folder = chosen + "\\Tarnix批打印软件";
    Win32FolderSecurity security;
};

TEST_F(ProtectFolderTest, NewFolderIsProtectedAndTheChosenFolderKeepsItsDescriptor) {
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const std::string parentBefore = Read(chosen).sddl;
    Report("new folder before", Read(folder));

    EXPECT_TRUE(security.ProtectInstallFolder(folder));

    Report("new folder after", Read(folder));
    ExpectLockedDown(folder, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, true);
    EXPECT_EQ(parentBefore, Read(chosen).sddl) << "the chosen folder is never touched";
}

TEST_F(ProtectFolderTest, FolderOthersMayChangeIsTakenOver) {
    // Made first by someone else, with a list that lets everyone change it.
    PSECURITY_DESCRIPTOR open = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
        "D:P(A;OICI;FA;;;WD)", SDDL_REVISION_1, &open, nullptr));
    LocalPtr<void> owned(open);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, open, FALSE};
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), &attributes));
    SetFileSecurityA(folder.c_str(), DACL_SECURITY_INFORMATION, open);
    const std::string parentBefore = Read(chosen).sddl;
    const ReadBack before = Read(folder);
    Report("open folder before", before);
    if (!OrdinaryUsersMayWrite(before.aces)) {
        GTEST_SKIP() << "this system keeps no access list set on a folder (Wine as root), so "
                        "a folder everyone may change cannot be made: "
                     << before.sddl;
    }

    EXPECT_TRUE(security.ProtectInstallFolder(folder));

    Report("open folder after", Read(folder));
    ExpectLockedDown(folder, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, true);
    EXPECT_EQ(parentBefore, Read(chosen).sddl) << "the chosen folder is never touched";
}

TEST_F(ProtectFolderTest, ExistingContentIsTakenOver) {
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((folder + "\\sub").c_str(), nullptr));
    for (const std::string& file : {folder + "\\TX_BatchPlot2019.ARX", folder + "\\sub\\a.dll"}) {
        HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h) << file;
        CloseHandle(h);
    }
    // Someone else's list on the module: everyone may change it.
    PSECURITY_DESCRIPTOR open = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;FA;;;WD)",
                                                                     SDDL_REVISION_1, &open, nullptr));
    LocalPtr<void> owned(open);
    const std::string module = folder + "\\TX_BatchPlot2019.ARX";
    ASSERT_TRUE(SetFileSecurityA(module.c_str(), DACL_SECURITY_INFORMATION, open));
    const ReadBack before = Read(module);
    Report("module before", before);
    ASSERT_TRUE(OrdinaryUsersMayWrite(before.aces)) << "the scene: everyone may write";

    EXPECT_TRUE(security.ProtectInstallFolder(folder));

    Report("module after", Read(module));
    Report("subfolder after", Read(folder + "\\sub"));
    Report("file in subfolder after", Read(folder + "\\sub\\a.dll"));
    ExpectLockedDown(module, INHERITED_ACE, false);
    ExpectLockedDown(folder + "\\sub", OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | INHERITED_ACE,
                     false);
    ExpectLockedDown(folder + "\\sub\\a.dll", INHERITED_ACE, false);
}

// The process token's privileges with whether each is enabled.
std::vector<std::pair<DWORD, DWORD>> EnabledPrivileges() {
    HANDLE token = nullptr;
    EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    std::unique_ptr<void, decltype(&CloseHandle)> owned(token, &CloseHandle);
    DWORD size = 0;
    GetTokenInformation(token, ::TokenPrivileges, nullptr, 0, &size);
    std::vector<DWORD> buffer(size / sizeof(DWORD) + 1);
    EXPECT_TRUE(GetTokenInformation(token, ::TokenPrivileges, buffer.data(), size, &size));
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    std::vector<std::pair<DWORD, DWORD>> out;
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i)
        out.emplace_back(privileges->Privileges[i].Luid.LowPart,
                         privileges->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED);
    return out;
}

TEST_F(ProtectFolderTest, LeavesTheProcessPrivilegesAsTheyWere) {
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const auto before = EnabledPrivileges();
    ASSERT_FALSE(before.empty());
    EXPECT_TRUE(security.ProtectInstallFolder(folder));
    EXPECT_EQ(before, EnabledPrivileges());
}

TEST_F(ProtectFolderTest, RefusesWhatIsNotAFolder) {
    EXPECT_FALSE(security.ProtectInstallFolder(folder)) << "missing";
    HANDLE h = CreateFileA(folder.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
    EXPECT_FALSE(security.ProtectInstallFolder(folder)) << "a file";
    EXPECT_FALSE(security.ProtectInstallFolder("")) << "empty";
}

TEST_F(ProtectFolderTest, NeverFollowsALink) {
    const std::string elsewhere = root + "\\elsewhere";
    ASSERT_TRUE(CreateDirectoryA(elsewhere.c_str(), nullptr));
    if (!CreateSymbolicLinkA(folder.c_str(), elsewhere.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY)) {
        GTEST_SKIP() << "no directory links here (error " << GetLastError() << ")";
    }
    const std::string before = Read(elsewhere).sddl;
    EXPECT_FALSE(security.ProtectInstallFolder(folder));
    EXPECT_EQ(before, Read(elsewhere).sddl) << "the link's target is left alone";
}

}  // namespace
}  // namespace tx
