// Scripted message boxes and a recording progress bar.
#pragma once

#include <deque>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/UserIo.h"

namespace tx {

class FakeMessageBox : public IMessageBox {
public:
    struct Call {
        std::string text;
        std::string caption;
        unsigned style;
    };

    // Answers handed out in order, one per Show.
    void Script(std::initializer_list<int> answers) {
        answers_.insert(answers_.end(), answers.begin(), answers.end());
    }
    const std::vector<Call>& Calls() const { return calls_; }
    // Boxes shown after the script ran out: a test that expected a fixed
    // number of answers should find none.
    int Unscripted() const { return unscripted_; }
    std::size_t Pending() const { return answers_.size(); }

    // Past the script: OK for an MB_OK box, Abort for anything else, so a
    // forgotten answer ends a retry loop instead of spinning.
    [[nodiscard]] int Show(const std::string& text, const std::string& caption,
                           unsigned style) override;

private:
    std::deque<int> answers_;
    std::vector<Call> calls_;
    int unscripted_ = 0;
};

class FakeProgress : public IProgress {
public:
    enum class Op { SetRange, SetStep, SetPos, StepIt };
    struct Call {
        Op op;
        int a;
        int b;
    };

    void SetRange(int low, int high) override;
    void SetStep(int step) override;
    void SetPos(int pos) override;
    void StepIt() override;

    const std::vector<Call>& Calls() const { return calls_; }
    int StepCount() const { return steps_; }
    // The bar's position; past the maximum a step starts over from the
    // minimum, as the common control does.
    int Pos() const { return pos_; }
    int Low() const { return low_; }
    int High() const { return high_; }

private:
    std::vector<Call> calls_;
    int low_ = 0;
    int high_ = 100;
    int step_ = 10;
    int pos_ = 0;
    int steps_ = 0;
};

}  // namespace tx
