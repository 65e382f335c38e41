// The literals are compiled to code page 936.
#include "tests/fakes/FakeRegistry.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "tests/win32/registry/RegistryContract.h"

namespace tx {
namespace {

INSTANTIATE_TEST_SUITE_P(
    Fake, RegistryContract,
    ::testing::Values(RegistryUnderTest{
        "Fake", [] { return std::unique_ptr<IRegistry>(new FakeRegistry()); },
        [](IRegistry& r) { return static_cast<long>(static_cast<FakeRegistry&>(r).OpenHandles()); }}),
    [](const ::testing::TestParamInfo<RegistryUnderTest>& info) { return std::string(info.param.label); });

constexpr RegRoot kHklm = RegRoot::LocalMachine;
constexpr RegRoot kHkcu = RegRoot::CurrentUser;

TEST(FakeRegistrySeeding, SeededKeysAndValuesAreVisibleThroughTheInterface) {
    FakeRegistry reg;
    reg.SetString(kHklm, "SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804", "AcadLocation",
                  "C:\\CAD");
    reg.SetDword(kHkcu, "Software\\X", "N", 0x01020304);
    reg.CreatePath(kHklm, "SOFTWARE\\Autodesk\\AutoCAD\\R18.0");

    EXPECT_EQ(8u, reg.KeyCount());
    EXPECT_EQ((std::vector<std::string>{"R17.1", "R18.0"}),
              reg.Subkeys(kHklm, "software\\autodesk\\autocad"));
    EXPECT_EQ("C:\\CAD", reg.GetString(kHklm, "SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\",
                                       "acadlocation"));
    EXPECT_EQ(0x01020304u, reg.GetDword(kHkcu, "Software\\X", "N"));
    EXPECT_FALSE(reg.GetString(kHkcu, "Software\\X", "Missing"));
    EXPECT_FALSE(reg.HasKey(kHkcu, "SOFTWARE\\Autodesk"));

    RegHandle h = 0;
    ASSERT_EQ(kRegOk, reg.OpenKeyRead(kHkeyLocalMachine,
                                      "SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804", &h));
    unsigned char buf[16];
    std::uint32_t size = sizeof buf, type = 0;
    ASSERT_EQ(kRegOk, reg.QueryValue(h, "AcadLocation", &type, buf, &size));
    EXPECT_EQ(kRegSz, type);
    EXPECT_EQ(7u, size) << "stored with its NUL";
    reg.CloseKey(h);

    EXPECT_NE(std::string::npos, reg.Dump().find("REG_SZ \"C:\\CAD\""));
    EXPECT_THROW(reg.SetString(kHklm, "\\Lead", "V", "x"), std::invalid_argument);
    EXPECT_THROW(reg.CreatePath(kHklm, ""), std::invalid_argument);
}

TEST(FakeRegistryOrder, PunctuationSortsAsUnderWine) {
    FakeRegistry reg;
    for (const char* n : {"b", "Z", "_x", "[", "`", "a1"}) reg.CreatePath(kHklm, std::string("K\\") + n);
    // Lower-cased comparison: '[', '_' and '`' come before the letters.
    EXPECT_EQ((std::vector<std::string>{"[", "_x", "`", "a1", "b", "Z"}), reg.Subkeys(kHklm, "K"));
}

TEST(FakeRegistryCounters, OpenHandlesAndCallsAreCounted) {
    FakeRegistry reg;
    reg.CreatePath(kHklm, "A\\B");
    RegHandle root = 0, a = 0, b = 0;
    ASSERT_EQ(kRegOk, reg.OpenRoot(kHklm, &root));
    ASSERT_EQ(kRegOk, reg.OpenKeyRead(root, "A", &a));
    ASSERT_EQ(kRegOk, reg.OpenKey(a, "B", &b));
    EXPECT_EQ(3u, reg.OpenHandles());
    std::uint32_t n = 0;
    ASSERT_EQ(kRegOk, reg.QuerySubkeyCount(a, &n));
    reg.CloseKey(b);
    reg.CloseKey(a);
    EXPECT_EQ(1u, reg.OpenHandles()) << "the root is still open";
    reg.CloseKey(root);
    EXPECT_EQ(0u, reg.OpenHandles());
    EXPECT_EQ(3u, reg.PeakOpenHandles());

    const RegCallCounts& c = reg.Calls();
    EXPECT_EQ(1u, c.openRoot);
    EXPECT_EQ(1u, c.openKeyRead);
    EXPECT_EQ(1u, c.openKey);
    EXPECT_EQ(1u, c.querySubkeyCount);
    EXPECT_EQ(3u, c.closeKey);
    EXPECT_EQ(7u, c.Total());
    EXPECT_EQ(0u, reg.BadHandleUses());

    // Closing twice, or using a closed handle, is a fault of the caller.
    reg.CloseKey(a);
    EXPECT_EQ(kRegInvalidHandle, reg.QuerySubkeyCount(b, &n));
    EXPECT_EQ(2u, reg.BadHandleUses());
    reg.CloseKey(kHkeyLocalMachine);
    EXPECT_EQ(2u, reg.BadHandleUses()) << "predefined keys may be closed";

    reg.ResetCalls();
    EXPECT_EQ(0u, reg.Calls().Total());
    EXPECT_EQ(2u, reg.KeyCount());
}

TEST(FakeRegistryFaults, EachFaultFailsItsOperationOnlyAtItsKey) {
    FakeRegistry reg;
    reg.SetString(kHklm, "K\\Locked", "V", "x");
    reg.SetString(kHklm, "K\\Free", "V", "x");
    reg.CreatePath(kHklm, "K\\Locked\\Child");
    reg.SetFaults(kHklm, "k\\locked", FakeRegistry::kFailOpen);

    RegHandle h = 0;
    EXPECT_EQ(kRegAccessDenied, reg.OpenKeyRead(kHkeyLocalMachine, "K\\Locked", &h));
    EXPECT_EQ(0u, h);
    EXPECT_EQ(kRegAccessDenied, reg.OpenKey(kHkeyLocalMachine, "K\\Locked", &h));
    EXPECT_EQ(kRegOk, reg.OpenKeyRead(kHkeyLocalMachine, "K\\Locked\\Child", &h))
        << "a key below stays reachable by its full path";
    reg.CloseKey(h);

    reg.SetFaults(kHklm, "K\\Free", FakeRegistry::kFailReadValue | FakeRegistry::kFailWrite |
                                         FakeRegistry::kFailQueryInfo | FakeRegistry::kFailEnum);
    ASSERT_EQ(kRegOk, reg.OpenKey(kHkeyLocalMachine, "K\\Free", &h));
    unsigned char buf[8];
    std::uint32_t size = sizeof buf, type = 0, n = 0, cap = sizeof buf;
    EXPECT_EQ(kRegAccessDenied, reg.QueryValue(h, "V", &type, buf, &size));
    EXPECT_EQ(kRegAccessDenied, reg.SetValue(h, "W", kRegSz, buf, 1));
    EXPECT_EQ(kRegAccessDenied, reg.QuerySubkeyCount(h, &n));
    EXPECT_EQ(kRegAccessDenied, reg.EnumKey(h, 0, reinterpret_cast<char*>(buf), &cap));
    reg.CloseKey(h);
    reg.SetFaults(kHklm, "K\\Free", 0);
    ASSERT_EQ(kRegOk, reg.OpenKey(kHkeyLocalMachine, "K\\Free", &h));
    EXPECT_EQ(kRegOk, reg.QueryValue(h, "V", &type, buf, &size)) << "faults cleared";
    reg.CloseKey(h);

    // A fault may wait for a key that does not exist yet.
    reg.SetFaults(kHklm, "K\\New\\Entry", FakeRegistry::kFailCreate);
    EXPECT_EQ(kRegAccessDenied, reg.CreateKey(kHkeyLocalMachine, "K\\New\\Entry", &h));
    EXPECT_FALSE(reg.HasKey(kHklm, "K\\New")) << "nothing created on the way";

    reg.CreatePath(kHklm, "K\\Pinned");
    reg.SetFaults(kHklm, "K\\Pinned", FakeRegistry::kFailDelete);
    EXPECT_EQ(kRegAccessDenied, reg.DeleteKey(kHkeyLocalMachine, "K\\Pinned"));
    EXPECT_TRUE(reg.HasKey(kHklm, "K\\Pinned"));
    EXPECT_EQ(0u, reg.OpenHandles());
}

// Seeding and inspection in both forms of text. The u"" literals holding
// characters outside code page 936 stay out of the assertion macros.
TEST(FakeRegistryText, SeedsAndViewsInBothForms) {
    FakeRegistry reg;
    const WideString scripts = u"D:\\Ångström;E:\\Ελληνικά";
    reg.SetWideString(kHkcu, "P", "Wide", scripts);
    reg.SetWideString(kHkcu, "P", "Expand", u"%APPDATA%\\x", kRegExpandSz);
    reg.SetString(kHkcu, "P", "Ansi", "C:\\批");
    reg.SetRaw(kHkcu, "P", "Raw", kRegSz, {'a', 'b'});  // as the ANSI call: converted, no NUL
    reg.SetRawWide(kHkcu, "P", "Odd", kRegSz, {'a', 0, 'b'});

    EXPECT_EQ(scripts, reg.GetWideString(kHkcu, "P", "wide"));
    EXPECT_EQ("D:\\?ngstr?m;E:\\Ελληνικ?", reg.GetString(kHkcu, "P", "Wide"));
    const auto ansi = reg.GetValue(kHkcu, "P", "Ansi");
    ASSERT_TRUE(ansi);
    EXPECT_EQ((std::vector<unsigned char>{'C', ':', '\\', 0xC5, 0xFA, 0}), ansi->data);
    const auto stored = reg.GetValueWide(kHkcu, "P", "Ansi");
    ASSERT_TRUE(stored);
    EXPECT_EQ(Utf16Bytes(u"C:\\批"), stored->data) << "kept as UTF-16";
    EXPECT_EQ(Utf16Bytes(u"ab", false), reg.GetValueWide(kHkcu, "P", "Raw")->data);
    EXPECT_EQ(u"a", reg.GetWideString(kHkcu, "P", "Odd")) << "half a code unit is no character";
    EXPECT_EQ("a", reg.GetString(kHkcu, "P", "Odd"));
    EXPECT_EQ(kRegExpandSz, reg.GetValue(kHkcu, "P", "Expand")->type);

    const std::string dump = reg.Dump();
    EXPECT_NE(std::string::npos, dump.find("REG_EXPAND_SZ \"%APPDATA%\\x\""));
    EXPECT_NE(std::string::npos, dump.find("REG_SZ \"C:\\批\""));
}

TEST(FakeRegistryText, WideCallsAreCountedAndFailLikeTheAnsiOnes) {
    FakeRegistry reg;
    reg.SetWideString(kHkcu, "K", "V", u"x");
    RegHandle h = 0;
    ASSERT_EQ(kRegOk, reg.OpenKey(kHkeyCurrentUser, "K", &h));
    unsigned char buf[8];
    std::uint32_t size = sizeof buf, type = 0;
    EXPECT_EQ(kRegOk, reg.QueryValueWide(h, "V", &type, buf, &size));
    EXPECT_EQ(4u, size);
    EXPECT_EQ(kRegOk, reg.SetValueWide(h, "W", kRegSz, buf, size));
    EXPECT_EQ(1u, reg.Calls().queryValueWide);
    EXPECT_EQ(1u, reg.Calls().setValueWide);
    EXPECT_EQ(0u, reg.Calls().queryValue + reg.Calls().setValue);

    reg.SetFaults(kHkcu, "K", FakeRegistry::kFailReadValue | FakeRegistry::kFailWrite);
    size = sizeof buf;
    EXPECT_EQ(kRegAccessDenied, reg.QueryValueWide(h, "V", &type, buf, &size));
    EXPECT_EQ(kRegAccessDenied, reg.SetValueWide(h, "W", kRegSz, buf, 4));
    reg.CloseKey(h);
    EXPECT_EQ(kRegInvalidHandle, reg.QueryValueWide(h, "V", &type, buf, &size));
}

// Seeded values listed through the interface: each once, text as UTF-16
// whichever way it was seeded; the listing is a read, counted and failing
// as one.
TEST(FakeRegistryValues, EnumValueWideListsEachSeededValueOnce) {
    FakeRegistry reg;
    reg.SetString(kHkcu, "K", "路径", "C:\\Tarnix批打印软件");
    reg.SetDword(kHkcu, "K", "N", 0x01020304);
    reg.SetString(kHkcu, "K", "", "默认");
    reg.CreatePath(kHkcu, "K\\Sub");
    reg.SetDword(kHkcu, "K\\Sub", "Other", 1);
    RegHandle h = 0, sub = 0;
    ASSERT_EQ(kRegOk, reg.OpenKeyRead(kHkeyCurrentUser, "K", &h));
    ASSERT_EQ(kRegOk, reg.CreateKey(kHkeyCurrentUser, "Empty", &sub));

    std::map<std::string, RegValueData> seen;
    std::string name;
    RegValueData v;
    std::uint32_t i = 0;
    long rc = kRegOk;
    for (; i < 10; ++i) {
        rc = reg.EnumValueWide(h, i, &name, &v.type, &v.data);
        if (rc != kRegOk) break;
        EXPECT_TRUE(seen.emplace(name, v).second) << "listed twice: " << name;
    }
    EXPECT_EQ(kRegNoMoreItems, rc);
    EXPECT_EQ(3u, i);
    ASSERT_EQ(3u, seen.size());
    EXPECT_EQ(kRegSz, seen["路径"].type);
    EXPECT_EQ(Utf16Bytes(u"C:\\Tarnix批打印软件"), seen["路径"].data);
    EXPECT_EQ(kRegDword, seen["N"].type);
    EXPECT_EQ((std::vector<unsigned char>{4, 3, 2, 1}), seen["N"].data);
    EXPECT_EQ(Utf16Bytes(u"默认"), seen[""].data) << "the default value";
    EXPECT_EQ(kRegNoMoreItems, reg.EnumValueWide(sub, 0, &name, &v.type, &v.data));
    EXPECT_EQ(5u, reg.Calls().enumValueWide);

    reg.SetFaults(kHkcu, "K", FakeRegistry::kFailReadValue);
    EXPECT_EQ(kRegAccessDenied, reg.EnumValueWide(h, 0, &name, &v.type, &v.data));
    reg.CloseKey(h);
    reg.CloseKey(sub);
    EXPECT_EQ(kRegInvalidHandle, reg.EnumValueWide(h, 0, &name, &v.type, &v.data));
}

TEST(FakeRegistryNames, LongDoubleByteNamesDoNotFitTheNameBuffer) {
    FakeRegistry reg;
    std::string longName;
    for (int i = 0; i < 128; ++i) longName += "中";  // 256 bytes
    reg.CreatePath(kHklm, "K\\" + longName);
    RegHandle h = 0;
    ASSERT_EQ(kRegOk, reg.OpenKeyRead(kHkeyLocalMachine, "K", &h));
    char name[256];
    std::uint32_t cap = sizeof name;
    EXPECT_EQ(kRegMoreData, reg.EnumKey(h, 0, name, &cap));
    reg.CloseKey(h);
}

}  // namespace
}  // namespace tx
