// What the setup dialog's logic needs of its window. The Win32 binding
// implements it over the real dialog; tests implement it in memory.
#pragma once

#include <string>

#include "platform/UserIo.h"
#include "ui/DataExchange.h"

namespace tx {

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

class ISetupView : public IControlAccess {
public:
    virtual void ShowControl(int id, bool show) = 0;
    virtual void EnableControl(int id, bool enable) = 0;
    // Loads the icon resource as the window's small icon; false when the
    // resource is missing.
    virtual bool SetSmallIcon(int iconId) = 0;
    // The progress bar control (1014).
    virtual IProgress& ProgressBar() = 0;
    // Message boxes owned by the dialog.
    virtual IMessageBox& Messages() = 0;
    virtual void EndDialog(int result) = 0;
    // The window in screen coordinates; a control in client coordinates.
    virtual Rect WindowRect() = 0;
    virtual Rect ControlRect(int id) = 0;
    // Moves and resizes the window, repainting it.
    virtual void MoveWindow(const Rect& rect) = 0;
    // Runs the folder chooser starting from *folder; true and the accepted
    // folder in *folder, or false and *folder untouched. A window without a
    // chooser offers nothing.
    virtual bool ChooseFolder(std::string* /*folder*/) { return false; }
};

}  // namespace tx
