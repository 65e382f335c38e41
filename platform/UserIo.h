// What the install logic says to the user: message boxes and the progress bar.
#pragma once

#include <string>

namespace tx {

// MessageBoxA styles and results the installer uses.
constexpr unsigned kMbOk = 0x0;
constexpr unsigned kMbAbortRetryIgnore = 0x2;
constexpr unsigned kMbYesNo = 0x4;
constexpr unsigned kMbRetryCancel = 0x5;
constexpr unsigned kMbIconStop = 0x10;
constexpr unsigned kMbIconQuestion = 0x20;
constexpr unsigned kMbIconExclamation = 0x30;

constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdAbort = 3;
constexpr int kIdRetry = 4;
constexpr int kIdIgnore = 5;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

class IMessageBox {
public:
    virtual ~IMessageBox() = default;
    // Shows a modal message box and returns the button pressed (kId*), 0
    // when it cannot be shown.
    [[nodiscard]] virtual int Show(const std::string& text, const std::string& caption,
                                   unsigned style) = 0;
};

// A box with an OK button only: closed either way, or not shown at all, the
// program goes on as after OK.
inline void Tell(IMessageBox& box, const std::string& text, const std::string& caption,
                 unsigned style) {
    // Nothing is asked: every answer, a failed box's 0 included, means the same.
    (void)box.Show(text, caption, style);
}

// The progress bar control, by the messages the installer sends it.
class IProgress {
public:
    virtual ~IProgress() = default;
    virtual void SetRange(int low, int high) = 0;  // PBM_SETRANGE
    virtual void SetStep(int step) = 0;            // PBM_SETSTEP
    virtual void SetPos(int pos) = 0;              // PBM_SETPOS
    virtual void StepIt() = 0;                     // PBM_STEPIT
};

}  // namespace tx
