// The setup dialog without a window, for runs that show nothing: the
// template's controls held in memory, and message boxes answered at once.
#pragma once

#include <map>
#include <string>

#include "platform/UserIo.h"
#include "ui/SetupView.h"

namespace tx {

// Answers every box as a user who wants nothing risky would: Abort after a
// failed copy, No to a question, Cancel to Retry/Cancel, OK otherwise.
class SilentAnswers : public IMessageBox {
public:
    int Show(const std::string& text, const std::string& caption, unsigned style) override;
    int Shown() const { return shown_; }

private:
    int shown_ = 0;
};

// A progress bar nobody sees; it still keeps its position.
class HeadlessProgress : public IProgress {
public:
    void SetRange(int low, int high) override;
    void SetStep(int step) override { step_ = step; }
    void SetPos(int pos) override { pos_ = pos; }
    void StepIt() override;
    int Pos() const { return pos_; }

private:
    int low_ = 0;
    int high_ = 100;
    int step_ = 10;
    int pos_ = 0;
};

class HeadlessSetupView : public ISetupView {
public:
    // messages answers (and may log) every box the dialog's logic shows.
    explicit HeadlessSetupView(IMessageBox& messages);

    bool HasControl(int id) override { return controls_.count(id) != 0; }
    int GetCheck(int id) override;
    void SetCheck(int id, int state) override;
    std::string GetText(int id) override;
    void SetText(int id, const std::string& text) override;
    void ShowControl(int, bool) override {}
    void EnableControl(int id, bool enable) override;
    bool SetSmallIcon(int) override { return true; }
    IProgress& ProgressBar() override { return progress_; }
    IMessageBox& Messages() override { return messages_; }
    void EndDialog(int result) override { result_ = result; }
    Rect WindowRect() override { return Rect{}; }
    Rect ControlRect(int) override { return Rect{}; }
    void MoveWindow(const Rect&) override {}

    // 0 while the dialog has not been ended.
    int Result() const { return result_; }
    bool Enabled(int id) const;

private:
    struct Control {
        int check = 0;
        bool enabled = true;
        std::string text;
    };
    std::map<int, Control> controls_;
    IMessageBox& messages_;
    HeadlessProgress progress_;
    int result_ = 0;
};

}  // namespace tx
