// SetUp.exe's resources as the program carries them: the setup dialog's
// template control by control, the two pictures, the icon and the manifest.
// The program named by TX_SETUP_EXE is opened as a data file.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "res/resource.h"

namespace {

HMODULE Program() {
    static HMODULE module = [] {
        const char* path = std::getenv("TX_SETUP_EXE");
        return path ? LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE) : nullptr;
    }();
    return module;
}

std::vector<unsigned char> Resource(LPCWSTR type, int id) {
    HRSRC found = FindResourceW(Program(), MAKEINTRESOURCEW(id), type);
    if (found == nullptr) return {};
    HGLOBAL loaded = LoadResource(Program(), found);
    const auto* bytes = static_cast<const unsigned char*>(LockResource(loaded));
    return std::vector<unsigned char>(bytes, bytes + SizeofResource(Program(), found));
}

// Reads a DLGTEMPLATEEX.
class TemplateReader {
public:
    explicit TemplateReader(const std::vector<unsigned char>& data) : d_(data) {}
    bool Ok() const { return ok_; }
    unsigned Byte() { return Take(1); }
    unsigned Word() { return Take(2); }
    unsigned Dword() { return Take(4); }
    int Short() { return static_cast<short>(Take(2)); }
    // sz_Or_Ord: text, or "#n" for an ordinal, or "" for none.
    std::wstring Field() {
        const unsigned first = Word();
        if (first == 0) return L"";
        if (first == 0xFFFF) return L"#" + std::to_wstring(Word());
        std::wstring s(1, static_cast<wchar_t>(first));
        for (unsigned c = Word(); ok_ && c != 0; c = Word()) s += static_cast<wchar_t>(c);
        return s;
    }
    void AlignDword() { pos_ = (pos_ + 3) & ~std::size_t{3}; }
    void Skip(std::size_t n) { pos_ += n; }

private:
    unsigned Take(std::size_t n) {
        if (pos_ + n > d_.size()) {
            ok_ = false;
            return 0;
        }
        unsigned v = 0;
        for (std::size_t i = 0; i < n; ++i) v |= static_cast<unsigned>(d_[pos_ + i]) << (8 * i);
        pos_ += n;
        return v;
    }
    const std::vector<unsigned char>& d_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

struct Item {
    int id;
    std::wstring cls;
    std::wstring text;
    int x, y, cx, cy;
    unsigned style;
};

const Item kExpected[] = {
    {1018, L"#128", L"For AutoCAD2007", 18, 81, 74, 10, 0x50010003},
    {1019, L"#128", L"For AutoCAD2008", 18, 101, 74, 10, 0x50010003},
    {1020, L"#128", L"For AutoCAD2009", 18, 121, 74, 10, 0x50010003},
    {1027, L"#128", L"For AutoCAD2010", 18, 141, 74, 10, 0x50010003},
    {1026, L"#128", L"For AutoCAD2011", 18, 161, 74, 10, 0x50010003},
    {1028, L"#128", L"For AutoCAD2012", 18, 181, 74, 10, 0x50010003},
    {1029, L"#128", L"For AutoCAD2013", 104, 81, 74, 10, 0x50010003},
    {1030, L"#128", L"For AutoCAD2014", 104, 101, 74, 10, 0x50010003},
    {1031, L"#128", L"For AutoCAD2015", 104, 121, 74, 10, 0x50010003},
    {1032, L"#128", L"For AutoCAD2016", 104, 141, 74, 10, 0x50010003},
    {1033, L"#128", L"For AutoCAD2017", 104, 161, 74, 10, 0x50010003},
    {1034, L"#128", L"For AutoCAD2018", 104, 181, 74, 10, 0x50010003},
    {1035, L"#128", L"For AutoCAD2019", 190, 81, 74, 10, 0x50010003},
    {1036, L"#128", L"For AutoCAD2020", 190, 101, 74, 10, 0x50010003},
    {1037, L"#128", L"For AutoCAD2021", 190, 121, 74, 10, 0x50010003},
    {1038, L"#128", L"For AutoCAD2022", 190, 141, 74, 10, 0x50010003},
    {1039, L"#128", L"For AutoCAD2023", 190, 161, 74, 10, 0x50010003},
    {1040, L"#128", L"For AutoCAD2024", 190, 181, 74, 10, 0x50010003},
    {1, L"#128", L"安装完成", 110, 214, 63, 14, 0x40010000},
    {2, L"#128", L"取  消", 173, 262, 50, 14, 0x50010000},
    {1013, L"#130", L"Tarnix批打印软件 V%d.%d.%d (%d位版本)", 67, 22, 205, 10, 0x50020000},
    {-1, L"#130", L"", 0, 206, 286, 1, 0x50000010},
    {1016, L"#130", L"请选择安装组件：", 14, 62, 69, 10, 0x50020000},
    {-1, L"#130", L"", 0, 51, 286, 1, 0x50000010},
    {-1, L"#130", L"#147", 13, 2, 43, 43, 0x5000000E},
    {1000, L"#129", L"", 13, 233, 202, 12, 0x50810080},
    {1015, L"#128", L"浏览...", 221, 231, 51, 13, 0x50010000},
    {1014, L"msctls_progress32", L"Progress1", 13, 236, 256, 6, 0x40800000},
    {1017, L"#130", L"请选择安装路径：", 14, 215, 71, 9, 0x50020000},
    {-1, L"#130", L"", 0, 255, 286, 1, 0x50000010},
    {1021, L"#130", L"#151", 39, 78, 205, 117, 0x4000000E},
    {1022, L"#128", L"安  装", 60, 263, 50, 13, 0x50010000},
    {1023, L"#130", L"安装完成！重启CAD，CAD菜单尾会有以下子菜单：", 47, 62, 190, 10, 0x40020001},
};

std::string Narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w) s += (c < 128) ? static_cast<char>(c) : '?';
    return s;
}

class SetupResources : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(nullptr, Program()) << "TX_SETUP_EXE must name SetUp.exe"; }
};

TEST_F(SetupResources, DialogTemplateHasTheWindowAsDesigned) {
    const auto data = Resource(reinterpret_cast<LPCWSTR>(RT_DIALOG), IDD_SETUP);
    ASSERT_FALSE(data.empty());
    TemplateReader r(data);
    EXPECT_EQ(1u, r.Word());
    ASSERT_EQ(0xFFFFu, r.Word()) << "an extended template";
    r.Dword();  // help id
    EXPECT_EQ(0x00000200u, r.Dword());
    EXPECT_EQ(0x80CA00C0u, r.Dword());
    EXPECT_EQ(33u, r.Word());
    EXPECT_EQ(0, r.Short());
    EXPECT_EQ(0, r.Short());
    EXPECT_EQ(283, r.Short());
    EXPECT_EQ(283, r.Short());
    EXPECT_EQ(L"", r.Field()) << "no menu";
    EXPECT_EQ(L"", r.Field()) << "the standard dialog class";
    EXPECT_EQ(L"Tarnix批打印软件安装", r.Field());
    EXPECT_EQ(9u, r.Word());    // points
    EXPECT_EQ(400u, r.Word());  // normal weight
    EXPECT_EQ(0u, r.Byte());    // upright
    EXPECT_EQ(static_cast<unsigned>(DEFAULT_CHARSET), r.Byte());
    EXPECT_EQ(L"宋体", r.Field());
    EXPECT_TRUE(r.Ok());
}

TEST_F(SetupResources, DialogTemplateControlsMatchTheDesignOneByOne) {
    const auto data = Resource(reinterpret_cast<LPCWSTR>(RT_DIALOG), IDD_SETUP);
    ASSERT_FALSE(data.empty());
    TemplateReader r(data);
    r.Skip(2 + 2 + 4 + 4 + 4);
    const unsigned count = r.Word();
    ASSERT_EQ(std::size(kExpected), count);
    r.Skip(8);
    r.Field();
    r.Field();
    r.Field();
    r.Skip(2 + 2 + 1 + 1);
    r.Field();  // font face

    for (const Item& want : kExpected) {
        SCOPED_TRACE("control " + std::to_string(want.id) + " " + Narrow(want.text));
        r.AlignDword();
        r.Dword();                   // help id
        EXPECT_EQ(0u, r.Dword());    // extended style
        EXPECT_EQ(want.style, r.Dword());
        EXPECT_EQ(want.x, r.Short());
        EXPECT_EQ(want.y, r.Short());
        EXPECT_EQ(want.cx, r.Short());
        EXPECT_EQ(want.cy, r.Short());
        const int id = static_cast<int>(r.Dword());
        EXPECT_TRUE(id == want.id || (want.id == -1 && id == 0xFFFF)) << id;
        const std::wstring cls = r.Field();
        EXPECT_EQ(0, _wcsicmp(want.cls.c_str(), cls.c_str())) << Narrow(cls);
        EXPECT_EQ(want.text, r.Field());
        r.Skip(r.Word());  // creation data
        ASSERT_TRUE(r.Ok());
    }
}

struct BitmapHeader {
    long width = 0, height = 0;
    unsigned bits = 0;
};

BitmapHeader ReadBitmap(int id) {
    const auto data = Resource(reinterpret_cast<LPCWSTR>(RT_BITMAP), id);
    BitmapHeader h;
    if (data.size() < sizeof(BITMAPINFOHEADER)) return h;
    BITMAPINFOHEADER info;
    std::memcpy(&info, data.data(), sizeof info);
    h.width = info.biWidth;
    h.height = info.biHeight < 0 ? -info.biHeight : info.biHeight;
    h.bits = info.biBitCount;
    return h;
}

TEST_F(SetupResources, LogoIs64By64In24Bits) {
    const BitmapHeader h = ReadBitmap(IDB_LOGO);
    EXPECT_EQ(64, h.width);
    EXPECT_EQ(64, h.height);
    EXPECT_EQ(24u, h.bits);
}

TEST_F(SetupResources, MenuPictureIs307By175In16Colours) {
    const BitmapHeader h = ReadBitmap(IDB_MENU);
    EXPECT_EQ(307, h.width);
    EXPECT_EQ(175, h.height);
    EXPECT_EQ(4u, h.bits);
}

TEST_F(SetupResources, IconGroupOneHasASmallImage) {
    const auto group = Resource(reinterpret_cast<LPCWSTR>(RT_GROUP_ICON), IDI_APP);
    ASSERT_GE(group.size(), 6u);
    const unsigned count = group[4] | (group[5] << 8);
    ASSERT_GE(count, 1u);
    bool small = false;
    for (unsigned i = 0; i < count && 6 + 14 * (i + 1) <= group.size(); ++i) {
        small = small || group[6 + 14 * i] == 16;
    }
    EXPECT_TRUE(small) << "a 16 x 16 image for the caption";
}

TEST_F(SetupResources, ManifestRequestsAdministratorAndNothingElse) {
    const auto bytes = Resource(reinterpret_cast<LPCWSTR>(RT_MANIFEST), 1);
    ASSERT_FALSE(bytes.empty());
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(std::string::npos, text.find("level=\"requireAdministrator\""));
    EXPECT_NE(std::string::npos, text.find("uiAccess=\"false\""));
    EXPECT_EQ(std::string::npos, text.find("dependentAssembly")) << "no side-by-side components";
    EXPECT_EQ(std::string::npos, text.find("compatibility"));
    // One manifest only: a second (a toolchain default) would be ambiguous.
    int manifests = 0;
    EnumResourceNamesW(
        Program(), reinterpret_cast<LPCWSTR>(RT_MANIFEST),
        [](HMODULE, LPCWSTR, LPWSTR, LONG_PTR counter) -> BOOL {
            ++*reinterpret_cast<int*>(counter);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&manifests));
    EXPECT_EQ(1, manifests);
}

}  // namespace
