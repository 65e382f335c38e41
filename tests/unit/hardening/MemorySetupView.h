// The setup dialog's window held in memory: every control of the template
// with its visibility, text and tick, scripted message boxes and a recording
// progress bar. Shared by the whole-installation tests and the fuzz target
// of the install sequence.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/fakes/FakeUserIo.h"
#include "ui/SetupDialog.h"
#include "ui/SetupView.h"

namespace tx {

class MemorySetupView : public ISetupView {
public:
    struct Control {
        bool visible = true;
        bool enabled = true;
        int check = 0;
        std::string text;
        Rect rect;
    };

    MemorySetupView() {
        for (int id : kReleaseCheckboxIds) Add(id, true, {});
        Add(kIdOk, false, {165, 321, 259, 342});
        Add(kIdCancel, true, {259, 393, 334, 414});
        for (int id : {IDC_VERSION, IDC_HEAD_RELEASES, IDC_PATH, IDC_BROWSE, IDC_HEAD_PATH,
                       IDC_INSTALL})
            Add(id, true, {});
        for (int id : {IDC_PROGRESS, IDC_MENU_PICTURE, IDC_DONE_NOTE}) Add(id, false, {});
    }

    bool Visible(int id) const { return controls.at(id).visible; }
    bool Enabled(int id) const { return controls.at(id).enabled; }

    bool HasControl(int id) override { return controls.count(id) != 0; }
    int GetCheck(int id) override { return controls.at(id).check; }
    void SetCheck(int id, int state) override { controls.at(id).check = state; }
    std::string GetText(int id) override { return controls.at(id).text; }
    void SetText(int id, const std::string& text) override { controls.at(id).text = text; }
    void ShowControl(int id, bool show) override { controls.at(id).visible = show; }
    void EnableControl(int id, bool enable) override { controls.at(id).enabled = enable; }
    bool SetSmallIcon(int) override { return true; }
    IProgress& ProgressBar() override { return progress; }
    IMessageBox& Messages() override { return messages; }
    void EndDialog(int result) override { endResults.push_back(result); }
    Rect WindowRect() override { return window; }
    Rect ControlRect(int id) override { return controls.at(id).rect; }
    void MoveWindow(const Rect& rect) override { window = rect; }

    std::map<int, Control> controls;
    FakeMessageBox messages;
    FakeProgress progress;
    std::vector<int> endResults;
    Rect window{200, 100, 630, 560};

private:
    void Add(int id, bool visible, Rect rect) {
        Control c;
        c.visible = visible;
        c.rect = rect;
        controls[id] = c;
    }
};

}  // namespace tx
