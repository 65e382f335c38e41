// Behaviour every IRegistry must show, run against the in-memory fake
// natively and against the real registry under Wine, so that the fake keeps
// copying what Windows does. The literals are compiled to code page 936.
//
// A program includes this once and instantiates RegistryContract with its
// implementation. Each test works below HKLM\SOFTWARE\TarnixTest\<test>.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace tx {

struct RegistryUnderTest {
    const char* label;
    std::function<std::unique_ptr<IRegistry>()> make;
    // Handles still open, or -1 when the implementation cannot tell.
    std::function<long(IRegistry&)> openHandles;
};

inline std::string PrintToString(const RegistryUnderTest& r) { return r.label; }

class RegistryContract : public ::testing::TestWithParam<RegistryUnderTest> {
protected:
    static constexpr const char* kTestRoot = "SOFTWARE\\TarnixTest";

    void SetUp() override {
        reg_ = GetParam().make();
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : name)
            if (c == '/') c = '_';
        basePath_ = std::string(kTestRoot) + "\\" + name;
        DeleteTree(kHkeyLocalMachine, basePath_);
        base_ = std::make_unique<UniqueRegKey>(*reg_);
        ASSERT_EQ(kRegOk, reg_->CreateKey(kHkeyLocalMachine, basePath_.c_str(), base_->put()));
    }

    void TearDown() override {
        if (base_) base_->reset();
        DeleteTree(kHkeyLocalMachine, basePath_);
        // Fails while other tests still use the root: the last one removes it.
        (void)reg_->DeleteKey(kHkeyLocalMachine, kTestRoot);
        EXPECT_FALSE(Exists(basePath_));
        if (GetParam().openHandles) {
            EXPECT_EQ(0, GetParam().openHandles(*reg_)) << "a handle leaked";
        }
    }

    // Removes path and everything below it.
    void DeleteTree(RegHandle parent, const std::string& path) {
        {
            UniqueRegKey key(*reg_);
            if (reg_->OpenKey(parent, path.c_str(), key.put()) != kRegOk) return;
            for (const std::string& child : Names(key.get())) DeleteTree(key.get(), child);
        }
        // What stays is seen by the check after it.
        (void)reg_->DeleteKey(parent, path.c_str());
    }

    std::vector<std::string> Names(RegHandle key) {
        std::vector<std::string> names;
        for (std::uint32_t i = 0;; ++i) {
            char name[256];
            std::uint32_t cap = sizeof name;
            const long rc = reg_->EnumKey(key, i, name, &cap);
            if (rc == kRegNoMoreItems) break;
            EXPECT_EQ(kRegOk, rc);
            if (rc != kRegOk) break;
            names.emplace_back(name, cap);
        }
        return names;
    }

    bool Exists(const std::string& pathBelowLocalMachine) {
        UniqueRegKey key(*reg_);
        return reg_->OpenKeyRead(kHkeyLocalMachine, pathBelowLocalMachine.c_str(), key.put()) == kRegOk;
    }

    long SetText(RegHandle key, const char* name, const std::string& text) {
        return reg_->SetValue(key, name, kRegSz, reinterpret_cast<const unsigned char*>(text.c_str()),
                              static_cast<std::uint32_t>(text.size() + 1));
    }

    // The stored bytes, or the error.
    long Read(RegHandle key, const char* name, std::uint32_t& type, std::vector<unsigned char>& data) {
        unsigned char buf[512];
        std::uint32_t size = sizeof buf;
        const long rc = reg_->QueryValue(key, name, &type, buf, &size);
        if (rc == kRegOk) data.assign(buf, buf + size);
        return rc;
    }

    // UTF-16LE bytes of text, and the stored bytes of a value read wide.
    static std::vector<unsigned char> Le(const std::u16string& text, bool withNul = true) {
        std::vector<unsigned char> bytes;
        for (char16_t c : text) {
            bytes.push_back(static_cast<unsigned char>(c & 0xFF));
            bytes.push_back(static_cast<unsigned char>(c >> 8));
        }
        if (withNul) bytes.insert(bytes.end(), 2, 0);
        return bytes;
    }
    long SetWide(RegHandle key, const char* name, std::uint32_t type,
                 const std::vector<unsigned char>& bytes) {
        return reg_->SetValueWide(key, name, type, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    }
    long ReadWide(RegHandle key, const char* name, std::uint32_t& type,
                  std::vector<unsigned char>& data) {
        unsigned char buf[512];
        std::uint32_t size = sizeof buf;
        const long rc = reg_->QueryValueWide(key, name, &type, buf, &size);
        if (rc == kRegOk) data.assign(buf, buf + size);
        return rc;
    }

    struct Listed {
        std::uint32_t type = 0;
        std::vector<unsigned char> data;
    };
    // Every value of key through EnumValueWide, by name; a name listed twice
    // fails the test. Stops at the first status other than kRegOk, which
    // must be kRegNoMoreItems.
    std::map<std::string, Listed> ListValues(RegHandle key) {
        std::map<std::string, Listed> values;
        for (std::uint32_t i = 0; i < 1000; ++i) {
            std::string name;
            Listed v;
            const long rc = reg_->EnumValueWide(key, i, &name, &v.type, &v.data);
            if (rc != kRegOk) {
                EXPECT_EQ(kRegNoMoreItems, rc) << "at index " << i;
                break;
            }
            EXPECT_TRUE(values.emplace(name, std::move(v)).second) << "listed twice: " << name;
        }
        return values;
    }

    RegHandle base() const { return base_->get(); }

    std::unique_ptr<IRegistry> reg_;
    std::unique_ptr<UniqueRegKey> base_;
    std::string basePath_;
};

TEST_P(RegistryContract, PathsCreateEveryLevelAndOpenByFullPath) {
    UniqueRegKey leaf(*reg_);
    ASSERT_EQ(kRegOk, reg_->CreateKey(base(), "a\\b\\c", leaf.put()));
    EXPECT_TRUE(leaf);
    EXPECT_TRUE(Exists(basePath_ + "\\a\\b\\c\\")) << "a trailing separator is accepted";
    EXPECT_TRUE(Exists(basePath_ + "\\a\\\\b\\c")) << "a doubled separator is accepted";

    UniqueRegKey k(*reg_);
    EXPECT_EQ(kRegBadPathname, reg_->OpenKey(kHkeyLocalMachine, ("\\" + basePath_).c_str(), k.put()));
    EXPECT_FALSE(k);
    EXPECT_EQ(kRegNotFound, reg_->OpenKey(base(), "a\\missing", k.put()));
    EXPECT_FALSE(k);
    EXPECT_EQ(kRegNotFound, reg_->OpenKeyRead(base(), "missing", k.put()));

    // Empty paths would name the parent itself.
    EXPECT_EQ(kRegInvalidParameter, reg_->OpenKey(base(), "", k.put()));
    EXPECT_EQ(kRegInvalidParameter, reg_->CreateKey(base(), "", k.put()));
    EXPECT_EQ(kRegInvalidParameter, reg_->DeleteKey(base(), ""));
    EXPECT_TRUE(Exists(basePath_));

    // Opening "" for reading is a second, independent handle.
    UniqueRegKey again(*reg_);
    ASSERT_EQ(kRegOk, reg_->OpenKeyRead(base(), "", again.put()));
    EXPECT_NE(base(), again.get());
    again.reset();
    std::uint32_t n = 0;
    EXPECT_EQ(kRegOk, reg_->QuerySubkeyCount(base(), &n));
    EXPECT_EQ(1u, n);
}

TEST_P(RegistryContract, DeleteRemovesOnlyTheLastLevelAndNeverAKeyWithSubkeys) {
    UniqueRegKey k(*reg_);
    ASSERT_EQ(kRegOk, reg_->CreateKey(base(), "a\\b", k.put()));
    ASSERT_EQ(kRegOk, SetText(k.get(), "V", "x"));
    k.reset();

    EXPECT_EQ(kRegAccessDenied, reg_->DeleteKey(base(), "a"));
    EXPECT_TRUE(Exists(basePath_ + "\\a\\b"));

    EXPECT_EQ(kRegOk, reg_->DeleteKey(base(), "a\\b"));
    EXPECT_FALSE(Exists(basePath_ + "\\a\\b"));
    EXPECT_TRUE(Exists(basePath_ + "\\a"));
    EXPECT_EQ(kRegOk, reg_->DeleteKey(base(), "a\\"));
    EXPECT_EQ(kRegNotFound, reg_->DeleteKey(base(), "a"));

    // Recreated, the key starts without the values it had.
    ASSERT_EQ(kRegOk, reg_->CreateKey(base(), "a\\b", k.put()));
    std::uint32_t type = 0;
    std::vector<unsigned char> data;
    EXPECT_EQ(kRegNotFound, Read(k.get(), "V", type, data));
}

TEST_P(RegistryContract, HandleToADeletedKeyFails) {
    UniqueRegKey d(*reg_);
    ASSERT_EQ(kRegOk, reg_->CreateKey(base(), "d", d.put()));
    ASSERT_EQ(kRegOk, reg_->DeleteKey(base(), "d"));
    EXPECT_EQ(kRegKeyDeleted, SetText(d.get(), "V", "x"));
    std::uint32_t n = 0;
    EXPECT_EQ(kRegKeyDeleted, reg_->QuerySubkeyCount(d.get(), &n));
    UniqueRegKey sub(*reg_);
    EXPECT_EQ(kRegKeyDeleted, reg_->CreateKey(d.get(), "sub", sub.put()));
    std::string name;
    std::uint32_t type = 0;
    std::vector<unsigned char> data;
    EXPECT_EQ(kRegKeyDeleted, reg_->EnumValueWide(d.get(), 0, &name, &type, &data));
    EXPECT_FALSE(Exists(basePath_ + "\\d"));
}

TEST_P(RegistryContract, NamesAreCaseInsensitiveAndEnumeratedSorted) {
    for (const char* name : {"b", "A", "c", "B2", "a1", "a"}) {
        UniqueRegKey k(*reg_);
        ASSERT_EQ(kRegOk, reg_->CreateKey(base(), name, k.put())) << name;
    }
    // "a" reopened "A"; the first spelling is kept.
    EXPECT_EQ((std::vector<std::string>{"A", "a1", "b", "B2", "c"}), Names(base()));
    std::uint32_t n = 0;
    EXPECT_EQ(kRegOk, reg_->QuerySubkeyCount(base(), &n));
    EXPECT_EQ(5u, n);

    UniqueRegKey k(*reg_);
    EXPECT_EQ(kRegOk, reg_->OpenKeyRead(base(), "C", k.put()));
    EXPECT_EQ(kRegOk, reg_->OpenKey(kHkeyLocalMachine, (basePath_ + "\\b2").c_str(), k.put()));
    EXPECT_EQ(kRegOk, SetText(k.get(), "Value", "v"));
    std::uint32_t type = 0;
    std::vector<unsigned char> data;
    EXPECT_EQ(kRegOk, Read(k.get(), "VALUE", type, data));

    // Full-width letters of code page 936 have a case too.
    ASSERT_EQ(kRegOk, reg_->CreateKey(base(), "ａｂ", k.put()));
    EXPECT_EQ(kRegOk, reg_->OpenKeyRead(base(), "Ａｂ", k.put()));
}

TEST_P(RegistryContract, EnumKeyNeedsRoomForTheNul) {
    UniqueRegKey k(*reg_);
    ASSERT_EQ(kRegOk, reg_->CreateKey(base(), "abc", k.put()));
    char name[8];
    std::memset(name, '#', sizeof name);
    std::uint32_t cap = 3;
    EXPECT_EQ(kRegMoreData, reg_->EnumKey(base(), 0, name, &cap));
    EXPECT_EQ(3u, cap) << "capacity left alone";
    EXPECT_EQ('#', name[0]) << "buffer left alone";

    cap = 4;
    ASSERT_EQ(kRegOk, reg_->EnumKey(base(), 0, name, &cap));
    EXPECT_EQ(3u, cap);
    EXPECT_STREQ("abc", name);
    cap = sizeof name;
    EXPECT_EQ(kRegNoMoreItems, reg_->EnumKey(base(), 1, name, &cap));
}

TEST_P(RegistryContract, ValuesRoundTripWithTheirTypesAndSizes) {
    ASSERT_EQ(kRegOk, SetText(base(), "Text", "C:\\Program Files\\x"));
    const unsigned char two[4] = {2, 0, 0, 0};
    ASSERT_EQ(kRegOk, reg_->SetValue(base(), "Number", kRegDword, two, 4));

    std::uint32_t type = 0;
    std::vector<unsigned char> data;
    ASSERT_EQ(kRegOk, Read(base(), "text", type, data));
    EXPECT_EQ(kRegSz, type);
    const char expected[] = "C:\\Program Files\\x";
    EXPECT_EQ(std::vector<unsigned char>(expected, expected + sizeof expected), data)
        << "REG_SZ data counts its NUL";

    ASSERT_EQ(kRegOk, Read(base(), "Number", type, data));
    EXPECT_EQ(kRegDword, type);
    EXPECT_EQ(std::vector<unsigned char>(two, two + 4), data);

    // Too small a buffer: the size needed comes back.
    unsigned char small[4];
    std::uint32_t size = sizeof small;
    EXPECT_EQ(kRegMoreData, reg_->QueryValue(base(), "Text", &type, small, &size));
    EXPECT_EQ(sizeof expected, size);
    size = sizeof small;
    EXPECT_EQ(kRegNotFound, reg_->QueryValue(base(), "Missing", &type, small, &size));

    // Overwriting replaces type and data.
    ASSERT_EQ(kRegOk, SetText(base(), "Number", "2"));
    ASSERT_EQ(kRegOk, Read(base(), "Number", type, data));
    EXPECT_EQ(kRegSz, type);
    EXPECT_EQ(2u, data.size());
}

TEST_P(RegistryContract, Cp936NamesAndValuesStayWhole) {
    // "\x95\x5c" is one character whose second byte is '\'.
    const std::string trail5c = "\x95\x5c";
    const std::string name = "中文" + trail5c;
    UniqueRegKey k(*reg_);
    ASSERT_EQ(kRegOk, reg_->CreateKey(base(), (name + "\\表").c_str(), k.put()));
    EXPECT_EQ((std::vector<std::string>{name}), Names(base()))
        << "the trail byte did not split the name";
    EXPECT_TRUE(Exists(basePath_ + "\\" + name + "\\表"));

    const std::string text = "C:\\Tarnix批打印软件" + trail5c;
    ASSERT_EQ(kRegOk, SetText(k.get(), "路径", text));
    std::uint32_t type = 0;
    std::vector<unsigned char> data;
    ASSERT_EQ(kRegOk, Read(k.get(), "路径", type, data));
    EXPECT_EQ(kRegSz, type);
    ASSERT_EQ(text.size() + 1, data.size());
    EXPECT_EQ(text, std::string(data.begin(), data.end() - 1));
}

// Text is stored as UTF-16: the wide calls keep every character, the ANSI
// calls convert with the code page and lose what it lacks. The u"" literals
// with such characters stay out of the assertion macros, which quote their
// arguments as narrow text.
TEST_P(RegistryContract, WideTextValuesKeepEveryCharacter) {
    const std::u16string scripts = u"D:\\Ångström;C:\\한국어;E:\\Ελληνικά;F:\\😀";
    ASSERT_EQ(kRegOk, SetWide(base(), "TRUSTEDPATHS", kRegSz, Le(scripts)));
    std::uint32_t type = 0;
    std::vector<unsigned char> data;
    ASSERT_EQ(kRegOk, ReadWide(base(), "trustedpaths", type, data));
    EXPECT_EQ(kRegSz, type);
    EXPECT_EQ(Le(scripts), data) << "as stored, terminator included";

    ASSERT_EQ(kRegOk, Read(base(), "TRUSTEDPATHS", type, data));
    const char lossy[] = "D:\\?ngstr?m;C:\\???;E:\\Ελληνικ?;F:\\??";
    EXPECT_EQ(std::vector<unsigned char>(lossy, lossy + sizeof lossy), data)
        << "the ANSI call turns what code page 936 lacks into '?'";

    // REG_EXPAND_SZ is text as well, and keeps its type; a text stored
    // without its terminator comes back without one.
    const std::u16string expand = u"%USERPROFILE%\\Ødegård";
    ASSERT_EQ(kRegOk, SetWide(base(), "Expand", kRegExpandSz, Le(expand)));
    ASSERT_EQ(kRegOk, ReadWide(base(), "Expand", type, data));
    EXPECT_EQ(kRegExpandSz, type);
    EXPECT_EQ(Le(expand), data);
    // (The unit after the data is no NUL: Windows would count a NUL there
    // as the terminator the caller forgot.)
    const std::vector<unsigned char> abx = Le(u"abx");
    ASSERT_EQ(kRegOk, reg_->SetValueWide(base(), "Bare", kRegSz, abx.data(), 4));
    ASSERT_EQ(kRegOk, ReadWide(base(), "Bare", type, data));
    EXPECT_EQ(Le(u"ab", false), data);
}

TEST_P(RegistryContract, AnsiAndWideCallsMeetInTheSameValue) {
    // Written through the ANSI call, read wide: converted from code page 936.
    ASSERT_EQ(kRegOk, SetText(base(), "路径", "C:\\Tarnix批打印软件"));
    std::uint32_t type = 0;
    std::vector<unsigned char> data;
    ASSERT_EQ(kRegOk, ReadWide(base(), "路径", type, data)) << "value names are ANSI in both";
    EXPECT_EQ(kRegSz, type);
    EXPECT_EQ(Le(u"C:\\Tarnix批打印软件"), data);

    // Written wide, read through the ANSI call.
    ASSERT_EQ(kRegOk, SetWide(base(), "中文名", kRegSz, Le(u"D:\\发码")));
    ASSERT_EQ(kRegOk, Read(base(), "中文名", type, data));
    const char ansi[] = "D:\\发码";
    EXPECT_EQ(std::vector<unsigned char>(ansi, ansi + sizeof ansi), data);

    // REG_MULTI_SZ is converted too, every string of it.
    const char multi[] = "a\0中\0";  // and the array's NUL ends the list
    ASSERT_EQ(kRegOk, reg_->SetValue(base(), "List", kRegMultiSz,
                                     reinterpret_cast<const unsigned char*>(multi), sizeof multi));
    ASSERT_EQ(kRegOk, ReadWide(base(), "List", type, data));
    EXPECT_EQ(kRegMultiSz, type);
    EXPECT_EQ(Le(std::u16string(u"a\0中\0", 4)), data);

    // Other types are bytes for both calls.
    const unsigned char two[4] = {2, 0, 0, 0};
    ASSERT_EQ(kRegOk, reg_->SetValueWide(base(), "Number", kRegDword, two, 4));
    ASSERT_EQ(kRegOk, Read(base(), "Number", type, data));
    EXPECT_EQ(kRegDword, type);
    EXPECT_EQ(std::vector<unsigned char>(two, two + 4), data);
    ASSERT_EQ(kRegOk, ReadWide(base(), "Number", type, data));
    EXPECT_EQ(std::vector<unsigned char>(two, two + 4), data);
}

TEST_P(RegistryContract, WideReadNeedsRoomForEveryByte) {
    const std::vector<unsigned char> text = Le(u"C:\\xy");  // 5 units and the NUL: 12 bytes
    ASSERT_EQ(kRegOk, SetWide(base(), "V", kRegSz, text));
    unsigned char small[11];
    std::uint32_t size = sizeof small;
    std::uint32_t type = 0;
    EXPECT_EQ(kRegMoreData, reg_->QueryValueWide(base(), "V", &type, small, &size));
    EXPECT_EQ(12u, size) << "the size needed comes back";
    size = 0;
    EXPECT_EQ(kRegOk, reg_->QueryValueWide(base(), "V", &type, nullptr, &size));
    EXPECT_EQ(12u, size);
    size = sizeof small;
    EXPECT_EQ(kRegNotFound, reg_->QueryValueWide(base(), "Missing", &type, small, &size));

    UniqueRegKey k(*reg_);
    ASSERT_EQ(kRegOk, reg_->OpenKeyRead(kHkeyLocalMachine, basePath_.c_str(), k.put()));
    EXPECT_EQ(kRegAccessDenied, SetWide(k.get(), "V", kRegSz, text)) << "a read handle cannot write";
}

TEST_P(RegistryContract, ReadHandlesCannotWrite) {
    UniqueRegKey k(*reg_);
    ASSERT_EQ(kRegOk, reg_->OpenKeyRead(kHkeyLocalMachine, basePath_.c_str(), k.put()));
    EXPECT_EQ(kRegAccessDenied, SetText(k.get(), "V", "x"));
    UniqueRegKey w(*reg_);
    ASSERT_EQ(kRegOk, reg_->OpenKey(kHkeyLocalMachine, basePath_.c_str(), w.put()));
    EXPECT_EQ(kRegOk, SetText(w.get(), "V", "x"));
}

TEST_P(RegistryContract, RootHandlesMayBeClosed) {
    UniqueRegKey root(*reg_);
    ASSERT_EQ(kRegOk, reg_->OpenRoot(RegRoot::LocalMachine, root.put()));
    ASSERT_TRUE(root);
    UniqueRegKey k(*reg_);
    EXPECT_EQ(kRegOk, reg_->OpenKeyRead(root.get(), basePath_.c_str(), k.put()));
    k.reset();
    root.reset();
    EXPECT_EQ(kRegOk, reg_->OpenKeyRead(kHkeyLocalMachine, basePath_.c_str(), k.put()))
        << "the predefined key still works after its handle was closed";
}

// Text set through either call reads back through the other as Windows
// converts it: UTF-16LE with its NUL, or the code page's bytes with theirs.
// A deleted value is gone and a second delete says so; the value count
// follows.
TEST_P(RegistryContract, WideAndAnsiValuesMeetAndValuesCanBeDeleted) {
    ASSERT_EQ(kRegOk, SetText(base(), "Ansi", "C:\\Tarnix"));
    unsigned char buf[64];
    std::uint32_t size = 4;
    std::uint32_t type = 0;
    EXPECT_EQ(kRegMoreData, reg_->QueryValueWide(base(), "Ansi", &type, buf, &size));
    EXPECT_EQ(20u, size) << "the size a wide read needs";
    size = sizeof buf;
    ASSERT_EQ(kRegOk, reg_->QueryValueWide(base(), "Ansi", &type, buf, &size));
    EXPECT_EQ(kRegSz, type);
    const unsigned char wide[] = {'C', 0, ':', 0, '\\', 0, 'T', 0, 'a', 0, 'r', 0, 'n', 0, 'i', 0, 'x', 0, 0, 0};
    EXPECT_EQ(std::vector<unsigned char>(wide, wide + sizeof wide), std::vector<unsigned char>(buf, buf + size));

    const unsigned char d[] = {'D', 0, ';', 0, 'E', 0, 0, 0};
    ASSERT_EQ(kRegOk, reg_->SetValueWide(base(), "Wide", kRegSz, d, sizeof d));
    std::vector<unsigned char> ansi;
    ASSERT_EQ(kRegOk, Read(base(), "Wide", type, ansi));
    EXPECT_EQ((std::vector<unsigned char>{'D', ';', 'E', 0}), ansi);
    size = sizeof buf;
    ASSERT_EQ(kRegOk, reg_->QueryValueWide(base(), "Wide", &type, buf, &size));
    EXPECT_EQ(std::vector<unsigned char>(d, d + sizeof d), std::vector<unsigned char>(buf, buf + size))
        << "byte for byte as set";

    std::uint32_t count = 0;
    ASSERT_EQ(kRegOk, reg_->QueryValueCount(base(), &count));
    EXPECT_EQ(2u, count);
    EXPECT_EQ(kRegOk, reg_->DeleteValue(base(), "wide")) << "names without case";
    EXPECT_EQ(kRegNotFound, reg_->DeleteValue(base(), "Wide"));
    size = sizeof buf;
    EXPECT_EQ(kRegNotFound, reg_->QueryValueWide(base(), "Wide", &type, buf, &size));
    ASSERT_EQ(kRegOk, reg_->QueryValueCount(base(), &count));
    EXPECT_EQ(1u, count);
}

// A key's whole content as it is captured before the key is rewritten:
// every value once, under the name it was first given (converted to code
// page 936), with its type and its data as stored, whatever its size.
TEST_P(RegistryContract, EnumValueWideListsEveryValueOnceAsStored) {
    const std::vector<unsigned char> path = Le(u"C:\\Tarnix批打印软件;D:\\Ångström");
    ASSERT_EQ(kRegOk, SetWide(base(), "路径", kRegSz, path));
    ASSERT_EQ(kRegOk, SetText(base(), nullptr, "默认"));
    const unsigned char one[4] = {1, 0, 0, 0};
    const unsigned char seven[4] = {7, 0, 0, 0};
    ASSERT_EQ(kRegOk, reg_->SetValue(base(), "Number", kRegDword, one, 4));
    ASSERT_EQ(kRegOk, reg_->SetValue(base(), "NUMBER", kRegDword, seven, 4));
    const std::vector<unsigned char> abx = Le(u"abx");
    ASSERT_EQ(kRegOk, reg_->SetValueWide(base(), "Bare", kRegSz, abx.data(), 4));
    // Longer than any fixed first buffer of 1 KB.
    std::u16string longText;
    for (int i = 0; i < 400; ++i) longText += u"D:\\批;";
    const std::vector<unsigned char> longData = Le(longText);
    ASSERT_GT(longData.size(), 3000u);
    ASSERT_EQ(kRegOk, SetWide(base(), "TRUSTEDPATHS", kRegExpandSz, longData));
    UniqueRegKey empty(*reg_);
    ASSERT_EQ(kRegOk, reg_->CreateKey(base(), "Empty", empty.put()));

    // Through a read handle: capturing changes nothing.
    UniqueRegKey k(*reg_);
    ASSERT_EQ(kRegOk, reg_->OpenKeyRead(kHkeyLocalMachine, basePath_.c_str(), k.put()));
    const std::map<std::string, Listed> values = ListValues(k.get());
    std::uint32_t count = 0;
    ASSERT_EQ(kRegOk, reg_->QueryValueCount(k.get(), &count));
    EXPECT_EQ(5u, count);
    EXPECT_EQ(count, values.size()) << "subkeys are no values";

    auto at = [&](const std::string& name) -> const Listed* {
        auto it = values.find(name);
        return it == values.end() ? nullptr : &it->second;
    };
    const Listed* v = at("路径");
    ASSERT_NE(nullptr, v);
    EXPECT_EQ(kRegSz, v->type);
    EXPECT_EQ(path, v->data) << "UTF-16LE with its NUL, every character kept";
    ASSERT_NE(nullptr, v = at(""));
    EXPECT_EQ(kRegSz, v->type);
    EXPECT_EQ(Le(u"默认"), v->data) << "the default value, converted when set through the ANSI call";
    ASSERT_NE(nullptr, v = at("Number")) << "the first spelling of the name";
    EXPECT_EQ(kRegDword, v->type);
    EXPECT_EQ(std::vector<unsigned char>(seven, seven + 4), v->data);
    ASSERT_NE(nullptr, v = at("Bare"));
    EXPECT_EQ(Le(u"ab", false), v->data) << "stored without its terminator, listed without one";
    ASSERT_NE(nullptr, v = at("TRUSTEDPATHS"));
    EXPECT_EQ(kRegExpandSz, v->type);
    EXPECT_EQ(longData.size(), v->data.size());
    EXPECT_TRUE(longData == v->data);

    std::string name;
    std::uint32_t type = 0;
    std::vector<unsigned char> data;
    EXPECT_EQ(kRegNoMoreItems, reg_->EnumValueWide(empty.get(), 0, &name, &type, &data))
        << "a key without values";
    EXPECT_EQ(kRegNoMoreItems, reg_->EnumValueWide(k.get(), count, &name, &type, &data));
    EXPECT_EQ(kRegInvalidParameter, reg_->EnumValueWide(k.get(), 0, nullptr, &type, &data));
}

}  // namespace tx
