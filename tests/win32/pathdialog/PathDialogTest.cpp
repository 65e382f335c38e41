// The folder chooser run for real: the shell's browse window opens on the
// main thread while a second thread plays the user (finds the window, types
// into the edit box, presses OK or Cancel, answers the message boxes) and
// records what it sees. The main thread checks the outcome.
// The literals below are compiled to code page 936 bytes.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/Win32FileSystem.h"
#include "tests/win32/common/SideThread.h"
#include "ui/win32/PathDialog.h"

namespace tx {
namespace {

const char kPrompt[] = "请选择安装目录：";
const char kTitle[] = "path_dialog_test";  // this program's file name, less ".exe"

std::string Question(const std::string& p) {
    return "The folder:\n\n" + p + "\n\ndoes not exist. Do you want the folder to be created?";
}
std::string Invalid(const std::string& p) {
    return "The folder:\n\n" + p + "\n\nis invalid. Please reenter.";
}
std::string CannotCreate(const std::string& p) {
    return "The folder:\n\n" + p + "\n\ncan not be created. Please double check.";
}

bool IsFolder(const std::string& p) {
    const DWORD a = GetFileAttributesA(p.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string ClassOf(HWND w) {
    char buf[64] = {};
    GetClassNameA(w, buf, sizeof buf);
    return buf;
}

std::string TextOf(HWND w) {
    char buf[1024] = {};
    GetWindowTextA(w, buf, sizeof buf);
    return buf;
}

std::string ItemText(HWND tree, HTREEITEM it) {
    char buf[MAX_PATH] = {};
    TVITEMA item = {};
    item.mask = TVIF_TEXT;
    item.hItem = it;
    item.pszText = buf;
    item.cchTextMax = sizeof buf;
    if (it == nullptr) return "(none)";
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return buf;
}

HTREEITEM NextItem(HWND tree, UINT how, HTREEITEM from) {
    return reinterpret_cast<HTREEITEM>(
        SendMessageA(tree, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(from)));
}

// The selected item and the loaded part of the tree, for failure reports.
std::string DescribeTree(HWND tree) {
    std::string s = "selected \"" + ItemText(tree, NextItem(tree, TVGN_CARET, nullptr)) + "\"; tree:";
    std::function<void(HTREEITEM, int)> walk = [&](HTREEITEM it, int depth) {
        for (; it != nullptr && depth < 4; it = NextItem(tree, TVGN_NEXT, it)) {
            s += " " + std::string(static_cast<std::size_t>(depth), '>') + ItemText(tree, it);
            walk(NextItem(tree, TVGN_CHILD, it), depth + 1);
        }
    };
    walk(NextItem(tree, TVGN_ROOT, nullptr), 0);
    return s;
}

// ---------------------------------------------------------------------------
// Screenshots: the screen area of a window, as a 24-bit BMP.

struct DcRelease {
    void operator()(HDC dc) const { ReleaseDC(nullptr, dc); }
};
struct DcDelete {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
struct GdiDelete {
    void operator()(HGDIOBJ o) const { DeleteObject(o); }
};
struct FileClose {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

bool SaveWindowShot(HWND wnd, const std::string& file) {
    RECT r = {};
    if (!GetWindowRect(wnd, &r)) return false;
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return false;
    std::unique_ptr<HDC__, DcRelease> screen(GetDC(nullptr));
    std::unique_ptr<HDC__, DcDelete> mem(CreateCompatibleDC(screen.get()));
    std::unique_ptr<void, GdiDelete> bitmap(CreateCompatibleBitmap(screen.get(), w, h));
    if (!screen || !mem || !bitmap) return false;
    const HGDIOBJ old = SelectObject(mem.get(), bitmap.get());
    BitBlt(mem.get(), 0, 0, w, h, screen.get(), r.left, r.top, SRCCOPY);
    SelectObject(mem.get(), old);

    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = w;
    info.biHeight = h;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD stride = ((static_cast<DWORD>(w) * 3 + 3) / 4) * 4;
    std::vector<unsigned char> pixels(stride * static_cast<DWORD>(h));
    if (!GetDIBits(mem.get(), static_cast<HBITMAP>(bitmap.get()), 0, h, pixels.data(),
                   reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS)) {
        return false;
    }
    BITMAPFILEHEADER head = {};
    head.bfType = 0x4D42;
    head.bfOffBits = sizeof head + sizeof info;
    head.bfSize = head.bfOffBits + static_cast<DWORD>(pixels.size());
    std::unique_ptr<std::FILE, FileClose> out(std::fopen(file.c_str(), "wb"));
    if (!out) return false;
    return std::fwrite(&head, sizeof head, 1, out.get()) == 1 &&
           std::fwrite(&info, sizeof info, 1, out.get()) == 1 &&
           std::fwrite(pixels.data(), 1, pixels.size(), out.get()) == pixels.size();
}

// ---------------------------------------------------------------------------
// The user, on a thread of its own. Every wait is bounded; on a failure the
// driver records it and closes what is open, so the chooser always returns.

class Driver {
public:
    explicit Driver(DWORD uiThread) : uiThread_(uiThread) {}

    std::vector<std::string> failures;
    std::vector<std::string> notes;  // what this platform's browser looks like

    bool Check(bool ok, const std::string& what) {
        if (!ok) failures.push_back(what);
        return ok;
    }

    // The shell's browse window: a dialog of the UI thread with a folder tree.
    HWND WaitBrowser() {
        HWND found = nullptr;
        Wait([&] {
            found = FindOwnedDialog(nullptr, [](HWND w) {
                return IsWindowVisible(w) && GetDlgItem(w, kIdcBrowseTree) != nullptr &&
                       ClassOf(GetDlgItem(w, kIdcFolderEdit)) == "Edit";
            });
            return found != nullptr;
        });
        Check(found != nullptr, "no browse window with the edit box");
        browser_ = found;
        return found;
    }

    HWND Browser() const { return browser_; }
    HWND Edit() const { return GetDlgItem(browser_, kIdcFolderEdit); }
    HWND OkButton() const { return GetDlgItem(browser_, IDOK); }
    bool OkEnabled() const { return IsWindowEnabled(OkButton()) != FALSE; }

    // Sets the edit box's text; the box reports the change as typing does.
    void Type(const std::string& text) {
        SendMessageA(Edit(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    // Posted: OK may open message boxes whose loops need this thread.
    void PressOk() {
        PostMessageA(browser_, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(OkButton()));
    }
    void PressCancel() {
        PostMessageA(browser_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(browser_, IDCANCEL)));
    }

    // A message box owned by the browse window.
    HWND WaitMessageBox(int ms = 10000) {
        HWND found = nullptr;
        Wait(
            [&] {
                found = FindOwnedDialog(browser_, [](HWND w) {
                    return GetDlgItem(w, 0xFFFF) != nullptr && IsWindowVisible(w);
                });
                return found != nullptr;
            },
            ms);
        return found;
    }
    static std::string BoxText(HWND box) { return TextOf(GetDlgItem(box, 0xFFFF)); }
    void Answer(HWND box, int id) {
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
        Wait([&] { return !IsWindow(box); });
    }

    bool WaitClosed() {
        return Wait([&] { return !IsWindow(browser_); });
    }
    HWND Focus() const {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(uiThread_, &info);
        return info.hwndFocus;
    }

    // Closes whatever is still open after a failed step.
    void Bail() {
        for (int i = 0; i < 5 && browser_ != nullptr && IsWindow(browser_); ++i) {
            if (HWND box = WaitMessageBox(200)) {
                PostMessageA(box, WM_CLOSE, 0, 0);
                Sleep(200);
                continue;
            }
            PressCancel();
            Sleep(300);
        }
    }

    bool Wait(const std::function<bool()>& done, int ms = 10000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            Sleep(20);
        }
        return true;
    }

private:
    struct Search {
        DWORD thread;
        HWND owner;
        std::function<bool(HWND)> match;
        HWND found;
    };
    HWND FindOwnedDialog(HWND owner, std::function<bool(HWND)> match) {
        Search s{uiThread_, owner, std::move(match), nullptr};
        EnumThreadWindows(
            uiThread_,
            [](HWND w, LPARAM p) -> BOOL {
                auto* s = reinterpret_cast<Search*>(p);
                if (ClassOf(w) != "#32770") return TRUE;
                if (s->owner != nullptr && GetWindow(w, GW_OWNER) != s->owner) return TRUE;
                if (!s->match(w)) return TRUE;
                s->found = w;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&s));
        return s.found;
    }

    DWORD uiThread_;
    HWND browser_ = nullptr;
};

// Runs the chooser on this thread while script plays the user.
int RunWithUser(const std::function<int()>& run, const std::function<void(Driver&)>& script,
                Driver* driver) {
    SideThread user([&] {
        script(*driver);
        if (!driver->failures.empty()) driver->Bail();
    });
    const int result = run();
    user.Join();
    return result;
}

std::string Joined(const std::vector<std::string>& v) {
    std::string s;
    for (const std::string& x : v) s += "\n  " + x;
    return s;
}

// A scratch folder of its own for each test, removed afterwards.
class PathDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        char buf[MAX_PATH] = {};
        GetCurrentDirectoryA(MAX_PATH, buf);
        savedCwd_ = buf;
        scratch_ = "C:\\txpd" + std::to_string(GetCurrentProcessId()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ASSERT_TRUE(CreateDirectoryA(scratch_.c_str(), nullptr)) << scratch_;
    }
    void TearDown() override {
        SetCurrentDirectoryA(savedCwd_.c_str());
        RemoveTree(scratch_);
    }
    static void RemoveTree(const std::string& dir) {
        WIN32_FIND_DATAA d;
        HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &d);
        if (h != INVALID_HANDLE_VALUE) {
            std::unique_ptr<void, decltype(&FindClose)> find(h, &FindClose);
            do {
                const std::string name = d.cFileName;
                if (name == "." || name == "..") continue;
                const std::string p = dir + "\\" + name;
                if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    RemoveTree(p);
                } else {
                    DeleteFileA(p.c_str());
                }
            } while (FindNextFileA(h, &d));
        }
        RemoveDirectoryA(dir.c_str());
    }
    int Run(CPathDialog& dialog, const std::function<void(Driver&)>& script) {
        return RunWithUser([&] { return dialog.DoModal(); }, script, &driver);
    }

    Win32FileSystem fs;
    ShellApi shell;  // loaded by the test's first chooser, kept for its others
    Driver driver{GetCurrentThreadId()};
    std::string scratch_;
    std::string savedCwd_;
};

// Wine's browser sometimes lists a folder made shortly before it opens as
// missing and then cannot select it; the start folders below are old ones.
std::string SystemFolder() {
    char buf[MAX_PATH] = {};
    const UINT n = GetSystemDirectoryA(buf, MAX_PATH);
    return std::string(buf, n < MAX_PATH ? n : 0);
}

TEST_F(PathDialogTest, OpensWithEditAboveTreeOnTheStartFolder) {
    const std::string start = SystemFolder();
    CPathDialog dialog(kPrompt, kPrompt, start.c_str(), nullptr, fs, shell);
    int okAfterEmpty = -1;
    int okAfterChar = -1;

    const int result = Run(dialog, [&](Driver& d) {
        HWND browser = d.WaitBrowser();
        if (!browser) return;
        HWND edit = d.Edit();
        HWND tree = GetDlgItem(browser, kIdcBrowseTree);
        if (!d.Check(edit != nullptr, "no edit box 14148")) return;
        d.Wait([&] { return !TextOf(edit).empty(); }, 3000);

        d.Check(TextOf(browser) == kPrompt, "caption: " + TextOf(browser));
        d.Check(ClassOf(edit) == "Edit", "edit class: " + ClassOf(edit));
        int sameId = 0;
        for (HWND c = GetWindow(browser, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
            if (GetDlgCtrlID(c) == kIdcFolderEdit) ++sameId;
        }
        d.Check(sameId == 1, "controls with the edit box's id: " + std::to_string(sameId));
        d.Check((GetWindowLongPtrA(edit, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0, "client edge");
        d.Check((GetWindowLongPtrA(edit, GWL_STYLE) & 0x50010080) == 0x50010080, "edit style");
        d.Check(IsWindowVisible(edit) != FALSE, "edit hidden");
        RECT e = {}, t = {};
        GetWindowRect(edit, &e);
        GetWindowRect(tree, &t);
        d.Check(e.left == t.left && e.right == t.right, "edit not as wide as the tree");
        d.Check(e.bottom == t.top - 4 && e.top == t.top - 27,
                "edit rows " + std::to_string(e.top) + ".." + std::to_string(e.bottom) +
                    ", tree top " + std::to_string(t.top));
        d.Check(SendMessageA(edit, WM_GETFONT, 0, 0) == SendMessageA(browser, WM_GETFONT, 0, 0),
                "edit font differs from the window's");
        if (HWND status = GetDlgItem(browser, kIdcBrowseStatus)) {
            d.Check(!IsWindowVisible(status), "status line still shown");
        } else {
            d.notes.push_back("no status line 14147");
        }
        d.Check(lstrcmpiA(TextOf(edit).c_str(), start.c_str()) == 0,
                "start folder not selected, edit shows \"" + TextOf(edit) +
                    "\", " + DescribeTree(tree));
        d.Check(d.OkEnabled(), "OK disabled on a folder");

        if (const char* dir = std::getenv("TX_SHOT_DIR")) {
            RedrawWindow(browser, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
            Sleep(500);
            d.Check(SaveWindowShot(browser, std::string(dir) + "\\browser.bmp"), "screenshot");
        }

        d.Type("");
        okAfterEmpty = d.OkEnabled();
        SendMessageA(edit, WM_CHAR, 'C', 0);  // one key typed
        okAfterChar = d.OkEnabled();
        d.Check(TextOf(edit) == "C", "typed text: " + TextOf(edit));
        d.PressCancel();
        d.Check(d.WaitClosed(), "Cancel did not close the browser");
    });
    EXPECT_TRUE(driver.failures.empty()) << Joined(driver.failures);
    EXPECT_EQ(0, okAfterEmpty) << "an empty edit box disables OK";
    EXPECT_EQ(1, okAfterChar) << "one character enables OK";
    EXPECT_EQ(-1, result);
    for (const std::string& n : driver.notes) std::printf("note: %s\n", n.c_str());
}

TEST_F(PathDialogTest, NewThreeLevelFolderIsCreatedOnYes) {
    CPathDialog dialog(kPrompt, kPrompt, scratch_.c_str(), nullptr, fs, shell);
    const std::string typed = scratch_ + "\\新 建\\two\\three";
    std::string question, caption;
    bool browserDisabled = false;

    const int result = Run(dialog, [&](Driver& d) {
        if (!d.WaitBrowser()) return;
        d.Type(typed);
        d.PressOk();
        HWND box = d.WaitMessageBox();
        if (!d.Check(box != nullptr, "no question")) return;
        question = Driver::BoxText(box);
        caption = TextOf(box);
        browserDisabled = !IsWindowEnabled(d.Browser());
        d.Answer(box, IDYES);
        d.Check(d.WaitClosed(), "browser still open after Yes");
    });
    EXPECT_TRUE(driver.failures.empty()) << Joined(driver.failures);
    EXPECT_EQ(Question(typed), question);
    EXPECT_EQ(kTitle, caption);
    EXPECT_TRUE(browserDisabled) << "the question is owned by the browser";
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ(typed, dialog.GetChosenPath());
    EXPECT_TRUE(IsFolder(scratch_ + "\\新 建"));
    EXPECT_TRUE(IsFolder(typed));
}

TEST_F(PathDialogTest, RejectedPathsKeepTheBrowserOpen) {
    CPathDialog dialog(kPrompt, kPrompt, scratch_.c_str(), nullptr, fs, shell);
    const std::string bad = scratch_ + "\\bad|name";
    const std::string missing = scratch_ + "\\not yet";
    // Longer than a path buffer: refused whole, never cut into a shorter one.
    const std::string overlong = scratch_ + "\\" + std::string(300, 'a');
    std::string invalidText, overlongText, declinedText;
    bool openAfterInvalid = false, focusInEdit = false, openAfterNo = false, secondBox = true;

    const int result = Run(dialog, [&](Driver& d) {
        if (!d.WaitBrowser()) return;
        d.Type(bad);
        d.PressOk();
        HWND box = d.WaitMessageBox();
        if (!d.Check(box != nullptr, "no invalid-folder message")) return;
        invalidText = Driver::BoxText(box);
        d.Answer(box, IDOK);
        Sleep(300);
        openAfterInvalid = IsWindowVisible(d.Browser()) != FALSE;
        focusInEdit = d.Focus() == d.Edit();

        d.Type(overlong);
        d.PressOk();
        box = d.WaitMessageBox();
        if (!d.Check(box != nullptr, "no message for an over-long path")) return;
        overlongText = Driver::BoxText(box);
        d.Answer(box, IDOK);

        d.Type(missing);
        d.PressOk();
        box = d.WaitMessageBox();
        if (!d.Check(box != nullptr, "no creation question")) return;
        declinedText = Driver::BoxText(box);
        d.Answer(box, IDNO);
        secondBox = d.WaitMessageBox(500) != nullptr;
        openAfterNo = IsWindowVisible(d.Browser()) != FALSE;

        d.PressCancel();
        d.Check(d.WaitClosed(), "Cancel did not close the browser");
    });
    EXPECT_TRUE(driver.failures.empty()) << Joined(driver.failures);
    EXPECT_EQ(Invalid(bad), invalidText);
    EXPECT_TRUE(openAfterInvalid);
    EXPECT_TRUE(focusInEdit) << "focus goes back to the edit box";
    EXPECT_EQ(Invalid(overlong), overlongText);
    EXPECT_EQ(Question(missing), declinedText);
    EXPECT_FALSE(secondBox) << "No ends it without a further message";
    EXPECT_TRUE(openAfterNo);
    EXPECT_FALSE(IsFolder(missing));
    EXPECT_EQ(-1, result);
}

TEST_F(PathDialogTest, MissingDriveCannotBeCreated) {
    const DWORD drives = GetLogicalDrives();
    char letter = 0;
    for (char c = 'Y'; c >= 'D'; --c) {
        if ((drives & (1u << (c - 'A'))) == 0) {
            letter = c;
            break;
        }
    }
    ASSERT_NE(0, letter) << "every drive letter is taken";
    const std::string typed = std::string(1, letter) + ":\\Tarnix";
    CPathDialog dialog(kPrompt, kPrompt, scratch_.c_str(), nullptr, fs, shell);
    std::string report;

    const int result = Run(dialog, [&](Driver& d) {
        if (!d.WaitBrowser()) return;
        d.Type(typed);
        d.PressOk();
        HWND box = d.WaitMessageBox();
        if (!d.Check(box != nullptr, "no question")) return;
        d.Answer(box, IDYES);
        box = d.WaitMessageBox();
        if (!d.Check(box != nullptr, "no cannot-create message")) return;
        report = Driver::BoxText(box);
        d.Answer(box, IDOK);
        Sleep(200);
        d.Check(IsWindowVisible(d.Browser()) != FALSE, "browser closed after the failure");
        d.PressCancel();
        d.Check(d.WaitClosed(), "Cancel did not close the browser");
    });
    EXPECT_TRUE(driver.failures.empty()) << Joined(driver.failures);
    EXPECT_EQ(CannotCreate(typed), report);
    EXPECT_EQ(-1, result);
}

TEST_F(PathDialogTest, DriveRootAndExistingFileAreAcceptedAtOnce) {
    const std::string file = scratch_ + "\\plain.txt";
    {
        std::unique_ptr<std::FILE, FileClose> f(std::fopen(file.c_str(), "wb"));
        ASSERT_TRUE(f != nullptr);
    }
    for (const std::string& typed : {std::string("C:\\"), file}) {
        CPathDialog dialog(kPrompt, kPrompt, scratch_.c_str(), nullptr, fs, shell);
        bool asked = true;
        const int result = Run(dialog, [&](Driver& d) {
            if (!d.WaitBrowser()) return;
            d.Type(typed);
            d.PressOk();
            d.Check(d.WaitClosed(), "browser still open");
            asked = d.WaitMessageBox(200) != nullptr;
        });
        EXPECT_TRUE(driver.failures.empty()) << typed << Joined(driver.failures);
        EXPECT_FALSE(asked) << typed;
        EXPECT_EQ(IDOK, result) << typed;
        EXPECT_EQ(typed, dialog.GetChosenPath());
    }
}

TEST_F(PathDialogTest, WithoutStartFolderTheCurrentDirectoryIsSelected) {
    const std::string cwd = SystemFolder();
    ASSERT_TRUE(SetCurrentDirectoryA(cwd.c_str()));
    CPathDialog dialog(nullptr, kPrompt, nullptr, nullptr, fs, shell);
    std::string shown;

    const int result = Run(dialog, [&](Driver& d) {
        if (!d.WaitBrowser()) return;
        d.Wait([&] { return !TextOf(d.Edit()).empty(); }, 3000);
        shown = TextOf(d.Edit());
        d.PressCancel();
        d.Check(d.WaitClosed(), "Cancel did not close the browser");
    });
    EXPECT_TRUE(driver.failures.empty()) << Joined(driver.failures);
    EXPECT_EQ(0, lstrcmpiA(cwd.c_str(), shown.c_str())) << shown;
    EXPECT_EQ(-1, result);
}

TEST_F(PathDialogTest, ItemsWithoutADrivePathEmptyTheEditAndDisableOk) {
    CPathDialog dialog(kPrompt, kPrompt, scratch_.c_str(), nullptr, fs, shell);
    struct Seen {
        std::string text;
        bool ok;
    };
    std::vector<Seen> seen;

    const int result = Run(dialog, [&](Driver& d) {
        HWND browser = d.WaitBrowser();
        if (!browser) return;
        HWND tree = GetDlgItem(browser, kIdcBrowseTree);
        const auto root = reinterpret_cast<HTREEITEM>(
            SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
        if (!d.Check(root != nullptr, "empty tree")) return;
        SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(root));
        std::vector<HTREEITEM> items = {root};
        for (auto it = reinterpret_cast<HTREEITEM>(
                 SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(root)));
             it != nullptr;
             it = reinterpret_cast<HTREEITEM>(
                 SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(it)))) {
            items.push_back(it);
        }
        for (HTREEITEM it : items) {
            SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(it));
            seen.push_back({TextOf(d.Edit()), d.OkEnabled()});
        }
        d.PressCancel();
        d.Check(d.WaitClosed(), "Cancel did not close the browser");
    });
    EXPECT_TRUE(driver.failures.empty()) << Joined(driver.failures);
    EXPECT_EQ(-1, result);
    int virtualItems = 0;
    for (const Seen& s : seen) {
        std::printf("item: \"%s\" ok=%d\n", s.text.c_str(), s.ok ? 1 : 0);
        EXPECT_EQ(!s.text.empty(), s.ok) << s.text;
        if (s.text.empty()) {
            ++virtualItems;
        } else {
            EXPECT_EQ(':', s.text[1]) << s.text;
            EXPECT_TRUE(s.text.size() == 3 || s.text.back() != '\\') << s.text;
        }
    }
    EXPECT_GE(seen.size(), 2u);
    EXPECT_GE(virtualItems, 1) << "the computer's own item has no file-system path";
}

// The setup dialog's Browse: owned and disabled meanwhile; the text kept on
// Cancel and replaced on an accepted folder.
TEST_F(PathDialogTest, BrowseForInstallFolderKeepsOrReplacesTheText) {
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 10, 10, 200, 100,
                                 nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(owner != nullptr);
    std::unique_ptr<HWND__, decltype(&DestroyWindow)> ownerGuard(owner, &DestroyWindow);

    std::string text = scratch_;
    bool owned = false, ownerDisabled = false;
    bool changed = true;
    RunWithUser(
        [&] {
            changed = BrowseForInstallFolder(owner, fs, shell, &text);
            return 0;
        },
        [&](Driver& d) {
            HWND browser = d.WaitBrowser();
            if (!browser) return;
            owned = GetWindow(browser, GW_OWNER) == owner;
            ownerDisabled = !IsWindowEnabled(owner);
            d.Type("C:\\");
            d.PressCancel();
            d.Check(d.WaitClosed(), "Cancel did not close the browser");
        },
        &driver);
    EXPECT_TRUE(driver.failures.empty()) << Joined(driver.failures);
    EXPECT_TRUE(owned);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_FALSE(changed);
    EXPECT_EQ(scratch_, text);

    const std::string chosen = scratch_ + "\\picked";
    ASSERT_TRUE(CreateDirectoryA(chosen.c_str(), nullptr));
    Driver second(GetCurrentThreadId());
    RunWithUser(
        [&] {
            changed = BrowseForInstallFolder(owner, fs, shell, &text);
            return 0;
        },
        [&](Driver& d) {
            if (!d.WaitBrowser()) return;
            d.Type(chosen);
            d.PressOk();
            d.Check(d.WaitClosed(), "browser still open");
        },
        &second);
    EXPECT_TRUE(second.failures.empty()) << Joined(second.failures);
    EXPECT_TRUE(changed);
    EXPECT_EQ(chosen, text);
}

}  // namespace
}  // namespace tx
