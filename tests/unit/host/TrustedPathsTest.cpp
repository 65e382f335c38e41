// The literals are compiled to code page 936.
#include "host/HostRegistrar.h"
#include "host/TrustedPathList.h"

#include <gtest/gtest.h>

#include "tests/fakes/FakeRegistry.h"

namespace tx {
namespace {

constexpr RegRoot kHkcu = RegRoot::CurrentUser;
const std::string kDir = "C:\\Program Files\\Tarnix批打印软件";
const std::string kDirUpper = "C:\\PROGRAM FILES\\TARNIX批打印软件";
const std::string kAcad = "SOFTWARE\\Autodesk\\AutoCAD\\";
const WideString kWideDir = u"C:\\Program Files\\Tarnix批打印软件";
const WideString kWideDirUpper = u"C:\\PROGRAM FILES\\TARNIX批打印软件";

class TrustedPathsTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(0u, reg_.OpenHandles()) << "a registry key was left open";
        EXPECT_EQ(0u, reg_.BadHandleUses());
    }

    static std::string Variables(const std::string& release, const std::string& product,
                                 const std::string& profile) {
        return kAcad + release + "\\" + product + "\\Profiles\\" + profile + "\\Variables";
    }

    // A profile holding TRUSTEDPATHS = value; returns its Variables key.
    std::string Profile(const std::string& value, const std::string& profile = "<<未命名配置>>") {
        const std::string v = Variables("R24.0", "ACAD-4101:804", profile);
        reg_.SetString(kHkcu, v, "TRUSTEDPATHS", value);
        return v;
    }

    std::optional<std::string> Trusted(const std::string& variables) const {
        return reg_.GetString(kHkcu, variables, "TRUSTEDPATHS");
    }

    // The same, with a UTF-16 value of the given type.
    std::string WideProfile(const WideString& value, const std::string& profile,
                            std::uint32_t type = kRegSz) {
        const std::string v = Variables("R24.0", "ACAD-4101:804", profile);
        reg_.SetWideString(kHkcu, v, "TRUSTEDPATHS", value, type);
        return v;
    }
    std::optional<WideString> TrustedWide(const std::string& variables) const {
        return reg_.GetWideString(kHkcu, variables, "TRUSTEDPATHS");
    }
    std::uint32_t TypeOf(const std::string& variables) const {
        const auto v = reg_.GetValueWide(kHkcu, variables, "TRUSTEDPATHS");
        return v ? v->type : 0xFFFFFFFFu;
    }

    void Run() { registrar_.AddTrustedPath(folder_); }

    FakeRegistry reg_;
    CodePage cp_{936};
    FakeWideText wide_{936};
    HostRegistrar registrar_{reg_, cp_, wide_};
    std::string folder_ = kDir;
};

TEST_F(TrustedPathsTest, UserWithoutAutoCadIsLeftAlone) {
    reg_.CreatePath(kHkcu, "SOFTWARE\\Autodesk\\Revit");
    reg_.RecordWrites(true);
    Run();
    EXPECT_TRUE(reg_.Writes().empty());
    EXPECT_EQ(3u, reg_.KeyCount());
}

TEST_F(TrustedPathsTest, EveryProfileOfEveryProductIsUpdatedInEnumerationOrder) {
    // Seeded out of order; enumeration is what orders the updates.
    for (const char* release : {"R24.1", "R19.0", "R23.0"})
        for (const char* profile : {"Zeta", "Alpha"})
            reg_.SetString(kHkcu, Variables(release, "ACAD-0001:804", profile), "TRUSTEDPATHS", "");
    reg_.CreatePath(kHkcu, kAcad + "R23.0\\NoProfiles");  // contributes nothing
    reg_.RecordWrites(true);
    Run();
    std::vector<std::string> expected;
    for (const char* release : {"R19.0", "R23.0", "R24.1"})
        for (const char* profile : {"Alpha", "Zeta"}) {
            const std::string v = "HKCU\\" + Variables(release, "ACAD-0001:804", profile);
            expected.push_back("create " + v);
            expected.push_back("set " + v + " : TRUSTEDPATHS");
        }
    EXPECT_EQ(expected, reg_.Writes());
    EXPECT_EQ(kDir, Trusted(Variables("R23.0", "ACAD-0001:804", "Zeta")));
}

TEST_F(TrustedPathsTest, ProfileWithoutVariablesGetsTheFolderAsItIs) {
    reg_.CreatePath(kHkcu, kAcad + "R22.0\\ACAD-1001:804\\Profiles\\Plain");
    Run();
    EXPECT_EQ(kDir, Trusted(Variables("R22.0", "ACAD-1001:804", "Plain")));
}

TEST_F(TrustedPathsTest, ValuesOfAtMostTwoBytesAreReplaced) {
    for (const char* old : {"", ";", "C:", "中"}) {
        const std::string v = Profile(old);
        Run();
        EXPECT_EQ(kDir, Trusted(v)) << "old value \"" << old << "\"";
    }
    const std::string v = Profile("C:\\");
    Run();
    EXPECT_EQ("C:\\;" + kDirUpper, Trusted(v)) << "three bytes are kept";
}

TEST_F(TrustedPathsTest, PresenceIsDecidedEntryByEntry) {
    struct Case {
        std::string old;
        bool present;
    } cases[] = {
        {kDir, true},
        {"c:\\program files\\tarnix批打印软件", true},
        {"D:\\x;" + kDir + "\\;E:\\y", true},
        {"\"" + kDir + "\";D:\\x", true},
        {"\"" + kDir + "\\\"", true},
        {kDir + "\\...", true},
        {"d:\\x;" + kDir + "\\...\\", true},
        // Longer entries that merely contain the folder's text do not count.
        {kDir + "\\Sub", false},
        {kDir + "2", false},
        {kDir + "\\...x", false},
        {"X" + kDir, false},
        {"C:\\Program Files", false},
        {"\"" + kDir, false},
    };
    for (const Case& c : cases) {
        const std::string v = Profile(c.old);
        Run();
        const std::string upper = cp_.Upper(c.old);
        EXPECT_EQ(c.present ? upper : upper + ";" + kDirUpper, Trusted(v)) << c.old;
    }
}

TEST_F(TrustedPathsTest, DoubleByteCharactersAreComparedAndUpperCasedWhole) {
    // "\x95\x5c" ends in a 0x5C trail byte, which is not a backslash.
    folder_ = "D:\\软件\x95\x5c";
    const std::string v = Profile("d:\\软件\x95\x5c;E:\\x");
    Run();
    EXPECT_EQ("D:\\软件\x95\x5c;E:\\X", Trusted(v));

    // Trail bytes 'a' and 'A' make two different characters, and neither
    // is a letter to upper-case.
    folder_ = "D:\\x\x95\x61";
    const std::string w = Profile("d:\\y;D:\\X\x95\x41", "Other");
    Run();
    EXPECT_EQ("D:\\Y;D:\\X\x95\x41;D:\\X\x95\x61", Trusted(w));
}

TEST_F(TrustedPathsTest, SeparatorAtTheEndIsKeptAndRunsTwiceGiveTheSameValue) {
    const std::string v = Profile("d:\\a;");
    Run();
    EXPECT_EQ("D:\\A;;" + kDirUpper, Trusted(v));
    reg_.RecordWrites(true);
    Run();
    EXPECT_EQ("D:\\A;;" + kDirUpper, Trusted(v)) << "no second copy";
    EXPECT_TRUE(reg_.Writes().empty()) << "a value that needs no change is not written";
}

// The engine journals a change before it makes it: planning only reads, and
// each change names the value as it stood, which its undo puts back.
TEST_F(TrustedPathsTest, PlanOnlyReadsAndNamesEachValueAsItWas) {
    const std::string holding = Profile("D:\\x", "A");
    const std::string noValue = Variables("R24.0", "ACAD-4101:804", "B");
    reg_.CreatePath(kHkcu, noValue);
    const std::string noKey = Variables("R24.0", "ACAD-4101:804", "C");
    reg_.CreatePath(kHkcu, kAcad + "R24.0\\ACAD-4101:804\\Profiles\\C");
    const std::string done = Profile(kDirUpper, "D");
    const std::string dump = reg_.Dump();
    reg_.RecordWrites(true);
    const std::vector<TrustedPathsChange> changes = registrar_.PlanTrustedPath(kDir);
    EXPECT_TRUE(reg_.Writes().empty());
    EXPECT_EQ(dump, reg_.Dump());

    ASSERT_EQ(3u, changes.size()) << "D holds the folder as it would be written";
    EXPECT_EQ(holding, changes[0].variablesKey);
    EXPECT_TRUE(changes[0].before.keyExists && changes[0].before.valueExists);
    EXPECT_EQ(kRegSz, changes[0].before.type);
    EXPECT_EQ(Utf16Bytes(u"D:\\x"), changes[0].before.data);
    EXPECT_EQ(Utf16Bytes(u"D:\\X;" + kWideDirUpper), changes[0].written.data);
    EXPECT_EQ(noValue, changes[1].variablesKey);
    EXPECT_TRUE(changes[1].before.keyExists);
    EXPECT_FALSE(changes[1].before.valueExists);
    EXPECT_EQ(noKey, changes[2].variablesKey);
    EXPECT_FALSE(changes[2].before.keyExists);
    for (const TrustedPathsChange& c : changes) {
        EXPECT_TRUE(c.written.keyExists && c.written.valueExists);
        EXPECT_EQ(kRegSz, c.written.type);
        EXPECT_EQ(kRegOk, registrar_.WriteTrustedPaths(c));
    }
    EXPECT_EQ("D:\\X;" + kDirUpper, Trusted(holding));
    EXPECT_EQ(kDir, Trusted(noValue));
    EXPECT_EQ(kDir, Trusted(noKey));
    EXPECT_EQ(kDirUpper, Trusted(done));
}

TEST_F(TrustedPathsTest, ValuesThatDoNotFitTheBufferAreLeftExactlyAsTheyWere) {
    // 12999 bytes and the NUL fit the buffer; 13000 do not.
    const std::string tooLong = "d:\\" + std::string(12997, 'a');
    const std::string edge = "d:\\" + std::string(12996, 'b');
    const std::string edgeWithFolder = kDir + ";" + std::string(12999 - kDir.size() - 1, 'c');
    ASSERT_EQ(13000u, tooLong.size());
    ASSERT_EQ(12999u, edge.size());
    ASSERT_EQ(12999u, edgeWithFolder.size());
    const std::string a = Profile(tooLong, "A");
    const std::string b = Profile(edge, "B");  // fits, but not with the folder added
    const std::string c = Profile(edgeWithFolder, "C");
    const std::string d = Variables("R24.0", "ACAD-4101:804", "D");
    reg_.SetRaw(kHkcu, d, "TRUSTEDPATHS", kRegSz, std::vector<unsigned char>(13000, 'e'));  // no NUL
    Run();
    EXPECT_EQ(tooLong, Trusted(a));
    EXPECT_EQ(edge, Trusted(b));
    EXPECT_EQ(cp_.Upper(edgeWithFolder), Trusted(c)) << "fits once the folder is found";
    EXPECT_EQ(std::string(13000, 'e'), Trusted(d));
}

TEST_F(TrustedPathsTest, UnreadableOrUnwritableProfilesAreSkipped) {
    const std::string unreadable = Profile("D:\\keep", "A");
    const std::string locked = Profile("D:\\keep", "B");
    const std::string fine = Profile("D:\\x", "C");
    reg_.SetFaults(kHkcu, unreadable, FakeRegistry::kFailReadValue);
    reg_.SetFaults(kHkcu, locked, FakeRegistry::kFailWrite);
    const std::string blocked = kAcad + "R24.0\\ACAD-4101:804\\Profiles\\D\\Variables";
    reg_.CreatePath(kHkcu, kAcad + "R24.0\\ACAD-4101:804\\Profiles\\D");
    reg_.SetFaults(kHkcu, blocked, FakeRegistry::kFailCreate);
    Run();
    EXPECT_EQ("D:\\keep", Trusted(unreadable)) << "what cannot be read is not overwritten";
    EXPECT_EQ("D:\\keep", Trusted(locked));
    EXPECT_EQ("D:\\X;" + kDirUpper, Trusted(fine));
    EXPECT_FALSE(reg_.HasKey(kHkcu, blocked));
}

TEST_F(TrustedPathsTest, BranchesThatCannotBeOpenedContributeNothing) {
    const std::string lockedRelease = Variables("R19.0", "P", "A");
    const std::string lockedProfiles = Variables("R19.1", "P", "A");
    const std::string lockedProfile = Variables("R20.0", "P", "A");
    const std::string fine = Variables("R20.1", "P", "A");
    for (const std::string& v : {lockedRelease, lockedProfiles, lockedProfile, fine})
        reg_.SetString(kHkcu, v, "TRUSTEDPATHS", "D:\\keep");
    reg_.SetFaults(kHkcu, kAcad + "R19.0", FakeRegistry::kFailOpen);
    reg_.SetFaults(kHkcu, kAcad + "R19.1\\P\\Profiles", FakeRegistry::kFailOpen);
    reg_.SetFaults(kHkcu, kAcad + "R20.0\\P\\Profiles\\A", FakeRegistry::kFailOpen);
    Run();
    EXPECT_EQ("D:\\keep", Trusted(lockedRelease));
    EXPECT_EQ("D:\\keep", Trusted(lockedProfiles));
    EXPECT_EQ("D:\\keep", Trusted(lockedProfile)) << "a profile that cannot be opened is not listed";
    EXPECT_EQ("D:\\KEEP;" + kDirUpper, Trusted(fine));
}

TEST_F(TrustedPathsTest, EmptyFolderChangesNothing) {
    const std::string v = Profile("C:");
    folder_.clear();
    Run();
    EXPECT_EQ("C:", Trusted(v));
}

// Values are read and written as UTF-16. The u"" literals holding
// characters outside code page 936 stay out of the assertion macros, which
// quote their arguments as narrow text.
TEST_F(TrustedPathsTest, EntriesInAnyScriptSurviveWithOnlyTheirCaseChanged) {
    const WideString scripts = u"D:\\Ångström;C:\\한국어;E:\\Ελληνικά;F:\\😀;G:\\straße";
    const WideString upper = u"D:\\ÅNGSTRÖM;C:\\한국어;E:\\ΕΛΛΗΝΙΚΆ;F:\\😀;G:\\STRAßE";
    const std::string v = WideProfile(scripts, "A");
    Run();
    EXPECT_EQ(upper + u";" + kWideDirUpper, TrustedWide(v));
    EXPECT_EQ(kRegSz, TypeOf(v));
    Run();
    EXPECT_EQ(upper + u";" + kWideDirUpper, TrustedWide(v)) << "found again: no second copy";
    EXPECT_EQ(0u, reg_.Calls().queryValue + reg_.Calls().setValue) << "no ANSI value call";
}

TEST_F(TrustedPathsTest, PresenceIsDecidedOnTheWideText) {
    // Letters of code page 936 that have a case (full-width, Greek) and
    // entries the code page cannot hold stand beside the folder.
    folder_ = "C:\\Ｔａｒｎｉｘ\\Ελλαδα";
    const WideString found = u"D:\\Ångström;\"c:\\ｔａｒｎｉｘ\\ελλαδα\\\"";
    const WideString foundUpper = u"D:\\ÅNGSTRÖM;\"C:\\ＴＡＲＮＩＸ\\ΕΛΛΑΔΑ\\\"";
    const std::string a = WideProfile(found, "A");
    // One more character, which the code page lacks: another folder.
    const WideString near = u"c:\\ｔａｒｎｉｘ\\ελλαδα\u0301";
    const WideString nearUpper = u"C:\\ＴＡＲＮＩＸ\\ΕΛΛΑΔΑ\u0301;C:\\ＴＡＲＮＩＸ\\ΕΛΛΑΔΑ";
    const std::string b = WideProfile(near, "B");
    Run();
    EXPECT_EQ(foundUpper, TrustedWide(a));
    EXPECT_EQ(nearUpper, TrustedWide(b));
}

TEST_F(TrustedPathsTest, TheValueKeepsItsType) {
    const WideString expand = u"%USERPROFILE%\\Ødegård";
    const WideString expandUpper = u"%USERPROFILE%\\ØDEGÅRD";
    const std::string a = WideProfile(expand, "A", kRegExpandSz);
    const std::string b = WideProfile(u";", "B", kRegExpandSz);
    const std::string c = Variables("R24.0", "ACAD-4101:804", "C");
    reg_.CreatePath(kHkcu, c);
    Run();
    EXPECT_EQ(expandUpper + u";" + kWideDirUpper, TrustedWide(a));
    EXPECT_EQ(kRegExpandSz, TypeOf(a));
    EXPECT_EQ(kWideDir, TrustedWide(b)) << "replaced, as any value of two characters";
    EXPECT_EQ(kRegExpandSz, TypeOf(b));
    EXPECT_EQ(kWideDir, TrustedWide(c));
    EXPECT_EQ(kRegSz, TypeOf(c)) << "a new value is REG_SZ";
    const auto stored = reg_.GetValueWide(kHkcu, c, "TRUSTEDPATHS");
    EXPECT_EQ(Utf16Bytes(kWideDir), stored->data) << "written with its terminator";
}

TEST_F(TrustedPathsTest, ValuesOfOtherTypesAreLeftAlone) {
    const std::string number = Variables("R24.0", "ACAD-4101:804", "Number");
    const std::string list = Variables("R24.0", "ACAD-4101:804", "List");
    const std::string binary = Variables("R24.0", "ACAD-4101:804", "Binary");
    const std::string none = Variables("R24.0", "ACAD-4101:804", "None");
    reg_.SetDword(kHkcu, number, "TRUSTEDPATHS", 1);
    const std::vector<unsigned char> multi = Utf16Bytes(WideString(u"D:\\a\0D:\\b\0", 10));
    reg_.SetRawWide(kHkcu, list, "TRUSTEDPATHS", kRegMultiSz, multi);
    reg_.SetRawWide(kHkcu, binary, "TRUSTEDPATHS", 3, {'d', 0, ':', 0, 0, 0});
    reg_.SetRawWide(kHkcu, none, "TRUSTEDPATHS", 0, {});
    const std::string fine = Profile("D:\\x", "Text");
    reg_.RecordWrites(true);
    Run();
    EXPECT_EQ(1u, reg_.GetDword(kHkcu, number, "TRUSTEDPATHS"));
    EXPECT_EQ(kRegMultiSz, TypeOf(list));
    EXPECT_EQ(multi, reg_.GetValueWide(kHkcu, list, "TRUSTEDPATHS")->data);
    EXPECT_EQ((std::vector<unsigned char>{'d', 0, ':', 0, 0, 0}),
              reg_.GetValueWide(kHkcu, binary, "TRUSTEDPATHS")->data);
    EXPECT_EQ(0u, TypeOf(none));
    EXPECT_EQ((std::vector<std::string>{"create HKCU\\" + fine, "set HKCU\\" + fine + " : TRUSTEDPATHS"}),
              reg_.Writes())
        << "only the text value is written";
}

TEST_F(TrustedPathsTest, LimitsAreCountedInCodeUnits) {
    // 12999 code units and the NUL fit the buffer; 13000 do not.
    const WideString edge = u"D:\\" + WideString(12996, u'Å');
    const WideString tooLong = edge + u"x";
    const std::string a = WideProfile(edge, "A");  // fits, but not with the folder added
    const std::string b = WideProfile(tooLong, "B");
    const std::string c = Variables("R24.0", "ACAD-4101:804", "C");
    reg_.SetRawWide(kHkcu, c, "TRUSTEDPATHS", kRegSz, Utf16Bytes(WideString(13000, u'e'), false));
    // Half a code unit after a text without its NUL: not a whole text.
    const std::string d = Variables("R24.0", "ACAD-4101:804", "D");
    const std::vector<unsigned char> odd = {'d', 0, ':', 0, '\\', 0, 'x', 0, 'y'};
    reg_.SetRawWide(kHkcu, d, "TRUSTEDPATHS", kRegSz, odd);
    // Text ending before the half unit is read up to its NUL.
    const std::string e = Variables("R24.0", "ACAD-4101:804", "E");
    reg_.SetRawWide(kHkcu, e, "TRUSTEDPATHS", kRegSz, {'d', 0, ':', 0, 'y', 0, 0, 0, 'z'});
    // Too long in code page 936 bytes (13003), not in code units (6503):
    // what the byte-sized buffer had to leave alone now gets the folder.
    std::string doubleByte = "D:\\";
    for (int i = 0; i < 6500; ++i) doubleByte += "中";
    const std::string f = Profile(doubleByte, "F");
    Run();
    EXPECT_EQ(edge, TrustedWide(a));
    EXPECT_EQ(tooLong, TrustedWide(b));
    EXPECT_EQ(WideString(13000, u'e'), TrustedWide(c));
    EXPECT_EQ(odd, reg_.GetValueWide(kHkcu, d, "TRUSTEDPATHS")->data);
    EXPECT_EQ(u"D:Y;" + kWideDirUpper, TrustedWide(e));
    EXPECT_EQ(doubleByte + ";" + kDirUpper, Trusted(f));
}

TEST_F(TrustedPathsTest, FolderThatIsNoTextOfTheCodePageIsNotAdded) {
    const std::string v = Profile("D:\\keep");
    folder_ = "C:\\Tarnix\x81\x30";  // 0x30 cannot follow the lead byte 0x81
    reg_.RecordWrites(true);
    Run();
    EXPECT_TRUE(reg_.Writes().empty());
    EXPECT_EQ("D:\\keep", Trusted(v));
}

// What the undo of a value edited since takes out: only entries that are
// exactly the folder, never a "<folder>\\..." tree (which trusts it too),
// the other entries kept as the user wrote them.
TEST(TrustedPathListTest, RemoveTakesOutExactlyTheFolderAndKeepsTheRestAsWritten) {
    const FakeWideText wide(936);
    struct Case {
        WideString value;
        bool trusts;
        bool entry;
        WideString kept;
    } cases[] = {
        {u"d:\\x;" + kWideDir + u";e:\\y", true, true, u"d:\\x;e:\\y"},
        {u"\"" + kWideDir + u"\\\";d:\\x", true, true, u"d:\\x"},
        {kWideDir + u";d:\\x;" + kWideDirUpper, true, true, u"d:\\x"},
        {u"d:\\a;;" + kWideDir, true, true, u"d:\\a;"},
        {u"c:\\ｔａｒｎｉｘ\\ελλαδα;d:\\x", true, true, u"d:\\x"},
        {kWideDir + u"\\...;d:\\x", true, false, kWideDir + u"\\...;d:\\x"},
        {kWideDir + u"\\Sub", false, false, kWideDir + u"\\Sub"},
        {u"\"" + kWideDir, false, false, u"\"" + kWideDir},
    };
    for (const Case& c : cases) {
        const bool greek = c.value.find(u'ε') != WideString::npos;
        const WideString ours = greek ? WideString(u"C:\\ＴＡＲＮＩＸ\\ΕΛΛΑΔΑ") : kWideDirUpper;
        TrustedPathList list(c.value);
        const std::size_t index = static_cast<std::size_t>(&c - cases);
        EXPECT_EQ(c.trusts, list.Trusts(ours, wide)) << index;
        EXPECT_EQ(c.entry, list.HasEntry(ours, wide)) << index;
        EXPECT_EQ(c.entry, list.Remove(ours, wide)) << index;
        EXPECT_TRUE(c.kept == list.Text()) << index;
    }
}

}  // namespace
}  // namespace tx
