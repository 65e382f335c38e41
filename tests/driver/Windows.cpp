#include "tests/driver/Windows.h"

#include <commctrl.h>

#include <algorithm>

#include "tests/driver/Report.h"

namespace txdrive {

namespace {

constexpr UINT kSendTimeoutMs = 3000;

LRESULT SendBounded(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(hwnd, msg, w, l, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result)) return 0;
    return static_cast<LRESULT>(result);
}

struct FindRequest {
    const std::string* title;
    const std::string* cls;
    bool withHidden;
    std::vector<HWND>* found;
};

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM lp) {
    auto* req = reinterpret_cast<FindRequest*>(lp);
    if (!req->withHidden && !IsWindowVisible(hwnd)) return TRUE;
    if (!req->cls->empty() && ClassOf(hwnd) != *req->cls) return TRUE;
    if (CaptionOf(hwnd) != *req->title) return TRUE;
    req->found->push_back(hwnd);
    return TRUE;
}

bool IsCheckable(DWORD style) {
    switch (style & BS_TYPEMASK) {
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_3STATE:
        case BS_AUTO3STATE:
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
            return true;
        default:
            return false;
    }
}

std::string RectText(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
           "," + std::to_string(r.bottom);
}

}  // namespace

std::vector<HWND> FindTopLevels(const std::string& title, const std::string& cls, bool withHidden) {
    std::vector<HWND> found;
    FindRequest req{&title, &cls, withHidden, &found};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&req));
    return found;
}

std::vector<HWND> AllTopLevels(bool withHidden) {
    std::vector<HWND> found;
    EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    if (!withHidden) {
        found.erase(std::remove_if(found.begin(), found.end(),
                                   [](HWND h) { return !IsWindowVisible(h); }),
                    found.end());
    }
    return found;
}

HWND WaitTopLevel(const std::string& title, const std::string& cls, DWORD timeoutMs) {
    HWND hwnd = nullptr;
    PollUntil(timeoutMs, [&] {
        const std::vector<HWND> found = FindTopLevels(title, cls, false);
        if (found.empty()) return false;
        hwnd = found.front();
        return true;
    });
    return hwnd;
}

std::string CaptionOf(HWND hwnd) {
    char buf[1024] = {};
    GetWindowTextA(hwnd, buf, sizeof buf);
    return buf;
}

std::string TextOf(HWND hwnd) {
    const LRESULT len = SendBounded(hwnd, WM_GETTEXTLENGTH, 0, 0);
    if (len <= 0) return {};
    std::string buf(static_cast<std::size_t>(len) + 1, '\0');
    const LRESULT got = SendBounded(hwnd, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(&buf[0]));
    buf.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return buf;
}

std::string ClassOf(HWND hwnd) {
    char buf[256] = {};
    GetClassNameA(hwnd, buf, sizeof buf);
    return buf;
}

ControlState ReadControl(HWND parent, HWND ctl) {
    ControlState c;
    c.hwnd = ctl;
    c.id = GetDlgCtrlID(ctl);
    c.cls = ClassOf(ctl);
    c.style = static_cast<DWORD>(GetWindowLongPtrA(ctl, GWL_STYLE));
    c.visible = IsWindowVisible(ctl) != FALSE;
    c.enabled = IsWindowEnabled(ctl) != FALSE;
    if (lstrcmpiA(c.cls.c_str(), "Button") == 0 && IsCheckable(c.style)) {
        c.checkable = true;
        c.checked = static_cast<int>(SendBounded(ctl, BM_GETCHECK, 0, 0));
    }
    if (lstrcmpiA(c.cls.c_str(), PROGRESS_CLASSA) == 0) {
        c.progress = true;
        c.pos = static_cast<int>(SendBounded(ctl, PBM_GETPOS, 0, 0));
        c.low = static_cast<int>(SendBounded(ctl, PBM_GETRANGE, TRUE, 0));
        c.high = static_cast<int>(SendBounded(ctl, PBM_GETRANGE, FALSE, 0));
    }
    RECT r{};
    GetWindowRect(ctl, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    c.rect = r;
    c.text = TextOf(ctl);
    return c;
}

std::vector<ControlState> ReadControls(HWND parent) {
    std::vector<ControlState> all;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        all.push_back(ReadControl(parent, c));
    }
    return all;
}

HWND ChildById(HWND parent, int id) {
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (GetDlgCtrlID(c) == id) return c;
    }
    return nullptr;
}

std::string DescribeWindow(HWND hwnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    RECT r{};
    GetWindowRect(hwnd, &r);
    RECT cr{};
    GetClientRect(hwnd, &cr);
    POINT origin{0, 0};
    ClientToScreen(hwnd, &origin);
    HWND owner = GetWindow(hwnd, GW_OWNER);
    return "window hwnd=" + Hex(reinterpret_cast<ULONG_PTR>(hwnd)) + " pid=" + std::to_string(pid) +
           " class=" + ClassOf(hwnd) +
           " style=" + Hex(static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_STYLE))) +
           " exstyle=" + Hex(static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_EXSTYLE))) +
           " visible=" + std::to_string(IsWindowVisible(hwnd) ? 1 : 0) +
           " enabled=" + std::to_string(IsWindowEnabled(hwnd) ? 1 : 0) + " rect=" + RectText(r) +
           " client=" + std::to_string(cr.right) + "," + std::to_string(cr.bottom) +
           " origin=" + std::to_string(origin.x) + "," + std::to_string(origin.y) +
           " owner=" + (owner ? Shown(CaptionOf(owner)) : std::string("-")) +
           " title=" + Shown(CaptionOf(hwnd));
}

std::string DescribeControl(const ControlState& c) {
    std::string line = "control id=" + std::to_string(c.id) + " class=" + c.cls +
                       " style=" + Hex(c.style) + " visible=" + std::to_string(c.visible ? 1 : 0) +
                       " enabled=" + std::to_string(c.enabled ? 1 : 0);
    if (c.checkable) line += " checked=" + std::to_string(c.checked);
    if (c.progress) {
        line += " pos=" + std::to_string(c.pos) + " range=" + std::to_string(c.low) + ".." +
                std::to_string(c.high);
    }
    line += " rect=" + RectText(c.rect) + " text=" + Shown(c.text);
    return line;
}

}  // namespace txdrive
