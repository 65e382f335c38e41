#include "ui/win32/DialogBase.h"

#include <vector>

namespace tx {

DialogBase::DialogBase(HINSTANCE instance, int templateId, HWND parent)
    : instance_(instance), templateId_(templateId), parent_(parent) {}

INT_PTR DialogBase::DoModal() {
    const INT_PTR result = DialogBoxParamA(instance_, MAKEINTRESOURCEA(templateId_), parent_,
                                           &DialogBase::Proc, reinterpret_cast<LPARAM>(this));
    hwnd_ = nullptr;
    return result;
}

void DialogBase::End(INT_PTR result) { ::EndDialog(hwnd_, result); }

void DialogBase::OnClicked(int id, std::function<void()> handler) {
    clicks_[id] = std::move(handler);
}

bool DialogBase::HasControl(int id) { return Item(id) != nullptr; }

int DialogBase::GetCheck(int id) {
    return static_cast<int>(SendDlgItemMessageA(hwnd_, id, BM_GETCHECK, 0, 0));
}

void DialogBase::SetCheck(int id, int state) {
    SendDlgItemMessageA(hwnd_, id, BM_SETCHECK, static_cast<WPARAM>(state), 0);
}

std::string DialogBase::GetText(int id) {
    HWND item = Item(id);
    const int length = GetWindowTextLengthA(item);
    if (length <= 0) return std::string();
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
    const int got = GetWindowTextA(item, buffer.data(), length + 1);
    return std::string(buffer.data(), got > 0 ? static_cast<std::size_t>(got) : 0);
}

void DialogBase::SetText(int id, const std::string& text) { SetDlgItemTextA(hwnd_, id, text.c_str()); }

HBRUSH DialogBase::OnCtlColor(HDC, HWND, UINT) { return nullptr; }

void DialogBase::DefaultCtlColor(HDC dc, HWND control, UINT message) {
    DefWindowProcA(hwnd_, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
}

INT_PTR CALLBACK DialogBase::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    DialogBase* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<DialogBase*>(lParam);
        self->hwnd_ = hwnd;
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
    } else {
        self = reinterpret_cast<DialogBase*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    }
    // Messages before WM_INITDIALOG (WM_SETFONT) go to the dialog manager.
    return self != nullptr ? self->Handle(message, wParam, lParam) : FALSE;
}

INT_PTR DialogBase::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const int code = HIWORD(wParam);
        if (code != BN_CLICKED) return FALSE;
        if (id == IDOK) {
            OnOK();
        } else if (id == IDCANCEL) {
            OnCancel();
        } else {
            auto it = clicks_.find(id);
            if (it == clicks_.end()) return FALSE;
            it->second();
        }
        return TRUE;
    }
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
        // The brush is the result itself, not DWLP_MSGRESULT.
        return reinterpret_cast<INT_PTR>(
            OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), message));
    default:
        return FALSE;
    }
}

}  // namespace tx
