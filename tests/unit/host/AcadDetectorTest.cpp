// The literals are compiled to code page 936.
#include "host/AcadDetector.h"

#include <gtest/gtest.h>

#include "tests/fakes/FakeRegistry.h"

namespace tx {
namespace {

const std::string kNative = "SOFTWARE\\Autodesk\\AutoCAD\\";
const std::string kWow = "SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD\\";
constexpr RegRoot kHklm = RegRoot::LocalMachine;

int Index(int year) { return year - 2007; }

class DetectionTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(0u, reg_.OpenHandles()) << "a registry key was left open";
        EXPECT_EQ(0u, reg_.BadHandleUses());
    }

    // Both values at tree\path.
    void Product(const std::string& tree, const std::string& path, const std::string& location,
                 const std::string& name) {
        reg_.SetString(kHklm, tree + path, "AcadLocation", location);
        reg_.SetString(kHklm, tree + path, "ProductName", name);
    }

    void Detect() { detector_.DetectAcadReleases(info_); }

    int Found() const {
        int n = 0;
        for (int r = 0; r < kReleaseCount; ++r) {
            EXPECT_EQ(info_.m_arrAcadLocation[r].size(), info_.m_arrProductKey[r].size());
            n += static_cast<int>(info_.m_arrProductKey[r].size());
        }
        return n;
    }

    FakeRegistry reg_;
    CodePage cp_{936};
    AcadDetector detector_{reg_, cp_};
    CAcadInfo info_;
};

TEST_F(DetectionTest, NoAutoCadTreesLeaveEveryListEmpty) {
    reg_.CreatePath(kHklm, "SOFTWARE\\Autodesk\\Maya");
    Detect();
    EXPECT_EQ(0, Found());
    EXPECT_EQ(2u, reg_.Calls().openRoot) << "one root per pass";
    EXPECT_EQ(2u, reg_.Calls().closeKey);
}

TEST_F(DetectionTest, ValuesAtTheReleaseKeyItselfAreRecordedWithTheBasePath) {
    Product(kNative, "R18.0", "C:\\AutoCAD 2010", "AutoCAD 2010");
    Detect();
    ASSERT_EQ(1, Found());
    EXPECT_EQ(StringList{kNative + "R18.0\\"}, info_.m_arrProductKey[Index(2010)]);
    EXPECT_EQ(StringList{"C:\\AutoCAD 2010"}, info_.m_arrAcadLocation[Index(2010)]);
}

TEST_F(DetectionTest, ProductKeysAreFoundAtAnyDepthInEnumerationOrder) {
    // Seeded out of order: the registry's enumeration order decides.
    Product(kNative, "R20.0\\ACAD-E001:804", "D:\\cad b", "AutoCAD 2015 - 简体中文");
    Product(kNative, "R20.0\\ACAD-E000:409", "D:\\cad a", "AutoCAD 2015 - English");
    Product(kNative, "R20.0\\Deeper\\Level\\ACAD-E002:409", "D:\\cad c", "AutoCAD 2015");
    Product(kNative, "R20.0\\ACAD-E003:409", "D:\\cad d", "2015 AutoCAD 2015");  // starts with its year
    Detect();
    EXPECT_EQ((StringList{kNative + "R20.0\\ACAD-E000:409\\", kNative + "R20.0\\ACAD-E001:804\\",
                          kNative + "R20.0\\Deeper\\Level\\ACAD-E002:409\\"}),
              info_.m_arrProductKey[Index(2015)]);
    EXPECT_EQ((StringList{"D:\\cad a", "D:\\cad b", "D:\\cad c"}), info_.m_arrAcadLocation[Index(2015)]);
    EXPECT_EQ(3, Found());
}

TEST_F(DetectionTest, ThirtyTwoBitTreeComesFirstAndOnlyServes2007To2009) {
    Product(kNative, "R17.1\\ACAD-6001:804", "C:\\native", "AutoCAD 2008");
    Product(kWow, "R17.1\\ACAD-6001:804", "C:\\wow", "AutoCAD 2008");
    Product(kWow, "R18.0\\ACAD-8001:804", "C:\\wow 2010", "AutoCAD 2010");
    Product(kWow, "R17.2\\ACAD-7001:804", "C:\\wow 2009", "AutoCAD 2009 and 2010");
    Detect();
    EXPECT_EQ((StringList{kWow + "R17.1\\ACAD-6001:804\\", kNative + "R17.1\\ACAD-6001:804\\"}),
              info_.m_arrProductKey[Index(2008)]);
    EXPECT_EQ((StringList{"C:\\wow", "C:\\native"}), info_.m_arrAcadLocation[Index(2008)]);
    EXPECT_TRUE(info_.m_arrProductKey[Index(2010)].empty()) << "2010 is not looked for there";
    EXPECT_EQ(StringList{"C:\\wow 2009"}, info_.m_arrAcadLocation[Index(2009)]);
    EXPECT_EQ(3, Found());
}

TEST_F(DetectionTest, ProductNameClassification) {
    struct Case {
        const char* name;
        int lastIndex;
        int year;  // 0: none
    } cases[] = {
        {"AutoCAD 2016", 17, 2016},
        {"AutoCAD 2024 - 简体中文 (Simplified Chinese)", 17, 2024},
        {"欧特克 AutoCAD 2012", 17, 2012},
        // The earlier year of the table wins, wherever it stands.
        {"AutoCAD 2010 (2007 format)", 17, 2007},
        // A year at the very start does not count, even when it recurs.
        {"2010 AutoCAD", 17, 0},
        {"2010 AutoCAD 2010", 17, 0},
        {"2010 AutoCAD 2012", 17, 2012},
        {"x2010", 17, 2010},
        {"AutoCAD 2010", 2, 0},
        {"AutoCAD 2009", 2, 2009},
        {"AutoCAD 2025", 17, 0},
        {"AutoCAD LT", 17, 0},
        {"", 17, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.year ? Index(c.year) : -1, detector_.ClassifyProductName(c.name, c.lastIndex))
            << c.name << " / last index " << c.lastIndex;
    }
}

TEST_F(DetectionTest, ValuesAtDifferentKeysDoNotPair) {
    // The walk for each value stops at the first key holding it.
    reg_.SetString(kHklm, kNative + "R19.0\\ACAD-A001:804", "AcadLocation", "C:\\a");
    reg_.SetString(kHklm, kNative + "R19.0\\ACAD-A001:804\\Sub", "ProductName", "AutoCAD 2013");
    reg_.SetString(kHklm, kNative + "R19.1", "ProductName", "AutoCAD 2014");
    reg_.SetString(kHklm, kNative + "R19.1\\ACAD-D001:804", "AcadLocation", "C:\\b");
    Detect();
    EXPECT_EQ(0, Found());
}

TEST_F(DetectionTest, WalkDoesNotDescendBelowTheKeyHoldingTheValue) {
    Product(kNative, "R18.1\\ACAD-9001:804", "C:\\outer", "AutoCAD 2011");
    Product(kNative, "R18.1\\ACAD-9001:804\\Inner", "C:\\inner", "AutoCAD 2011");
    Detect();
    EXPECT_EQ(StringList{"C:\\outer"}, info_.m_arrAcadLocation[Index(2011)]);
    EXPECT_EQ(1, Found());
}

TEST_F(DetectionTest, ValueLongerThanTheBufferCountsAsAbsent) {
    // 255 bytes and the NUL fit; 256 bytes and the NUL do not.
    const std::string fits = "C:\\" + std::string(252, 'f');
    std::string tooLong = "C:\\";
    for (int i = 0; i < 127; ++i) tooLong += "长";  // 3 + 254 = 257 bytes
    ASSERT_EQ(255u, fits.size());
    Product(kNative, "R20.1\\ACAD-F001:804", fits, "AutoCAD 2016");
    reg_.SetString(kHklm, kNative + "R21.0\\ACAD-0001:804", "AcadLocation", tooLong);
    reg_.SetString(kHklm, kNative + "R21.0\\ACAD-0001:804", "ProductName", "AutoCAD 2017");
    // The walk then searches below the key with the overlong value.
    Product(kNative, "R21.0\\ACAD-0001:804\\Sub", "C:\\sub", "AutoCAD 2017");
    Detect();
    EXPECT_EQ(StringList{fits}, info_.m_arrAcadLocation[Index(2016)]);
    EXPECT_TRUE(info_.m_arrAcadLocation[Index(2017)].empty())
        << "location found at Sub, name at the product key: no pair";
}

TEST_F(DetectionTest, ValueFillingTheBufferWithoutNulIsReadNoFurther) {
    std::vector<unsigned char> raw(256, 'x');
    reg_.SetRaw(kHklm, kNative + "R22.0\\ACAD-1001:804", "AcadLocation", kRegSz, raw);
    reg_.SetString(kHklm, kNative + "R22.0\\ACAD-1001:804", "ProductName", "AutoCAD 2018");
    Detect();
    ASSERT_EQ(1u, info_.m_arrAcadLocation[Index(2018)].size());
    EXPECT_EQ(std::string(256, 'x'), info_.m_arrAcadLocation[Index(2018)][0]);
}

TEST_F(DetectionTest, UnreadableKeysAndNamesAreSkippedAndTheRestIsFound) {
    Product(kNative, "R23.0\\ACAD-2001:804", "C:\\locked", "AutoCAD 2019");
    Product(kNative, "R23.1\\ACAD-3001:804", "C:\\locked product", "AutoCAD 2020");
    Product(kNative, "R23.1\\ACAD-3002:804", "C:\\2020", "AutoCAD 2020");
    Product(kNative, "R24.0\\ACAD-4101:804", "C:\\values locked", "AutoCAD 2021");
    Product(kNative, "R24.0\\ACAD-4101:804\\Below", "C:\\below", "AutoCAD 2021");
    std::string longName;
    for (int i = 0; i < 128; ++i) longName += "长";  // 256 bytes: no room for the NUL
    Product(kNative, longName, "C:\\long", "AutoCAD 2022");
    Product(kNative, "R24.2\\ACAD-6101:804", "C:\\2023", "AutoCAD 2023");
    reg_.SetFaults(kHklm, kNative + "R23.0", FakeRegistry::kFailOpen);
    reg_.SetFaults(kHklm, kNative + "R23.1\\ACAD-3001:804", FakeRegistry::kFailOpen);
    reg_.SetFaults(kHklm, kNative + "R24.0\\ACAD-4101:804", FakeRegistry::kFailReadValue);
    Detect();
    EXPECT_TRUE(info_.m_arrProductKey[Index(2019)].empty());
    EXPECT_EQ(StringList{"C:\\2020"}, info_.m_arrAcadLocation[Index(2020)]);
    EXPECT_EQ(StringList{"C:\\below"}, info_.m_arrAcadLocation[Index(2021)]);
    EXPECT_TRUE(info_.m_arrProductKey[Index(2022)].empty());
    EXPECT_EQ(StringList{"C:\\2023"}, info_.m_arrAcadLocation[Index(2023)]);
}

TEST_F(DetectionTest, DoubleByteKeyNamesAreRecordedWhole) {
    // The second byte of "\x95\x5c" is '\', yet it is no separator.
    const std::string product = "产品\x95\x5c";
    Product(kNative, "R19.0\\" + product, "C:\\表", "AutoCAD 2013 简体中文");
    Detect();
    EXPECT_EQ(StringList{kNative + "R19.0\\" + product + "\\"}, info_.m_arrProductKey[Index(2013)]);
}

}  // namespace
}  // namespace tx
