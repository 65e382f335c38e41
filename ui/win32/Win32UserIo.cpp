#include "ui/win32/Win32UserIo.h"

#include <commctrl.h>

namespace tx {

int Win32MessageBox::Show(const std::string& text, const std::string& caption, unsigned style) {
    return MessageBoxA(GetActiveWindow(), text.c_str(), caption.c_str(), style);
}

void Win32ProgressBar::SetRange(int low, int high) {
    SendMessageA(hwnd_, PBM_SETRANGE, 0, MAKELPARAM(low, high));
}

void Win32ProgressBar::SetStep(int step) {
    SendMessageA(hwnd_, PBM_SETSTEP, static_cast<WPARAM>(step), 0);
}

void Win32ProgressBar::SetPos(int pos) {
    SendMessageA(hwnd_, PBM_SETPOS, static_cast<WPARAM>(pos), 0);
}

void Win32ProgressBar::StepIt() { SendMessageA(hwnd_, PBM_STEPIT, 0, 0); }

}  // namespace tx
