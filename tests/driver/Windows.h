// Finding and reading the windows of another process.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace txdrive {

struct ControlState {
    HWND hwnd = nullptr;
    int id = 0;
    std::string cls;
    DWORD style = 0;
    bool visible = false;
    bool enabled = false;
    bool checkable = false;
    int checked = 0;
    bool progress = false;
    int pos = 0;
    int low = 0;
    int high = 0;
    RECT rect{};  // in the client coordinates of the parent
    std::string text;
};

// Top-level windows whose caption is exactly title (bytes of the ANSI code
// page) and, when cls is not empty, whose class is cls. Hidden windows count
// only when withHidden is set.
std::vector<HWND> FindTopLevels(const std::string& title, const std::string& cls, bool withHidden);

// Polls every 50 ms until pred() holds or timeoutMs has passed.
template <class Pred>
bool PollUntil(DWORD timeoutMs, Pred pred) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (pred()) return true;
        if (GetTickCount64() >= end) return false;
        Sleep(50);
    }
}

// Every top-level window (visible ones only unless withHidden).
std::vector<HWND> AllTopLevels(bool withHidden);

HWND WaitTopLevel(const std::string& title, const std::string& cls, DWORD timeoutMs);

std::string CaptionOf(HWND hwnd);   // a top-level window's caption
std::string TextOf(HWND hwnd);      // any window's text, through WM_GETTEXT
std::string ClassOf(HWND hwnd);

ControlState ReadControl(HWND parent, HWND ctl);
// Direct children in z order, which for a dialog is the template order.
std::vector<ControlState> ReadControls(HWND parent);
HWND ChildById(HWND parent, int id);

std::string DescribeWindow(HWND hwnd);
std::string DescribeControl(const ControlState& c);

}  // namespace txdrive
