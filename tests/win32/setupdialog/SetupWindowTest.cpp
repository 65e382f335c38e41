// The setup dialog as a real window: created from template 141, run
// modally on the test's thread and driven from a second thread the way a
// user would (clicks, the close box), with the installation recorded.
#include "ui/win32/SetupWindow.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/win32/Win32FileSystem.h"
#include "res/resource.h"
#include "tests/win32/common/SideThread.h"
#include "ui/SetupPaint.h"

namespace tx {
namespace {

const wchar_t kTitle[] = L"Tarnix批打印软件安装";
const CodePage kCodePage(936);

// Records the run the dialog starts; steps the bar and, when told, puts a
// failed copy to the dialog as the engine does.
class Installer : public IInstaller {
public:
    bool IsAcadRunning() override { return acadRunning; }
    std::size_t MaxInstallFolderLength() override { return 237; }
    std::string InstalledFolder() override { return std::string(); }
    PreparedFolder PrepareInstallFolder(const std::string& chosen,
                                        const std::string& folder) override {
        folders.push_back(chosen);
        folders.push_back(folder);
        PreparedFolder out;
        out.readiness = FolderReadiness::Ready;
        return out;
    }
    InstallResult Install(const CAcadInfo&, const InstallRequest& request,
                          IInstallObserver& observer) override {
        ++runs;
        folder = request.folder;
        ticks = request.ticks;
        for (int i = 0; i < 7; ++i) observer.Step();
        if (!failedCopy.empty()) {
            answers.push_back(observer.CopyFailed(failedCopy));
            if (answers.back() == CopyFailedAnswer::Abort) return InstallResult::Aborted;
        }
        return InstallResult::Completed;
    }

    bool acadRunning = false;
    std::string failedCopy;  // a copy that fails once, when set
    std::vector<std::string> folders;
    int runs = 0;
    std::string folder;
    TickFlags ticks{};
    std::vector<CopyFailedAnswer> answers;
};

HWND WaitForWindow(const wchar_t* title, HWND owner = nullptr) {
    for (int i = 0; i < 200; ++i) {
        HWND w = FindWindowW(L"#32770", title);
        if (w != nullptr && IsWindowVisible(w) &&
            (owner == nullptr || GetWindow(w, GW_OWNER) == owner)) {
            return w;
        }
        Sleep(50);
    }
    return nullptr;
}

std::wstring TextOf(HWND w) {
    wchar_t buf[256] = {};
    GetWindowTextW(w, buf, 256);
    return buf;
}

bool Shown(HWND dlg, int id) { return IsWindowVisible(GetDlgItem(dlg, id)) != FALSE; }
bool Enabled(HWND dlg, int id) { return IsWindowEnabled(GetDlgItem(dlg, id)) != FALSE; }
int Check(HWND dlg, int id) {
    return static_cast<int>(SendDlgItemMessageW(dlg, id, BM_GETCHECK, 0, 0));
}
void Click(HWND dlg, int id) { SendDlgItemMessageW(dlg, id, BM_CLICK, 0, 0); }

// Saves what the screen shows of the window as NAME.bmp in TX_SHOT_DIR, when
// that is set: a record of the views for a person to look at.
void SaveShot(HWND window, const char* name) {
    const char* dir = std::getenv("TX_SHOT_DIR");
    if (dir == nullptr) return;
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(300);
    RECT r{};
    GetWindowRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    const DWORD rowBytes = ((w * 3 + 3) / 4) * 4;
    const DWORD imageBytes = rowBytes * h;
    BITMAPFILEHEADER fh{0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + imageBytes), 0, 0,
                        sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
    const std::string path = std::string(dir) + "\\" + name + ".bmp";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(&fh, sizeof fh, 1, f);
        std::fwrite(&bi.bmiHeader, sizeof bi.bmiHeader, 1, f);
        std::fwrite(bits, imageBytes, 1, f);
        std::fclose(f);
    }
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
}

class SetupWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&icc);
        for (int year : {2010, 2024}) {
            info.m_arrAcadLocation[ReleaseIndexOfYear(year)].push_back("C:\\Acad");
            info.m_arrProductKey[ReleaseIndexOfYear(year)].push_back("SOFTWARE\\K\\");
        }
    }

    // Runs the dialog modally here while drive works it from another
    // thread; the dialog's result, or 0 when its window never showed.
    INT_PTR Run(const std::function<void(HWND)>& drive) {
        SetupWindow window(GetModuleHandleW(nullptr), nullptr, info, steps, kCodePage, run, fileSystem);
        std::atomic<bool> found{false};
        SideThread driver([&] {
            HWND dlg = WaitForWindow(kTitle);
            if (dlg == nullptr) return;
            found = true;
            drive(dlg);
            // Whatever the checks did, never leave the modal loop running.
            if (IsWindow(dlg)) PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        });
        const INT_PTR result = window.DoModal();
        driver.Join();
        EXPECT_TRUE(found) << "the dialog never showed";
        return found ? result : 0;
    }

    CAcadInfo info;
    Installer steps;
    InstallRun run;
    Win32FileSystem fileSystem;
};

TEST_F(SetupWindowTest, InitialViewOffersOnlyDetectedReleases) {
    const INT_PTR result = Run([](HWND dlg) {
        for (int id = 1018; id <= 1040; ++id) {
            if (id >= 1021 && id <= 1025) continue;
            const bool detected = id == IDC_ACAD2010 || id == IDC_ACAD2024;
            EXPECT_TRUE(Shown(dlg, id)) << id;
            EXPECT_EQ(detected, Enabled(dlg, id)) << id;
            EXPECT_EQ(detected ? BST_CHECKED : BST_UNCHECKED, Check(dlg, id)) << id;
        }
        EXPECT_FALSE(Shown(dlg, IDOK));
        EXPECT_TRUE(Enabled(dlg, IDOK));
        EXPECT_TRUE(Shown(dlg, IDC_INSTALL));
        EXPECT_TRUE(Shown(dlg, IDCANCEL));
        EXPECT_FALSE(Shown(dlg, IDC_PROGRESS));
        EXPECT_FALSE(Shown(dlg, IDC_MENU_PICTURE));
        EXPECT_FALSE(Shown(dlg, IDC_DONE_NOTE));
        EXPECT_EQ(L"Tarnix批打印软件 V2023.12.18 (64位版本)", TextOf(GetDlgItem(dlg, IDC_VERSION)));
        EXPECT_EQ(L"C:\\Tarnix", TextOf(GetDlgItem(dlg, IDC_PATH)));
        EXPECT_NE(0, SendMessageW(dlg, WM_GETICON, ICON_SMALL, 0)) << "small icon set";
        SaveShot(dlg, "initial");
        SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_TRUE(steps.folders.empty());
}

TEST_F(SetupWindowTest, ControlsArePaintedInTheDialogsColours) {
    Run([](HWND dlg) {
        HDC dc = CreateCompatibleDC(nullptr);
        ASSERT_NE(nullptr, dc);
        HGDIOBJ initialFont = GetCurrentObject(dc, OBJ_FONT);

        auto colour = [&](UINT message, HWND control) {
            SetBkMode(dc, OPAQUE);
            SetTextColor(dc, RGB(1, 2, 3));
            SelectObject(dc, initialFont);
            HBRUSH brush = reinterpret_cast<HBRUSH>(SendMessageW(
                dlg, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control)));
            LOGBRUSH lb{};
            EXPECT_NE(0, GetObjectW(brush, sizeof lb, &lb));
            EXPECT_EQ(kBackgroundColour, lb.lbColor);
        };

        colour(WM_CTLCOLORSTATIC, GetDlgItem(dlg, IDC_VERSION));
        EXPECT_EQ(kVersionTextColour, GetTextColor(dc));
        EXPECT_EQ(TRANSPARENT, GetBkMode(dc));
        LOGFONTW lf{};
        GetObjectW(GetCurrentObject(dc, OBJ_FONT), sizeof lf, &lf);
        EXPECT_EQ(12, lf.lfHeight);
        EXPECT_EQ(600, lf.lfWeight);
        EXPECT_EQ(ANSI_CHARSET, lf.lfCharSet);
        EXPECT_FALSE(lf.lfItalic || lf.lfUnderline || lf.lfStrikeOut);
        EXPECT_STREQ(L"宋体", lf.lfFaceName);

        colour(WM_CTLCOLORSTATIC, GetDlgItem(dlg, IDC_HEAD_RELEASES));
        EXPECT_EQ(RGB(0, 0, 0), GetTextColor(dc));
        EXPECT_EQ(TRANSPARENT, GetBkMode(dc));
        EXPECT_EQ(initialFont, GetCurrentObject(dc, OBJ_FONT));

        colour(WM_CTLCOLORSTATIC, GetDlgItem(dlg, IDC_ACAD2010));
        EXPECT_EQ(RGB(0, 0, 0), GetTextColor(dc));
        EXPECT_EQ(TRANSPARENT, GetBkMode(dc));

        colour(WM_CTLCOLOREDIT, GetDlgItem(dlg, IDC_PATH));
        EXPECT_EQ(RGB(0, 0, 0), GetTextColor(dc));
        EXPECT_EQ(OPAQUE, GetBkMode(dc)) << "typed text keeps its background";

        colour(WM_CTLCOLORDLG, dlg);
        EXPECT_EQ(TRANSPARENT, GetBkMode(dc));
        DeleteDC(dc);
    });
}

TEST_F(SetupWindowTest, UntickingEveryBoxDisablesTheCompletionButtonOnly) {
    Run([](HWND dlg) {
        Click(dlg, IDC_ACAD2010);
        EXPECT_EQ(BST_UNCHECKED, Check(dlg, IDC_ACAD2010));
        EXPECT_TRUE(Enabled(dlg, IDOK));
        Click(dlg, IDC_ACAD2024);
        EXPECT_FALSE(Enabled(dlg, IDOK));
        EXPECT_TRUE(Enabled(dlg, IDC_INSTALL));
        Click(dlg, IDC_ACAD2024);
        EXPECT_TRUE(Enabled(dlg, IDOK));
    });
}

TEST_F(SetupWindowTest, InstallEndsInTheShortenedCompletionView) {
    const INT_PTR result = Run([](HWND dlg) {
        RECT before{};
        GetWindowRect(dlg, &before);
        RECT done{0, 0, 0, 228}, cancel{0, 0, 0, 276};
        MapDialogRect(dlg, &done);
        MapDialogRect(dlg, &cancel);

        Click(dlg, IDC_INSTALL);

        for (int id : {IDC_DONE_NOTE, IDC_MENU_PICTURE, IDOK, IDC_VERSION}) {
            EXPECT_TRUE(Shown(dlg, id)) << id;
        }
        for (int id : {IDC_INSTALL, IDCANCEL, IDC_HEAD_RELEASES, IDC_PROGRESS, IDC_PATH, IDC_BROWSE,
                       IDC_HEAD_PATH, IDC_ACAD2007, IDC_ACAD2010, IDC_ACAD2024}) {
            EXPECT_FALSE(Shown(dlg, id)) << id;
        }
        EXPECT_TRUE(Enabled(dlg, IDOK));
        EXPECT_EQ(50, SendDlgItemMessageW(dlg, IDC_PROGRESS, PBM_GETPOS, 0, 0));

        RECT after{};
        GetWindowRect(dlg, &after);
        EXPECT_EQ(before.left, after.left);
        EXPECT_EQ(before.top, after.top);
        EXPECT_EQ(before.right, after.right);
        EXPECT_EQ(before.bottom - (cancel.bottom - done.bottom), after.bottom);
        SaveShot(dlg, "completion");

        Click(dlg, IDOK);
    });
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ(1, steps.runs);
    EXPECT_EQ("C:\\Tarnix\\Tarnix批打印软件", steps.folder);
    EXPECT_EQ("C:\\Tarnix\\Tarnix批打印软件", info.m_strInstallDir);
    EXPECT_EQ(1, steps.ticks[ReleaseIndexOfYear(2010)]);
    EXPECT_EQ(1, steps.ticks[ReleaseIndexOfYear(2024)]);
    EXPECT_EQ(0, steps.ticks[ReleaseIndexOfYear(2011)]);
}

TEST_F(SetupWindowTest, NothingTickedLeavesOnlyTheCloseBox) {
    const INT_PTR result = Run([](HWND dlg) {
        Click(dlg, IDC_ACAD2010);
        Click(dlg, IDC_ACAD2024);
        Click(dlg, IDC_INSTALL);
        EXPECT_TRUE(Shown(dlg, IDOK));
        EXPECT_FALSE(Enabled(dlg, IDOK));
        SendMessageW(dlg, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ(1, steps.runs);
    EXPECT_EQ(TickFlags{}, steps.ticks);
}

TEST_F(SetupWindowTest, RunningAutoCadMessageIsOwnedByTheDialog) {
    steps.acadRunning = true;
    Run([](HWND dlg) {
        PostMessageW(GetDlgItem(dlg, IDC_INSTALL), BM_CLICK, 0, 0);
        HWND box = WaitForWindow(L"Tarnix软件安装", dlg);
        ASSERT_NE(nullptr, box) << "no message box owned by the dialog";
        EXPECT_EQ(L"请关闭AutoCAD后再进行安装 !", TextOf(GetDlgItem(box, 0xFFFF)));
        EXPECT_EQ(nullptr, GetDlgItem(box, IDCANCEL)) << "an OK box";
        SendMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(20);
        EXPECT_TRUE(Shown(dlg, IDC_INSTALL)) << "still the initial view";
        EXPECT_TRUE(Shown(dlg, IDC_PATH));
        EXPECT_FALSE(Shown(dlg, IDC_PROGRESS));
        SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    EXPECT_FALSE(run.AcadCheckPending);
    EXPECT_TRUE(steps.folders.empty());
}

TEST_F(SetupWindowTest, FailedCopyAsksInABoxOwnedByTheDialogAndAbortEndsIt) {
    steps.failedCopy = "C:\\Tarnix\\Tarnix批打印软件\\PdfSharp.dll";
    const INT_PTR result = Run([](HWND dlg) {
        PostMessageW(GetDlgItem(dlg, IDC_INSTALL), BM_CLICK, 0, 0);
        HWND box = WaitForWindow(L"Tarnix软件安装", dlg);
        ASSERT_NE(nullptr, box) << "no message box owned by the dialog";
        EXPECT_EQ(L"拷贝文件 C:\\Tarnix\\Tarnix批打印软件\\PdfSharp.dll 失败，可能原因如下：\n\n"
                  L"1、AutoCAD未关闭\n\n2、系统权限未开放，请以管理者权限登陆系统",
                  TextOf(GetDlgItem(box, 0xFFFF)));
        EXPECT_NE(nullptr, GetDlgItem(box, IDABORT));
        EXPECT_NE(nullptr, GetDlgItem(box, IDRETRY));
        EXPECT_NE(nullptr, GetDlgItem(box, IDIGNORE));
        EXPECT_TRUE(Shown(dlg, IDC_PROGRESS)) << "asked over the running bar";
        EXPECT_EQ(7, SendDlgItemMessageW(dlg, IDC_PROGRESS, PBM_GETPOS, 0, 0));
        SendMessageW(box, WM_COMMAND, MAKEWPARAM(IDABORT, BN_CLICKED), 0);
        for (int i = 0; i < 100 && IsWindow(dlg); ++i) Sleep(20);
    });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ(std::vector<CopyFailedAnswer>{CopyFailedAnswer::Abort}, steps.answers);
}

}  // namespace
}  // namespace tx
