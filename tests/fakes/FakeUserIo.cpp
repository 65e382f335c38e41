#include "tests/fakes/FakeUserIo.h"

namespace tx {

int FakeMessageBox::Show(const std::string& text, const std::string& caption, unsigned style) {
    calls_.push_back({text, caption, style});
    if (answers_.empty()) {
        ++unscripted_;
        return (style & 0xF) == kMbOk ? kIdOk : kIdAbort;
    }
    int answer = answers_.front();
    answers_.pop_front();
    return answer;
}

void FakeProgress::SetRange(int low, int high) {
    calls_.push_back({Op::SetRange, low, high});
    low_ = low;
    high_ = high;
    if (pos_ < low_) pos_ = low_;
    if (pos_ > high_) pos_ = high_;
}

void FakeProgress::SetStep(int step) {
    calls_.push_back({Op::SetStep, step, 0});
    step_ = step;
}

void FakeProgress::SetPos(int pos) {
    calls_.push_back({Op::SetPos, pos, 0});
    pos_ = pos < low_ ? low_ : (pos > high_ ? high_ : pos);
}

void FakeProgress::StepIt() {
    calls_.push_back({Op::StepIt, 0, 0});
    ++steps_;
    if (low_ == high_) return;
    pos_ += step_;
    if (pos_ > high_) pos_ = (pos_ - low_) % (high_ - low_) + low_;
}

}  // namespace tx
