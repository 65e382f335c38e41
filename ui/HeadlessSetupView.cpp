#include "ui/HeadlessSetupView.h"

#include "res/resource.h"
#include "ui/SetupDialog.h"

namespace tx {

int SilentAnswers::Show(const std::string&, const std::string&, unsigned style) {
    ++shown_;
    switch (style & 0xF) {
        case kMbAbortRetryIgnore: return kIdAbort;
        case kMbYesNo: return kIdNo;
        case kMbRetryCancel: return kIdCancel;
        default: return kIdOk;
    }
}

void HeadlessProgress::SetRange(int low, int high) {
    low_ = low;
    high_ = high;
}

void HeadlessProgress::StepIt() {
    // As the common control does: past the top it starts again at the bottom.
    pos_ += step_;
    if (pos_ > high_) pos_ = low_ + (pos_ - high_);
}

HeadlessSetupView::HeadlessSetupView(IMessageBox& messages) : messages_(messages) {
    for (int id : kReleaseCheckboxIds) controls_[id];
    for (int id : {kIdOk, kIdCancel, IDC_VERSION, IDC_HEAD_RELEASES, IDC_PATH, IDC_BROWSE,
                   IDC_PROGRESS, IDC_HEAD_PATH, IDC_MENU_PICTURE, IDC_INSTALL, IDC_DONE_NOTE}) {
        controls_[id];
    }
}

int HeadlessSetupView::GetCheck(int id) { return controls_.at(id).check; }
void HeadlessSetupView::SetCheck(int id, int state) { controls_.at(id).check = state; }
std::string HeadlessSetupView::GetText(int id) { return controls_.at(id).text; }
void HeadlessSetupView::SetText(int id, const std::string& text) { controls_.at(id).text = text; }
void HeadlessSetupView::EnableControl(int id, bool enable) { controls_.at(id).enabled = enable; }
bool HeadlessSetupView::Enabled(int id) const { return controls_.at(id).enabled; }

}  // namespace tx
