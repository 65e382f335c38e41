// An in-memory setup dialog window for the dialog's logic: the template's
// controls with their initial visibility, message boxes and progress bar
// recorded.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/fakes/FakeUserIo.h"
#include "ui/SetupDialog.h"
#include "ui/SetupView.h"

namespace tx {

// Rectangles in pixels at 1.5 pixels per dialog unit.
class FakeSetupView : public ISetupView {
public:
    struct Control {
        bool visible = true;
        bool enabled = true;
        int check = 0;
        std::string text;
        Rect rect;
    };

    FakeSetupView() {
        for (int id : kReleaseCheckboxIds) Add(id, true, {0, 0, 0, 0});
        Add(kIdOk, false, Du(110, 214, 63, 14));
        Add(kIdCancel, true, Du(173, 262, 50, 14));
        Add(IDC_VERSION, true, Du(67, 22, 205, 10));
        Add(IDC_HEAD_RELEASES, true, Du(14, 62, 69, 10));
        Add(IDC_PATH, true, Du(13, 233, 202, 12));
        Add(IDC_BROWSE, true, Du(221, 231, 51, 13));
        Add(IDC_PROGRESS, false, Du(13, 236, 256, 6));
        Add(IDC_HEAD_PATH, true, Du(14, 215, 71, 9));
        Add(IDC_MENU_PICTURE, false, Du(39, 78, 205, 117));
        Add(IDC_INSTALL, true, Du(60, 263, 50, 13));
        Add(IDC_DONE_NOTE, false, Du(47, 62, 190, 10));
    }

    static Rect Du(int x, int y, int w, int h) {
        return {x * 3 / 2, y * 3 / 2, (x + w) * 3 / 2, (y + h) * 3 / 2};
    }

    Control& At(int id) { return controls.at(id); }
    bool Visible(int id) { return At(id).visible; }
    bool Enabled(int id) { return At(id).enabled; }

    bool HasControl(int id) override { return controls.count(id) != 0; }
    int GetCheck(int id) override { return At(id).check; }
    void SetCheck(int id, int state) override { At(id).check = state; }
    std::string GetText(int id) override { return At(id).text; }
    void SetText(int id, const std::string& text) override { At(id).text = text; }
    void ShowControl(int id, bool show) override { At(id).visible = show; }
    void EnableControl(int id, bool enable) override { At(id).enabled = enable; }
    bool SetSmallIcon(int iconId) override {
        iconRequests.push_back(iconId);
        return true;
    }
    IProgress& ProgressBar() override { return progress; }
    IMessageBox& Messages() override { return messages; }
    void EndDialog(int result) override { endResults.push_back(result); }
    Rect WindowRect() override { return window; }
    Rect ControlRect(int id) override { return At(id).rect; }
    void MoveWindow(const Rect& rect) override {
        moves.push_back(rect);
        window = rect;
    }
    // The chooser: records where it started, accepts chooserAnswer if set.
    bool ChooseFolder(std::string* folder) override {
        chooserStarts.push_back(*folder);
        if (!chooserAccepts) return false;
        *folder = chooserAnswer;
        return true;
    }

    std::map<int, Control> controls;
    FakeMessageBox messages;
    FakeProgress progress;
    std::vector<int> iconRequests;
    std::vector<int> endResults;
    Rect window{200, 100, 200 + 430, 100 + 460};
    std::vector<Rect> moves;
    std::vector<std::string> chooserStarts;
    bool chooserAccepts = false;
    std::string chooserAnswer;

private:
    void Add(int id, bool visible, Rect rect) {
        Control c;
        c.visible = visible;
        c.rect = rect;
        controls[id] = c;
    }
};

}  // namespace tx
