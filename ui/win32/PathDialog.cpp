#include "ui/win32/PathDialog.h"

#include <memory>
#include <vector>

#include "platform/UserIo.h"
#include "platform/win32/Win32CodePage.h"
#include "engine/PathRules.h"
#include "ui/FolderPrompts.h"

namespace tx {

namespace {

// Names the chooser's object on the browse window while it is subclassed.
constexpr char kSubclassProp[] = "TxPathDialogSub";

// The edit box: WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 23 pixels
// high, ending 4 pixels above the tree.
constexpr DWORD kEditStyle = 0x50010080;
constexpr int kEditTopAboveTree = 27;
constexpr int kEditBottomAboveTree = 4;

struct ComRelease {
    template <class T>
    void operator()(T* p) const {
        p->Release();
    }
};
template <class T>
using ComRef = std::unique_ptr<T, ComRelease>;

// An item list the shell allocated; freed with the shell's allocator.
struct ShellFree {
    IMalloc* allocator;
    void operator()(ITEMIDLIST* p) const { allocator->Free(p); }
};
using ShellItemList = std::unique_ptr<ITEMIDLIST, ShellFree>;

// The shell wants COM on the calling thread; joins whatever the caller set up.
class ComApartment {
public:
    explicit ComApartment(const ShellApi& shell)
        : shell_(shell),
          hr_(shell.coInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~ComApartment() {
        if (SUCCEEDED(hr_)) shell_.coUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    const ShellApi& shell_;
    HRESULT hr_;
};

// The chooser's questions and reports, owned by the browse window so that it
// stays disabled while they are up.
class OwnedMessageBox : public IMessageBox {
public:
    explicit OwnedMessageBox(HWND owner) : owner_(owner) {}
    [[nodiscard]] int Show(const std::string& text, const std::string& caption,
                           unsigned style) override {
        return MessageBoxA(owner_, text.c_str(), caption.c_str(), style);
    }

private:
    HWND owner_;
};

// A pop-up cannot be owned by a child window; take its top-level window and
// that window's last active pop-up.
HWND SafeOwner(HWND parent) {
    HWND wnd = parent != nullptr ? parent : GetActiveWindow();
    while (wnd != nullptr && (GetWindowLongPtrA(wnd, GWL_STYLE) & WS_CHILD) != 0) {
        wnd = GetParent(wnd);
    }
    return wnd != nullptr ? GetLastActivePopup(wnd) : nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// CPathDialogSub

bool CPathDialogSub::Attach(HWND wnd) {
    if (m_hWnd != nullptr || wnd == nullptr) return false;
    if (!SetPropA(wnd, kSubclassProp, this)) return false;
    // The shell's window is a Unicode one: the W calls keep its messages
    // untranslated on their way to its own procedure.
    const LONG_PTR previous =
        SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));
    if (previous == 0) {
        RemovePropA(wnd, kSubclassProp);
        return false;
    }
    m_hWnd = wnd;
    m_previousProc = reinterpret_cast<WNDPROC>(previous);
    return true;
}

void CPathDialogSub::Detach() {
    if (m_hWnd == nullptr) return;
    if (IsWindow(m_hWnd) &&
        GetWindowLongPtrW(m_hWnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&WindowProc)) {
        SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previousProc));
    }
    RemovePropA(m_hWnd, kSubclassProp);
    m_hWnd = nullptr;
    m_previousProc = nullptr;
}

LRESULT CALLBACK CPathDialogSub::WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<CPathDialogSub*>(GetPropA(wnd, kSubclassProp));
    if (self == nullptr) return DefWindowProcW(wnd, msg, wParam, lParam);
    const WNDPROC previous = self->m_previousProc;

    if (msg == WM_COMMAND) {
        const int id = LOWORD(wParam);
        const int code = HIWORD(wParam);
        if (id == IDOK && code == BN_CLICKED) {
            self->OnOK();
            return 0;
        }
        if (id == kIdcFolderEdit && code == EN_CHANGE) {
            self->OnEditChange();
            return 0;
        }
    } else if (msg == BFFM_ENABLEOK) {
        // Some shells judge a selection only after reporting it and would
        // undo the chooser's choice; OK follows the edit box.
        if (HWND edit = GetDlgItem(wnd, kIdcFolderEdit)) {
            lParam = GetWindowTextLengthA(edit) > 0 ? 1 : 0;
        }
    } else if (msg == WM_NCDESTROY) {
        self->Detach();
    }
    return CallWindowProcW(previous, wnd, msg, wParam, lParam);
}

void CPathDialogSub::OnEditChange() {
    CPathDialog& dialog = *m_pOwnerDialog;
    dialog.EnableOk(!dialog.ReadEdit().empty());
}

void CPathDialogSub::OnOK() {
    CPathDialog& dialog = *m_pOwnerDialog;
    const std::string path = dialog.ReadEdit();

    OwnedMessageBox box(m_hWnd);
    FolderPrompts prompts(box, AppTitleFromModulePath(dialog.m_fileSystem.ModulePath(),
                                                      dialog.m_codePage));
    const FolderRules rules(dialog.m_fileSystem, prompts, dialog.m_codePage);
    if (rules.ConfirmFolder(path.c_str()) != kPathValid) {
        SetFocus(GetDlgItem(m_hWnd, kIdcFolderEdit));
        return;
    }
    dialog.m_bAccepted = 1;
    EndDialog(m_hWnd, IDOK);
}

// ---------------------------------------------------------------------------
// CPathDialog

CPathDialog::CPathDialog(const char* caption, const char* title, const char* initialFolder,
                         HWND parent, IFileSystem& fileSystem, ShellApi& shell)
    : m_pszCaption(caption),
      m_pszInitialFolder(initialFolder),
      m_browseInfo(),
      m_hOwnerWnd(SafeOwner(parent)),
      m_fileSystem(fileSystem),
      m_shell(shell),
      m_codePage(AnsiCodePageId()),
      m_browseWndSub(this) {
    m_browseInfo.hwndOwner = m_hOwnerWnd;
    m_browseInfo.pidlRoot = nullptr;
    m_browseInfo.pszDisplayName = nullptr;
    m_browseInfo.lpszTitle = title;
    m_browseInfo.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
    m_browseInfo.lpfn = &BrowseCallback;
    m_browseInfo.lParam = 0;
    m_browseInfo.iImage = 0;
}

int CPathDialog::DoModal() {
    if (!m_shell.Load()) return -1;
    const ComApartment apartment(m_shell);
    char displayName[MAX_PATH] = {};
    m_browseInfo.lParam = reinterpret_cast<LPARAM>(this);
    m_browseInfo.lpfn = &BrowseCallback;
    m_browseInfo.pszDisplayName = displayName;

    IMalloc* rawAllocator = nullptr;
    if (FAILED(m_shell.shGetMalloc(&rawAllocator)) || rawAllocator == nullptr) {
        m_browseInfo.pszDisplayName = nullptr;
        return -1;
    }
    const ComRef<IMalloc> allocator(rawAllocator);

    m_bAccepted = 0;
    {
        // Only OnOK decides the result; the returned list is just freed.
        const ShellItemList list(m_shell.shBrowseForFolder(&m_browseInfo),
                                 ShellFree{allocator.get()});
    }
    m_browseWndSub.Detach();
    m_hBrowseWnd = nullptr;
    m_browseInfo.pszDisplayName = nullptr;
    return m_bAccepted != 0 ? IDOK : -1;
}

int CALLBACK CPathDialog::BrowseCallback(HWND wnd, UINT msg, LPARAM param, LPARAM data) {
    auto* self = reinterpret_cast<CPathDialog*>(data);
    if (self == nullptr) return 0;
    if (msg == BFFM_INITIALIZED) {
        self->OnInitialized(wnd);
    } else if (msg == BFFM_SELCHANGED) {
        self->OnSelectionChanged(wnd, reinterpret_cast<LPCITEMIDLIST>(param));
    }
    return 0;
}

void CPathDialog::OnInitialized(HWND wnd) {
    m_hBrowseWnd = wnd;
    if (m_pszCaption != nullptr) SetWindowTextA(wnd, m_pszCaption);
    m_browseWndSub.Attach(wnd);

    if (HWND status = GetDlgItem(wnd, kIdcBrowseStatus)) ShowWindow(status, SW_HIDE);

    RECT tree = {};
    if (HWND treeWnd = GetDlgItem(wnd, kIdcBrowseTree)) GetWindowRect(treeWnd, &tree);
    POINT topLeft = {tree.left, tree.top - kEditTopAboveTree};
    POINT bottomRight = {tree.right, tree.top - kEditBottomAboveTree};
    ScreenToClient(wnd, &topLeft);
    ScreenToClient(wnd, &bottomRight);

    HWND edit = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "", kEditStyle, topLeft.x, topLeft.y,
                                bottomRight.x - topLeft.x, bottomRight.y - topLeft.y, wnd,
                                nullptr, nullptr, nullptr);
    if (edit != nullptr) {
        // A child window: destroyed with the browse window.
        SetWindowLongPtrA(edit, GWLP_ID, kIdcFolderEdit);
        ShowWindow(edit, SW_SHOW);
        const LRESULT font = SendMessageA(wnd, WM_GETFONT, 0, 0);
        SendMessageA(edit, WM_SETFONT, static_cast<WPARAM>(font), TRUE);
    }

    const std::string current =
        m_pszInitialFolder == nullptr ? m_fileSystem.CurrentDirectory() : std::string();
    const char* folder = m_pszInitialFolder != nullptr ? m_pszInitialFolder : current.c_str();
    SendMessageA(wnd, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(folder));
}

void CPathDialog::OnSelectionChanged(HWND wnd, LPCITEMIDLIST item) {
    char path[MAX_PATH] = {};
    // Only folders with a drive letter can be confirmed from the tree: not
    // virtual items, not network paths.
    const bool usable =
        item != nullptr && m_shell.shGetPathFromIdList(item, path) && path[1] == ':';
    if (!usable) {
        path[0] = '\0';
    } else {
        // Some shells end a special folder's path with '\'; a folder other
        // than a drive root is shown without it, as OK expects.
        const std::string text = path;
        if (text.size() > 3 && m_codePage.EndsWithBackslash(text)) path[text.size() - 1] = '\0';
    }
    SendMessageA(wnd, BFFM_ENABLEOK, 0, usable ? 1 : 0);
    // Before initialisation there is no edit box yet.
    if (HWND edit = GetDlgItem(wnd, kIdcFolderEdit)) SetWindowTextA(edit, path);
}

std::string CPathDialog::ReadEdit() {
    std::string text;
    if (HWND edit = GetDlgItem(m_hBrowseWnd, kIdcFolderEdit)) {
        const int capacity = GetWindowTextLengthA(edit) + 1;
        std::vector<char> buffer(static_cast<std::size_t>(capacity), '\0');
        const int got = GetWindowTextA(edit, buffer.data(), capacity);
        if (got > 0) text.assign(buffer.data(), static_cast<std::size_t>(got));
    }
    // The kept copy holds whole characters only. A longer text is refused on
    // OK, so it never stands for a shorter folder.
    std::size_t keep = 0;
    while (keep < text.size()) {
        const std::size_t n = m_codePage.CharLength(text, keep);
        if (keep + n > MAX_PATH - 1) break;
        keep += n;
    }
    text.copy(m_szChosenPath, keep);
    m_szChosenPath[keep] = '\0';
    return text;
}

void CPathDialog::EnableOk(bool enable) const {
    SendMessageA(m_hBrowseWnd, BFFM_ENABLEOK, 0, enable ? 1 : 0);
}

// ---------------------------------------------------------------------------

bool BrowseForInstallFolder(HWND owner, IFileSystem& fileSystem, ShellApi& shell,
                            std::string* folderText) {
    static constexpr char kPrompt[] = "请选择安装目录：";
    // The start folder must outlive the chooser.
    const std::string start = *folderText;
    CPathDialog dialog(kPrompt, kPrompt, start.c_str(), owner, fileSystem, shell);
    if (dialog.DoModal() != IDOK) return false;
    *folderText = dialog.GetChosenPath();
    return true;
}

}  // namespace tx
