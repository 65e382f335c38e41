#include "ui/win32/SetupWindow.h"

#include <commctrl.h>

#include "res/resource.h"
#include "ui/SetupPaint.h"
#include "ui/win32/PathDialog.h"

namespace tx {

namespace {

// The template's progress bar is a common control: its class comes with
// comctl32, loaded from System32 for the window and kept while it lives.
SystemLibrary LoadCommonControls() {
    SystemLibrary comctl32(L"comctl32.dll");
    if (auto* init = comctl32.Proc<decltype(InitCommonControlsEx)>("InitCommonControlsEx")) {
        const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
        init(&controls);
    }
    return comctl32;
}

}  // namespace

SetupWindow::SetupWindow(HINSTANCE instance, HWND parent, CAcadInfo& info, IInstaller& installer,
                         const CodePage& codePage, InstallRun& run, IFileSystem& fileSystem,
                         int buildBits)
    : DialogBase(instance, IDD_SETUP, parent),
      visualStyles_(L"uxtheme.dll"),
      com_(L"ole32.dll"),
      commonControls_(LoadCommonControls()),
      logic_(*this, info, installer, codePage, run, buildBits),
      fileSystem_(fileSystem) {
    for (int id : kReleaseCheckboxIds) OnClicked(id, [this] { logic_.OnReleaseClicked(); });
    OnClicked(IDC_BROWSE, [this] { logic_.OnBrowse(); });
    OnClicked(IDC_INSTALL, [this] { logic_.OnInstall(); });
}

BOOL SetupWindow::OnInitDialog() {
    background_.reset(CreateSolidBrush(kBackgroundColour));
    versionFont_.reset(CreateFontA(kVersionFont.height, 0, 0, 0, kVersionFont.weight, FALSE,
                                   FALSE, FALSE, static_cast<BYTE>(kVersionFont.charset),
                                   OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                   DEFAULT_PITCH | FF_DONTCARE, kVersionFont.face));
    // Wine's static control selects its own font after WM_CTLCOLORSTATIC,
    // so the version line also gets the font as its own.
    if (versionFont_)
        SendMessageA(Item(IDC_VERSION), WM_SETFONT, reinterpret_cast<WPARAM>(versionFont_.get()),
                     FALSE);
    progress_.Attach(Item(IDC_PROGRESS));
    return logic_.OnInitDialog() ? TRUE : FALSE;
}

HBRUSH SetupWindow::OnCtlColor(HDC dc, HWND control, UINT message) {
    DefaultCtlColor(dc, control, message);
    const int id = (control == nullptr || control == Hwnd()) ? 0 : GetDlgCtrlID(control);
    const CtlColorPaint paint = DecideCtlColor(id);
    SetTextColor(dc, paint.textColour);
    if (paint.transparent) SetBkMode(dc, TRANSPARENT);
    // Selected while the control draws its text; the control puts its own
    // font back afterwards, and the font outlives every paint.
    if (paint.versionFont && versionFont_) SelectObject(dc, versionFont_.get());
    return background_.get();
}

void SetupWindow::ShowControl(int id, bool show) {
    ShowWindow(Item(id), show ? SW_SHOW : SW_HIDE);
}

void SetupWindow::EnableControl(int id, bool enable) { EnableWindow(Item(id), enable ? TRUE : FALSE); }

bool SetupWindow::SetSmallIcon(int iconId) {
    // Shared: the system frees it with the module.
    HANDLE icon = LoadImageA(Instance(), MAKEINTRESOURCEA(iconId), IMAGE_ICON,
                             GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                             LR_SHARED);
    if (icon == nullptr) return false;
    SendMessageA(Hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    return true;
}

IProgress& SetupWindow::ProgressBar() {
    // No message loop runs while the install does: paint the progress view
    // (the hidden folder controls' place and the bar) before the first step.
    RedrawWindow(Hwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    return progress_;
}

Rect SetupWindow::WindowRect() {
    RECT r{};
    GetWindowRect(Hwnd(), &r);
    return {r.left, r.top, r.right, r.bottom};
}

Rect SetupWindow::ControlRect(int id) {
    RECT r{};
    GetWindowRect(Item(id), &r);
    MapWindowPoints(nullptr, Hwnd(), reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right, r.bottom};
}

void SetupWindow::MoveWindow(const Rect& rect) {
    ::MoveWindow(Hwnd(), rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
}

bool SetupWindow::ChooseFolder(std::string* folder) {
    return BrowseForInstallFolder(Hwnd(), fileSystem_, shell_, folder);
}

}  // namespace tx
