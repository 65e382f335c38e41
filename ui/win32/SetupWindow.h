// The setup dialog's window: template 141 bound to the portable Dlg_Setup.
#pragma once

#include <windows.h>

#include "platform/FileSystem.h"
#include "platform/win32/SystemLibrary.h"
#include "ui/SetupDialog.h"
#include "ui/SetupView.h"
#include "ui/win32/DialogBase.h"
#include "ui/win32/GdiHandle.h"
#include "ui/win32/ShellApi.h"
#include "ui/win32/Win32UserIo.h"

namespace tx {

class SetupWindow : public DialogBase, public ISetupView {
public:
    SetupWindow(HINSTANCE instance, HWND parent, CAcadInfo& info, IInstaller& installer,
                const CodePage& codePage, InstallRun& run, IFileSystem& fileSystem,
                int buildBits = kBuildBits);

    Dlg_Setup& Logic() { return logic_; }

    // ISetupView (the control access comes from DialogBase).
    bool HasControl(int id) override { return DialogBase::HasControl(id); }
    int GetCheck(int id) override { return DialogBase::GetCheck(id); }
    void SetCheck(int id, int state) override { DialogBase::SetCheck(id, state); }
    std::string GetText(int id) override { return DialogBase::GetText(id); }
    void SetText(int id, const std::string& text) override { DialogBase::SetText(id, text); }
    void ShowControl(int id, bool show) override;
    void EnableControl(int id, bool enable) override;
    bool SetSmallIcon(int iconId) override;
    IProgress& ProgressBar() override;
    IMessageBox& Messages() override {
        return shownBoxes_ != nullptr ? *shownBoxes_ : static_cast<IMessageBox&>(messages_);
    }
    // Every box the dialog shows goes through boxes first (a log, say),
    // which passes it on to the dialog's own.
    void RouteMessagesThrough(IMessageBox& boxes) { shownBoxes_ = &boxes; }
    IMessageBox& OwnMessages() { return messages_; }
    void EndDialog(int result) override { End(result); }
    Rect WindowRect() override;
    Rect ControlRect(int id) override;
    void MoveWindow(const Rect& rect) override;
    bool ChooseFolder(std::string* folder) override;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override { logic_.OnOK(); }
    void OnCancel() override { logic_.OnCancel(); }
    HBRUSH OnCtlColor(HDC dc, HWND control, UINT message) override;

private:
    // First in, last out. System DLLs take some DLLs by bare name through
    // delay loads, which not every loader keeps to the restricted search:
    // the common controls take uxtheme when they first draw, and Wine's
    // input-method support takes ole32 when the first window opens. A copy
    // already loaded from System32 answers such a load.
    SystemLibrary visualStyles_;
    SystemLibrary com_;
    SystemLibrary commonControls_;  // the progress bar's class
    Dlg_Setup logic_;
    UniqueBrush background_;
    UniqueFont versionFont_;  // one for the dialog's life
    Win32MessageBox messages_;
    IMessageBox* shownBoxes_ = nullptr;
    Win32ProgressBar progress_;
    IFileSystem& fileSystem_;
    ShellApi shell_;  // the folder chooser's, loaded on the first Browse
};

}  // namespace tx
