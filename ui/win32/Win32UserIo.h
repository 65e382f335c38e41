// Message boxes and the progress bar control for the install logic.
#pragma once

#include <windows.h>

#include "platform/UserIo.h"

namespace tx {

// MessageBoxA owned by the thread's active window, or by none.
class Win32MessageBox : public IMessageBox {
public:
    [[nodiscard]] int Show(const std::string& text, const std::string& caption,
                           unsigned style) override;
};

// A progress bar control, driven by PBM_* messages. The control belongs to
// its dialog; this only sends it messages.
class Win32ProgressBar : public IProgress {
public:
    explicit Win32ProgressBar(HWND control = nullptr) : hwnd_(control) {}
    void Attach(HWND control) { hwnd_ = control; }
    HWND Hwnd() const { return hwnd_; }

    void SetRange(int low, int high) override;
    void SetStep(int step) override;
    void SetPos(int pos) override;
    void StepIt() override;

private:
    HWND hwnd_;
};

}  // namespace tx
