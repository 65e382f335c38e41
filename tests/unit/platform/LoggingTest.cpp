// The literals are compiled to code page 936.
#include "platform/Logging.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeFolderSecurity.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeUserIo.h"
#include "tests/fakes/MemoryLog.h"

namespace tx {
namespace {

using Lines = std::vector<std::string>;

// --- File system ----------------------------------------------------------

void Scene(FakeFileSystem& fs) {
    fs.AddFile("C:\\Pkg\\Data\\a.dll", "AAAA");
    fs.AddFile("C:\\Pkg\\Data\\b.dll", "BB");
    fs.AddFile("C:\\Tarnix\\b.dll", "old", kAttrReadOnly);
    fs.AddFile("C:\\Tarnix\\record.txt", "");
    fs.FailAppendsAfter("C:\\Tarnix\\record.txt", 1);
    fs.FailSetAttributes("C:\\Tarnix\\b.dll");
}

// Every kind of call, read and write; the results (the codes of the
// failures among them), in order, as text.
std::string Exercise(IFileSystem& fs) {
    std::string r;
    auto b = [&](const OsResult& v) { r += std::to_string(v.Code()) + ','; };
    b(fs.CreateDirectory("C:\\Tarnix\\Sub"));
    b(fs.CreateDirectory("C:\\Tarnix\\Sub"));
    b(fs.CopyFile("C:\\Pkg\\Data\\a.dll", "C:\\Tarnix\\a.dll"));
    b(fs.CopyFile("C:\\Pkg\\Data\\b.dll", "C:\\Tarnix\\b.dll"));
    b(fs.SetAttributes("C:\\Tarnix\\a.dll", kAttrReadOnly));
    b(fs.SetAttributes("C:\\Tarnix\\b.dll", kAttrNormal));
    b(fs.AppendToFile("C:\\Tarnix\\record.txt", "line 1\r\n"));
    b(fs.AppendToFile("C:\\Tarnix\\record.txt", "line 2\r\n"));
    b(fs.WriteWholeFile("C:\\Tarnix\\Sub\\set.ini", "k=v"));
    b(fs.FlushFile("C:\\Tarnix\\Sub\\set.ini"));
    b(fs.FlushFile("C:\\Tarnix\\missing.txt"));
    b(fs.DeleteFile("C:\\Tarnix\\missing.txt"));
    b(fs.RemoveDirectory("C:\\Tarnix\\Sub"));
    b(fs.ReplaceFile("C:\\Tarnix\\Sub\\set.ini", "C:\\Tarnix\\set.ini"));
    b(fs.ReplaceFile("C:\\Tarnix\\set.ini", "C:\\Tarnix\\a.dll"));
    b(fs.MoveFileAtRestart("C:\\Tarnix\\b.dll", ""));
    b(fs.MoveFileAtRestart("C:\\Tarnix\\new.dll", "C:\\Tarnix\\b.dll"));
    std::string content;
    b(fs.ReadWholeFile("C:\\Tarnix\\a.dll", &content));
    r += content + '|' + std::to_string(fs.GetAttributes("C:\\Tarnix\\a.dll")) + '|';
    std::uint64_t size = 0;
    b(fs.FileSize("C:\\Pkg\\Data\\b.dll", &size));
    r += std::to_string(size) + '|' + fs.ModulePath() + '|' + fs.CurrentDirectory() + '|';
    FindEntry first;
    auto find = fs.FindFirst("C:\\Pkg\\Data\\*.dll", &first);
    r += first.name;
    if (find) {
        FindEntry next;
        while (find->Next(&next)) r += "," + next.name;
    }
    return r;
}

// The fake fails with the codes Windows documents for the failures met
// here: CreateDirectoryA over an existing name ERROR_ALREADY_EXISTS (183),
// CopyFileA onto a read-only target ERROR_ACCESS_DENIED (5), attributes on
// write-protected media ERROR_WRITE_PROTECT (19), an append to a full disk
// ERROR_DISK_FULL (112), a flush or a DeleteFileA of a missing file
// ERROR_FILE_NOT_FOUND (2), RemoveDirectoryA of a folder with entries
// ERROR_DIR_NOT_EMPTY (145), MoveFileExA onto a read-only file
// ERROR_ACCESS_DENIED (5).
TEST(LoggingFileSystem, BehavesAsTheWrappedOneAndLogsEachChange) {
    FakeFileSystem plain;
    FakeFileSystem inner;
    Scene(plain);
    Scene(inner);
    MemoryLog log;
    LoggingFileSystem logged(inner, log);

    const std::string expected = Exercise(plain);
    EXPECT_EQ(expected, Exercise(logged));
    EXPECT_EQ(plain.Tree("C:\\"), inner.Tree("C:\\"));
    EXPECT_EQ(plain.Content("C:\\Tarnix\\record.txt"), inner.Content("C:\\Tarnix\\record.txt"));
    EXPECT_EQ(plain.Attributes("C:\\Tarnix\\a.dll"), inner.Attributes("C:\\Tarnix\\a.dll"));
    EXPECT_EQ(plain.PendingAtRestart(), inner.PendingAtRestart());
    EXPECT_EQ(plain.FindFirstCalls(), inner.FindFirstCalls());
    EXPECT_EQ(0, inner.OpenListings()) << "the listing handle is handed through and closed";

    // Reads, successful appends, flushes and attribute changes leave no line.
    const Lines want = {
        "create folder C:\\Tarnix\\Sub -> ok",
        "create folder C:\\Tarnix\\Sub -> failed (error 183)",
        "copy C:\\Pkg\\Data\\a.dll to C:\\Tarnix\\a.dll -> ok",
        "copy C:\\Pkg\\Data\\b.dll to C:\\Tarnix\\b.dll -> failed (error 5)",
        "set attributes 0x80 C:\\Tarnix\\b.dll -> failed (error 19)",
        "append to C:\\Tarnix\\record.txt -> failed (error 112)",
        "write file C:\\Tarnix\\Sub\\set.ini (3 bytes) -> ok",
        "flush C:\\Tarnix\\missing.txt -> failed (error 2)",
        "delete file C:\\Tarnix\\missing.txt -> failed (error 2)",
        "remove folder C:\\Tarnix\\Sub -> failed (error 145)",
        "replace C:\\Tarnix\\set.ini with C:\\Tarnix\\Sub\\set.ini -> ok",
        "replace C:\\Tarnix\\a.dll with C:\\Tarnix\\set.ini -> failed (error 5)",
        "delete at restart C:\\Tarnix\\b.dll -> ok",
        "move at restart C:\\Tarnix\\new.dll to C:\\Tarnix\\b.dll -> ok",
    };
    EXPECT_EQ(want, log.Lines());
}

// --- Registry -------------------------------------------------------------

const std::string kVars =
    "Software\\Autodesk\\AutoCAD\\R23.1\\ACAD-3001:804\\Profiles\\<<Unnamed Profile>>\\Variables";

void Seed(FakeRegistry& reg) {
    reg.CreatePath(RegRoot::LocalMachine, "SOFTWARE\\Autodesk\\AutoCAD");
    reg.CreatePath(RegRoot::CurrentUser, "Software\\Old\\Child");
    reg.SetString(RegRoot::CurrentUser, "Software\\Old", "Gone", "x");
    reg.SetString(RegRoot::CurrentUser, kVars, "TRUSTEDPATHS", "C:\\A");
}

std::vector<unsigned char> Sz(const std::string& s) {
    return std::vector<unsigned char>(s.c_str(), s.c_str() + s.size() + 1);
}

// The same calls against any registry; the status codes, in order.
std::vector<long> Drive(IRegistry& reg) {
    std::vector<long> rc;
    RegHandle root = 0, tarnix = 0, deep = 0, read = 0, software = 0;
    rc.push_back(reg.CreateKey(kHkeyCurrentUser, "Software\\Tarnix", &tarnix));
    rc.push_back(reg.CreateKey(tarnix, "Sub\\Deep", &deep));
    const auto name = Sz("Tarnix");
    rc.push_back(reg.SetValue(deep, "Name", kRegSz, name.data(), 7));
    const unsigned char one[4] = {1, 0, 0, 0};
    rc.push_back(reg.SetValue(tarnix, nullptr, kRegDword, one, 4));
    rc.push_back(reg.OpenRoot(RegRoot::LocalMachine, &root));
    rc.push_back(reg.OpenKey(root, "SOFTWARE", &software));
    rc.push_back(reg.OpenKeyRead(software, "Autodesk\\AutoCAD", &read));
    rc.push_back(reg.SetValue(read, "Denied", kRegDword, one, 4));
    rc.push_back(reg.DeleteKey(kHkeyCurrentUser, "Software\\Old"));
    rc.push_back(reg.DeleteKey(kHkeyCurrentUser, "Software\\Old\\Child"));
    RegHandle old = 0;
    rc.push_back(reg.OpenKey(kHkeyCurrentUser, "Software\\Old", &old));
    rc.push_back(reg.DeleteValue(old, "Gone"));
    rc.push_back(reg.DeleteValue(old, "Gone"));
    std::uint32_t count = 0, type = 0, size = 16;
    unsigned char buf[16] = {};
    rc.push_back(reg.QuerySubkeyCount(software, &count));
    rc.push_back(static_cast<long>(count));
    rc.push_back(reg.QueryValue(deep, "Name", &type, buf, &size));
    rc.push_back(static_cast<long>(size));
    char sub[32];
    std::uint32_t cap = sizeof sub;
    rc.push_back(reg.EnumKey(tarnix, 0, sub, &cap));
    rc.push_back(static_cast<long>(cap));
    rc.push_back(reg.QueryValueCount(tarnix, &count));
    rc.push_back(static_cast<long>(count));
    std::string valueName = "?";
    std::vector<unsigned char> valueData;
    rc.push_back(reg.EnumValueWide(tarnix, 0, &valueName, &type, &valueData));
    rc.push_back(static_cast<long>(valueName.size()));
    rc.push_back(static_cast<long>(type));
    rc.push_back(static_cast<long>(valueData.size()));
    rc.push_back(reg.EnumValueWide(tarnix, 1, &valueName, &type, &valueData));
    for (RegHandle h : {deep, tarnix, read, software, root, old}) reg.CloseKey(h);
    return rc;
}

TEST(LoggingRegistry, BehavesAsTheWrappedOneAndNamesKeysByTheirFullPath) {
    FakeRegistry plain;
    FakeRegistry inner;
    Seed(plain);
    Seed(inner);
    MemoryLog log;
    LoggingRegistry logged(inner, log);

    EXPECT_EQ(Drive(plain), Drive(logged));
    EXPECT_EQ(plain.Dump(), inner.Dump());
    EXPECT_EQ(0u, inner.OpenHandles());
    EXPECT_EQ(0u, inner.BadHandleUses());
    EXPECT_EQ(0u, logged.TrackedHandles()) << "closed handles are forgotten";

    const Lines want = {
        "create key HKCU\\Software\\Tarnix -> ok",
        "create key HKCU\\Software\\Tarnix\\Sub\\Deep -> ok",
        "set value HKCU\\Software\\Tarnix\\Sub\\Deep : Name (REG_SZ, 7 bytes) -> ok",
        "set value HKCU\\Software\\Tarnix : (default) (REG_DWORD, 4 bytes) -> ok",
        "set value HKLM\\SOFTWARE\\Autodesk\\AutoCAD : Denied (REG_DWORD, 4 bytes) -> failed (error 5)",
        "delete key HKCU\\Software\\Old -> failed (error 5)",
        "delete key HKCU\\Software\\Old\\Child -> ok",
        "delete value HKCU\\Software\\Old : Gone -> ok",
        "delete value HKCU\\Software\\Old : Gone -> failed (error 2)",
    };
    EXPECT_EQ(want, log.Lines());
}

TEST(LoggingRegistry, HandlePathsAreTrackedWhileOpenOnly) {
    FakeRegistry inner;
    Seed(inner);
    MemoryLog log;
    LoggingRegistry logged(inner, log);

    EXPECT_EQ("HKLM", logged.PathOf(kHkeyLocalMachine));
    EXPECT_EQ("HKCU", logged.PathOf(kHkeyCurrentUser));
    RegHandle root = 0;
    ASSERT_EQ(kRegOk, logged.OpenRoot(RegRoot::CurrentUser, &root));
    EXPECT_EQ("HKCU", logged.PathOf(root));
    RegHandle same = 0;
    ASSERT_EQ(kRegOk, logged.OpenKeyRead(root, "", &same));
    EXPECT_EQ("HKCU", logged.PathOf(same)) << "an empty name opens the key itself";

    // A failed open hands out nothing to remember.
    RegHandle none = 0;
    EXPECT_EQ(kRegNotFound, logged.OpenKey(root, "Software\\Missing", &none));
    EXPECT_EQ(2u, logged.TrackedHandles());

    for (int i = 0; i < 3; ++i) {
        RegHandle a = 0, b = 0;
        ASSERT_EQ(kRegOk, logged.OpenKey(root, "Software", &a));
        ASSERT_EQ(kRegOk, logged.CreateKey(a, "Tarnix", &b));
        EXPECT_EQ("HKCU\\Software\\Tarnix", logged.PathOf(b));
        logged.CloseKey(b);
        logged.CloseKey(a);
        EXPECT_EQ("<unknown key>", logged.PathOf(b));
    }
    EXPECT_EQ(2u, logged.TrackedHandles()) << "no growth over open/close cycles";
    logged.CloseKey(same);
    logged.CloseKey(root);
    logged.CloseKey(kHkeyCurrentUser);  // harmless, as on Windows
    EXPECT_EQ(0u, logged.TrackedHandles());
    EXPECT_EQ(0u, inner.OpenHandles());
}

// UTF-16LE text with its terminator, as RegSetValueExW takes it.
std::vector<unsigned char> Utf16(const std::u16string& s) {
    std::vector<unsigned char> out;
    for (char16_t c : s) {
        out.push_back(static_cast<unsigned char>(c & 0xFF));
        out.push_back(static_cast<unsigned char>(c >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

TEST(LoggingRegistry, TrustedPathsIsLoggedLikeAnyOtherValue) {
    // What a TRUSTEDPATHS change means is the engine's to log; here it is
    // a value like any other, in any letter case.
    FakeRegistry inner;
    Seed(inner);
    MemoryLog log;
    LoggingRegistry logged(inner, log);
    RegHandle vars = 0;
    ASSERT_EQ(kRegOk, logged.OpenKey(kHkeyCurrentUser, kVars.c_str(), &vars));
    const std::string where = "HKCU\\" + kVars + " : ";
    const auto wide = Utf16(u"C:\\A");
    EXPECT_EQ(kRegOk, logged.SetValueWide(vars, "trustedpaths", kRegSz, wide.data(),
                                          static_cast<std::uint32_t>(wide.size())));
    EXPECT_EQ(kRegOk, logged.DeleteValue(vars, "TRUSTEDPATHS"));
    inner.SetFaults(RegRoot::CurrentUser, kVars, FakeRegistry::kFailWrite);
    EXPECT_EQ(kRegAccessDenied, logged.SetValue(vars, "TRUSTEDPATHS", kRegSz, wide.data(), 1));
    logged.CloseKey(vars);

    const Lines want = {
        "set value " + where + "trustedpaths (REG_SZ, 10 bytes) -> ok",
        "delete value " + where + "TRUSTEDPATHS -> ok",
        "set value " + where + "TRUSTEDPATHS (REG_SZ, 1 bytes) -> failed (error 5)",
    };
    EXPECT_EQ(want, log.Lines());
    EXPECT_EQ(0u, inner.OpenHandles());
}

// --- Message boxes and folders -----------------------------------------------

TEST(LoggingMessageBox, ForwardsAndLogsTextOnOneLineWithTheAnswer) {
    FakeMessageBox inner;
    inner.Script({kIdRetry, kIdNo});
    MemoryLog log;
    LoggingMessageBox logged(inner, log);

    EXPECT_EQ(kIdRetry, logged.Show("无法复制文件\r\nC:\\a.dll\n\n重试？", "安装",
                                    kMbAbortRetryIgnore | kMbIconStop));
    EXPECT_EQ(kIdNo, logged.Show("Go on?", "Tarnix", kMbYesNo | kMbIconQuestion));
    ASSERT_EQ(2u, inner.Calls().size());
    EXPECT_EQ("无法复制文件\r\nC:\\a.dll\n\n重试？", inner.Calls()[0].text);
    EXPECT_EQ("安装", inner.Calls()[0].caption);
    EXPECT_EQ(kMbAbortRetryIgnore | kMbIconStop, inner.Calls()[0].style);

    const Lines want = {
        "message box \"安装\" 0x12: 无法复制文件 / C:\\a.dll /  / 重试？ -> Retry",
        "message box \"Tarnix\" 0x24: Go on? -> No",
    };
    EXPECT_EQ(want, log.Lines());
}

TEST(LoggingFolderSecurity, ForwardsAndLogsMadeFoldersAndHolds) {
    FakeFileSystem fs;
    fs.AddFolder("C:\\Link", kAttrDirectory | kAttrReparsePoint);
    fs.AddFolder("C:\\Shut");
    FakeFolderSecurity inner(fs);
    inner.SetOwner("C:\\Link", "S-1-5-21-1-2-3-1001");
    inner.DenyOpen("C:\\Shut");
    MemoryLog log;
    LoggingFolderSecurity logged(inner, log);

    EXPECT_EQ(MakeFolderResult::Created, logged.MakeProtectedFolder("C:\\Tarnix"));
    EXPECT_EQ(MakeFolderResult::AlreadyThere, logged.MakeProtectedFolder("C:\\Tarnix"));
    EXPECT_EQ(MakeFolderResult::Failed, logged.MakeProtectedFolder("C:\\No\\Tarnix"));
    EXPECT_TRUE(inner.MadeProtected("C:\\Tarnix"));
    EXPECT_EQ(inner.CurrentUserSid(), logged.CurrentUserSid());

    FolderFacts facts;
    {
        auto held = logged.HoldFolder("C:\\Tarnix", &facts);
        ASSERT_NE(nullptr, held);
        EXPECT_EQ(kSidAdministrators, facts.ownerSid);
        EXPECT_EQ(1, inner.HeldNow()) << "the hold is the wrapped one";
    }
    EXPECT_EQ(0, inner.HeldNow());
    auto link = logged.HoldFolder("C:\\Link", &facts);
    ASSERT_NE(nullptr, link);
    EXPECT_TRUE(facts.reparsePoint);
    EXPECT_EQ(nullptr, logged.HoldFolder("C:\\Shut", &facts));
    inner.SetNullAccessList("C:\\Link");
    EXPECT_TRUE(logged.InspectFolder("C:\\Link", &facts));
    EXPECT_EQ(kRightsAll, facts.othersRights);
    EXPECT_FALSE(logged.InspectFolder("C:\\Shut", &facts));
    EXPECT_EQ(1, inner.HeldNow()) << "looking holds nothing (the link is still held)";
    {
        auto user = logged.HoldUserFolder("C:\\Tarnix", &facts);
        ASSERT_NE(nullptr, user);
        EXPECT_FALSE(inner.Holds().back().othersMayWrite) << "the wrapped user-folder hold";
    }
    inner.MakeOwnersUp();
    EXPECT_TRUE(logged.InspectFolder("C:\\Tarnix", &facts));

    const Lines want = {
        "make protected folder C:\\Tarnix -> created",
        "make protected folder C:\\Tarnix -> already there",
        "make protected folder C:\\No\\Tarnix -> failed",
        "hold folder C:\\Tarnix -> held (folder, owner S-1-5-32-544, others 0x1200A9)",
        "hold folder C:\\Link -> held (folder, link, owner S-1-5-21-1-2-3-1001, others 0x0)",
        "hold folder C:\\Shut -> refused",
        "inspect folder C:\\Link -> seen (folder, link, owner S-1-5-21-1-2-3-1001, others 0x1F01FF)",
        "inspect folder C:\\Shut -> refused",
        "hold user folder (read-only sharing) C:\\Tarnix -> held (folder, owner S-1-5-32-544, "
        "others 0x1200A9)",
        "inspect folder C:\\Tarnix -> seen (folder, owner S-1-5-32-544 (made up by the system), "
        "others 0x1200A9)",
    };
    EXPECT_EQ(want, log.Lines());
}

}  // namespace
}  // namespace tx
