// The installation folder's security descriptor, checked with the Win32
// security calls, and the levels made, held and checked on real folders
// (under Wine). The literals below are compiled to code page 936 bytes.
#include <windows.h>
#include <winioctl.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/Handles.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32FolderSecurity.h"
#include "engine/InstallFolder.h"

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

TEST(FolderSecurityDescriptor, OwnedByAdministratorsWithAProtectedListPassedOnBelow) {
    const FolderSecurityDescriptor sd;
    ASSERT_TRUE(sd.Valid());
    EXPECT_TRUE(IsValidSecurityDescriptor(sd.Descriptor()));

    PSID owner = nullptr;
    BOOL defaulted = TRUE;
    ASSERT_TRUE(GetSecurityDescriptorOwner(sd.Descriptor(), &owner, &defaulted));
    std::vector<BYTE> admins = WellKnownSid(WinBuiltinAdministratorsSid);
    ASSERT_NE(nullptr, owner);
    EXPECT_TRUE(EqualSid(owner, admins.data()));
    EXPECT_EQ(sd.Owner(), owner);
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

    const FolderSecurityDescriptor sd;
    const std::vector<AceView> got = AcesOf(sd.Dacl());
    const std::vector<AceView> expected = AcesOf(want);
    ASSERT_EQ(expected.size(), got.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(expected[i].type, got[i].type) << i;
        EXPECT_EQ(expected[i].flags, got[i].flags) << i;
        EXPECT_EQ(expected[i].mask, got[i].mask) << i;
        EXPECT_TRUE(EqualSid(expected[i].sid, got[i].sid)) << i;
    }
    EXPECT_EQ("O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)",
              Sddl(sd.Descriptor(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION));
}

TEST(FolderSecurityDescriptor, CreationAttributesCarryItAndAreNotInherited) {
    FolderSecurityDescriptor sd;
    const SECURITY_ATTRIBUTES attributes = sd.Attributes();
    EXPECT_EQ(sizeof(SECURITY_ATTRIBUTES), attributes.nLength);
    EXPECT_EQ(sd.Descriptor(), attributes.lpSecurityDescriptor);
    EXPECT_FALSE(attributes.bInheritHandle);

    // Moved, it still points at parts that did not move.
    FolderSecurityDescriptor moved = std::move(sd);
    EXPECT_TRUE(moved.Valid());
    EXPECT_EQ(attributes.lpSecurityDescriptor, moved.Descriptor());
    EXPECT_TRUE(IsValidSecurityDescriptor(moved.Descriptor()));
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

class FolderLevelsTest : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveTree(root);
        ASSERT_TRUE(CreateDirectoryA(root.c_str(), nullptr));
    }
    void TearDown() override { RemoveTree(root); }

    // What the system reads back, for the report: Wine keeps no descriptor
    // and shows one made from the Unix owner and mode bits instead.
    void Report(const char* what, const ReadBack& r) {
        std::cout << what << ": " << r.sddl << "\n";
        RecordProperty(what, r.sddl);
    }

    static void MakeFile(const std::string& path) {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h) << path;
        CloseHandle(h);
    }

    static bool IsLink(const std::string& path) {
        const DWORD attributes = GetFileAttributesA(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES &&
               (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    }

    // A junction at link to target (an absolute path); false when the file
    // system takes no reparse points.
    static bool MakeJunction(const std::string& link, const std::string& target) {
        if (!CreateDirectoryA(link.c_str(), nullptr)) return false;
        UniqueHandle h(CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                   nullptr));
        if (h.get() == INVALID_HANDLE_VALUE) return false;
        // The target is ASCII here, so widening byte by byte will do.
        const std::wstring substitute = L"\\??\\" + std::wstring(target.begin(), target.end());
        const WORD nameBytes = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
        // REPARSE_DATA_BUFFER for a mount point: tag, data length, reserved,
        // then offsets and lengths of the substitute and print names, then
        // both names, each ending in a NUL.
        std::vector<BYTE> buffer(16 + nameBytes + 2 * sizeof(wchar_t), 0);
        auto put16 = [&](std::size_t at, WORD v) { std::memcpy(&buffer[at], &v, 2); };
        const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
        std::memcpy(&buffer[0], &tag, 4);
        put16(4, static_cast<WORD>(buffer.size() - 8));
        put16(8, 0);
        put16(10, nameBytes);
        put16(12, static_cast<WORD>(nameBytes + sizeof(wchar_t)));
        put16(14, 0);
        std::memcpy(&buffer[16], substitute.data(), nameBytes);
        DWORD returned = 0;
        if (!DeviceIoControl(h.get(), FSCTL_SET_REPARSE_POINT, buffer.data(),
                             static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr)) {
            h.reset();
            RemoveDirectoryA(link.c_str());
            return false;
        }
        return true;
    }

    // A directory link at link to target, or false when this system cannot
    // make one (Wine 8 reports success for a symbolic link it does not make,
    // and refuses junctions).
    static bool MakeDirectoryLink(const std::string& link, const std::string& target) {
        if (CreateSymbolicLinkA(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) &&
            IsLink(link)) {
            return true;
        }
        return MakeJunction(link, target) && IsLink(link);
    }

    const std::string root = TempRoot();
    const std::string chosen = root + "\\Tarnix";
    const std::string folder = chosen + "\\Tarnix批打印软件";
    Win32FolderSecurity security;
    const CodePage cp{GetACP()};
};

TEST_F(FolderLevelsTest, NewLevelIsMadeWithTheDescriptorAndNeverOverWhatExists) {
    EXPECT_EQ(MakeFolderResult::Created, security.MakeProtectedFolder(chosen));
    EXPECT_EQ(MakeFolderResult::Created, security.MakeProtectedFolder(folder));
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);

    const ReadBack r = Read(folder);
    Report("made folder", r);
    ASSERT_TRUE(r.read) << r.sddl;
    EXPECT_FALSE(OrdinaryUsersMayWrite(r.aces)) << r.sddl;
    // Where the system keeps descriptors: exactly the one given at creation.
    if (r.ownerIsAdministrators) {
        ExpectTheThreeEntries(r.aces, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
        EXPECT_TRUE(r.protectedList);
    }

    EXPECT_EQ(MakeFolderResult::AlreadyThere, security.MakeProtectedFolder(folder));
    MakeFile(root + "\\a-file");
    EXPECT_EQ(MakeFolderResult::AlreadyThere, security.MakeProtectedFolder(root + "\\a-file"));
    EXPECT_EQ(MakeFolderResult::AlreadyThere, security.MakeProtectedFolder("C:\\"));
    EXPECT_EQ(MakeFolderResult::Failed, security.MakeProtectedFolder(root + "\\no\\parent"));
    EXPECT_EQ(MakeFolderResult::Failed, security.MakeProtectedFolder(""));
}

TEST_F(FolderLevelsTest, HeldLevelTellsWhatItIsAndCannotBeRenamedOrRemoved) {
    ASSERT_TRUE(CreateDirectoryA(chosen.c_str(), nullptr));
    const std::string moved = root + "\\Moved";
    {
        FolderFacts facts;
        std::unique_ptr<IHeldFolder> held = security.HoldFolder(chosen, &facts);
        ASSERT_NE(nullptr, held);
        EXPECT_TRUE(facts.directory);
        EXPECT_FALSE(facts.reparsePoint);
        std::cout << "owner " << facts.ownerSid << ", user " << security.CurrentUserSid()
                  << ", access lists " << facts.keepsAccessLists << "\n";
        EXPECT_FALSE(facts.ownerSid.empty());
        EXPECT_EQ(0u, facts.ownerSid.rfind("S-1-", 0)) << facts.ownerSid;

        EXPECT_FALSE(MoveFileA(chosen.c_str(), moved.c_str())) << "renamed while held";
        EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
        EXPECT_FALSE(RemoveDirectoryA(chosen.c_str())) << "removed while held";
        // Work inside it goes on, and a second look is allowed.
        MakeFile(chosen + "\\inside.txt");
        FolderFacts again;
        EXPECT_NE(nullptr, security.HoldFolder(chosen, &again));
    }
    EXPECT_TRUE(MoveFileA(chosen.c_str(), moved.c_str())) << "free once let go: "
                                                          << GetLastError();

    FolderFacts facts;
    MakeFile(root + "\\a-file");
    ASSERT_NE(nullptr, security.HoldFolder(root + "\\a-file", &facts));
    EXPECT_FALSE(facts.directory);
    EXPECT_EQ(nullptr, security.HoldFolder(root + "\\missing", &facts));
    EXPECT_FALSE(facts.directory);
}

// A level of the user's settings folder is held shared for reading only:
// meanwhile no one can open it for writing, which setting a reparse point
// (a junction) on it takes, nor rename or remove it; files still go in
// and out. The installation folder's hold leaves opening for writing alone.
TEST_F(FolderLevelsTest, UserFolderIsHeldSharedForReadingOnly) {
    ASSERT_TRUE(CreateDirectoryA(chosen.c_str(), nullptr));
    const auto open = [&](DWORD access) {
        return UniqueHandle(CreateFileA(
            chosen.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
            nullptr));
    };
    const std::string file = chosen + "\\Tarnix.Ini";
    {
        FolderFacts facts;
        const std::unique_ptr<IHeldFolder> held = security.HoldUserFolder(chosen, &facts);
        ASSERT_NE(nullptr, held);
        EXPECT_TRUE(facts.directory);
        EXPECT_FALSE(facts.reparsePoint);
        for (DWORD access : {DWORD{FILE_WRITE_DATA}, DWORD{FILE_APPEND_DATA}, DWORD{GENERIC_WRITE},
                             DWORD{DELETE}}) {
            SCOPED_TRACE(access);
            const UniqueHandle other = open(access);
            EXPECT_EQ(INVALID_HANDLE_VALUE, other.get());
            EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
        }
        EXPECT_FALSE(MoveFileA(chosen.c_str(), (root + "\\Moved").c_str()));
        const UniqueHandle reader = open(FILE_LIST_DIRECTORY);
        EXPECT_NE(INVALID_HANDLE_VALUE, reader.get()) << "looking in is still allowed";
        // The settings file is written, copied over and removed as before.
        Win32FileSystem files;
        EXPECT_TRUE(files.WriteWholeFile(file, "settings"));
        EXPECT_TRUE(files.CopyFile(file, file + ".copy"));
        EXPECT_TRUE(files.DeleteFile(file + ".copy"));
        EXPECT_TRUE(files.SetAttributes(file, FILE_ATTRIBUTE_HIDDEN));
        EXPECT_TRUE(files.WriteWholeFile(file, "again"));
    }
    {
        FolderFacts facts;
        const std::unique_ptr<IHeldFolder> held = security.HoldFolder(chosen, &facts);
        ASSERT_NE(nullptr, held);
        const UniqueHandle writer = open(FILE_WRITE_DATA);
        EXPECT_NE(INVALID_HANDLE_VALUE, writer.get()) << GetLastError();
    }
    const UniqueHandle writer = open(FILE_WRITE_DATA);
    EXPECT_NE(INVALID_HANDLE_VALUE, writer.get()) << "free once let go: " << GetLastError();
}

TEST_F(FolderLevelsTest, CurrentUserIsKnown) {
    const std::string user = security.CurrentUserSid();
    EXPECT_EQ(0u, user.rfind("S-1-5-", 0)) << user;
}

TEST_F(FolderLevelsTest, MissingLevelsAreMadeAndHeldAndFoundOnesReused) {
    {
        const PreparedFolder prepared = PrepareInstallFolder(security, cp, chosen, folder);
        ASSERT_EQ(FolderReadiness::Ready, prepared.readiness);
        EXPECT_EQ(2u, prepared.hold.Levels());
        EXPECT_TRUE(GetFileAttributesA(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
        EXPECT_FALSE(MoveFileA(folder.c_str(), (chosen + "\\Other").c_str()));
        EXPECT_FALSE(MoveFileA(chosen.c_str(), (root + "\\Other").c_str()));
    }
    // A second run finds both, made by the first (and owned accordingly).
    const PreparedFolder again = PrepareInstallFolder(security, cp, chosen, folder);
    EXPECT_EQ(FolderReadiness::Ready, again.readiness);
    EXPECT_EQ(2u, again.hold.Levels());

    EXPECT_EQ(FolderReadiness::Failed,
              PrepareInstallFolder(security, cp, root + "\\no\\parent", root + "\\no\\parent\\x")
                  .readiness);
}

TEST_F(FolderLevelsTest, DirectoryLinkAtALevelIsRefusedAndItsTargetLeftAlone) {
    const std::string elsewhere = root + "\\elsewhere";
    ASSERT_TRUE(CreateDirectoryA(elsewhere.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(chosen.c_str(), nullptr));
    if (!MakeDirectoryLink(folder, elsewhere)) {
        GTEST_SKIP() << "no directory links on this system (Wine 8 makes none)";
    }
    const std::string before = Read(elsewhere).sddl;
    FolderFacts facts;
    ASSERT_NE(nullptr, security.HoldFolder(folder, &facts));
    EXPECT_TRUE(facts.reparsePoint);
    EXPECT_EQ(FolderReadiness::UnsafeExisting,
              PrepareInstallFolder(security, cp, chosen, folder).readiness);
    EXPECT_EQ(before, Read(elsewhere).sddl) << "the link's target is left alone";
}

// Records the process's enabled privileges around every call the folder
// is readied with, so a privilege switched on and off inside one shows.
class PrivilegeWatch : public IFolderSecurity {
public:
    explicit PrivilegeWatch(IFolderSecurity& inner) : inner_(inner) {}
    MakeFolderResult MakeProtectedFolder(const std::string& path) override {
        Look();
        const MakeFolderResult made = inner_.MakeProtectedFolder(path);
        Look();
        return made;
    }
    std::unique_ptr<IHeldFolder> HoldFolder(const std::string& path, FolderFacts* facts) override {
        Look();
        std::unique_ptr<IHeldFolder> held = inner_.HoldFolder(path, facts);
        Look();
        return held;
    }
    std::unique_ptr<IHeldFolder> HoldUserFolder(const std::string& path,
                                                FolderFacts* facts) override {
        return inner_.HoldUserFolder(path, facts);
    }
    bool InspectFolder(const std::string& path, FolderFacts* facts) override {
        Look();
        const bool seen = inner_.InspectFolder(path, facts);
        Look();
        return seen;
    }
    std::string CurrentUserSid() override {
        Look();
        std::string sid = inner_.CurrentUserSid();
        Look();
        return sid;
    }
    std::vector<std::vector<std::pair<DWORD, DWORD>>> seen;

private:
    void Look() { seen.push_back(EnabledPrivileges()); }
    IFolderSecurity& inner_;
};

TEST_F(FolderLevelsTest, NoPrivilegeIsEnabledWhileTheFolderIsReadied) {
    const auto before = EnabledPrivileges();
    ASSERT_FALSE(before.empty());
    PrivilegeWatch watch(security);
    {
        const PreparedFolder prepared = PrepareInstallFolder(watch, cp, chosen, folder);
        EXPECT_EQ(FolderReadiness::Ready, prepared.readiness);
        watch.seen.push_back(EnabledPrivileges());
    }
    EXPECT_EQ(before, EnabledPrivileges());
    ASSERT_GE(watch.seen.size(), 10u) << "two levels made and held, the user read";
    for (std::size_t i = 0; i < watch.seen.size(); ++i) EXPECT_EQ(before, watch.seen[i]) << i;
}

// --- What access lists let others do ---------------------------------------

// The DACL of an SDDL text, kept alive with it.
struct ParsedDacl {
    LocalPtr<void> sd;
    PACL dacl = nullptr;
    bool present = false;
};

ParsedDacl ParseDacl(const char* sddl) {
    ParsedDacl out;
    PSECURITY_DESCRIPTOR sd = nullptr;
    EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd,
                                                                     nullptr))
        << sddl;
    out.sd.reset(sd);
    BOOL present = FALSE, defaulted = FALSE;
    if (sd != nullptr) GetSecurityDescriptorDacl(sd, &present, &out.dacl, &defaulted);
    out.present = present != FALSE;
    return out;
}

TEST(OthersRights, AllowEntriesOfUntrustedSidsOnTheFolderItselfMapped) {
    const std::string user = "S-1-5-21-1004336348-1177238915-682003330-1001";
    // The default list of a system drive's root.
    ParsedDacl root = ParseDacl(
        "D:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)(A;OICIIO;SDGXGWGR;;;AU)"
        "(A;;0x4;;;AU)(A;OICIIO;GA;;;CO)");
    EXPECT_EQ(static_cast<DWORD>(0x1200A9 | FILE_ADD_SUBDIRECTORY), OthersRightsOf(root.dacl, user));

    // Generic rights mapped; a deny entry takes nothing away (counted as granted).
    const std::string genericText =
        "D:(D;;GW;;;WD)(A;;GW;;;WD)(A;;GA;;;" + std::string(kSidTrustedInstaller) + ")";
    ParsedDacl generic = ParseDacl(genericText.c_str());
    EXPECT_EQ(static_cast<DWORD>(FILE_GENERIC_WRITE), OthersRightsOf(generic.dacl, user));
    EXPECT_EQ(static_cast<DWORD>(0), OthersRightsOf(generic.dacl, user) & GENERIC_WRITE);

    // The running user and TrustedInstaller are trusted; anyone else is not.
    const std::string own = "D:(A;;FA;;;" + user + ")(A;;FA;;;" +
                            std::string(kSidTrustedInstaller) +
                            ")(A;;SD;;;S-1-5-21-1004336348-1177238915-682003330-1002)";
    ParsedDacl mine = ParseDacl(own.c_str());
    EXPECT_EQ(static_cast<DWORD>(DELETE), OthersRightsOf(mine.dacl, user));
    EXPECT_EQ(static_cast<DWORD>(FILE_ALL_ACCESS), OthersRightsOf(mine.dacl, "S-1-5-21-9"));

    // No list: everyone may do anything. An empty list: no one may.
    EXPECT_EQ(static_cast<DWORD>(FILE_ALL_ACCESS), OthersRightsOf(nullptr, user));
    ParsedDacl empty = ParseDacl("D:");
    ASSERT_NE(nullptr, empty.dacl);
    EXPECT_EQ(static_cast<DWORD>(0), OthersRightsOf(empty.dacl, user));
}

TEST_F(FolderLevelsTest, AccessListGivenToAFolderIsReadBackAsOthersRights) {
    ASSERT_TRUE(CreateDirectoryA(chosen.c_str(), nullptr));
    // Authenticated Users may write and delete: any of them could rename it.
    ParsedDacl open = ParseDacl("D:P(A;OICI;FA;;;BA)(A;;0x130116;;;AU)");
    ASSERT_TRUE(open.present);
    const DWORD set = SetNamedSecurityInfoA(const_cast<char*>(chosen.c_str()), SE_FILE_OBJECT,
                                            DACL_SECURITY_INFORMATION |
                                                PROTECTED_DACL_SECURITY_INFORMATION,
                                            nullptr, nullptr, open.dacl, nullptr);
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), set);
    const ReadBack r = Read(chosen);
    Report("folder given a list", r);
    if (!OrdinaryUsersMayWrite(r.aces)) {
        GTEST_SKIP() << "this system does not keep the list it was given: " << r.sddl;
    }
    FolderFacts facts;
    ASSERT_TRUE(security.InspectFolder(chosen, &facts));
    EXPECT_TRUE(facts.directory);
    EXPECT_EQ(static_cast<DWORD>(FILE_GENERIC_WRITE | DELETE), facts.othersRights);
    // It was there: reusing it is refused, and nothing is made in it.
    EXPECT_EQ(FolderReadiness::UnsafeExisting,
              PrepareInstallFolder(security, cp, chosen, folder).readiness);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(folder.c_str()));
}

TEST_F(FolderLevelsTest, ProtectedLevelLetsOthersOnlyReadAndLookingHoldsNothing) {
    ASSERT_EQ(MakeFolderResult::Created, security.MakeProtectedFolder(chosen));
    const ReadBack r = Read(chosen);
    Report("protected level", r);
    FolderFacts facts;
    ASSERT_TRUE(security.InspectFolder(chosen, &facts));
    std::cout << "protected level: others " << std::hex << facts.othersRights << std::dec << "\n";
    if (r.ownerIsAdministrators) {
        EXPECT_EQ(kReadAndExecute, facts.othersRights) << r.sddl;
    }
    // Looking keeps nothing open: the folder can be renamed right after,
    // and even while another look is being taken.
    {
        UniqueHandle look(CreateFileA(chosen.c_str(), kInspectAccess, kInspectSharing, nullptr,
                                      OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr));
        ASSERT_NE(INVALID_HANDLE_VALUE, look.get());
        const std::string moved = root + "\\Moved";
        EXPECT_TRUE(MoveFileA(chosen.c_str(), moved.c_str())) << GetLastError();
        EXPECT_TRUE(MoveFileA(moved.c_str(), chosen.c_str())) << GetLastError();
    }
    EXPECT_FALSE(security.InspectFolder(root + "\\missing", &facts));
}

TEST_F(FolderLevelsTest, WhatTheFoldersAboveTheTemporaryFolderAndTheDriveRootShow) {
    // For the report: what this system says of the folders an installation
    // into C:\ or below the temporary folder is judged by.
    std::vector<std::string> above = {"C:\\"};
    for (std::size_t i = 3; i < root.size(); ++i)
        if (root[i] == '\\') above.push_back(root.substr(0, i));
    for (const std::string& path : above) {
        FolderFacts facts;
        ASSERT_TRUE(security.InspectFolder(path, &facts)) << path;
        const ReadBack r = Read(path);
        std::cout << path << ": owner " << facts.ownerSid << ", others " << std::hex
                  << facts.othersRights << std::dec << ", lists " << facts.keepsAccessLists
                  << ", " << r.sddl << "\n";
        EXPECT_TRUE(facts.directory) << path;
    }
    // The default kind of folder, made under the temporary folder.
    const PreparedFolder prepared = PrepareInstallFolder(security, cp, chosen, folder);
    EXPECT_EQ(FolderReadiness::Ready, prepared.readiness);
}

}  // namespace
}  // namespace tx
