// Where a run is cut off: counts every call that changes the machine, and
// from the one numbered `at` on the machine is gone: nothing the run still
// does reaches it, as if the process had died there (it runs on, but
// changes nothing). An append cut there may leave part of its text behind.
#pragma once

#include <cstdint>

namespace tx {

// How a run is cut off: the process dies, or dies in the middle of a
// journal line, or the power goes (the line torn too, and what was written
// without a flush lost).
enum class Cut { Crash, TornLine, PowerCut };

inline const char* CutName(Cut cut) {
    return cut == Cut::Crash ? "crash" : cut == Cut::TornLine ? "torn line" : "power cut";
}

// What a call gets once the machine is gone: ERROR_NOT_READY, the device
// is not there.
constexpr std::uint32_t kStoppedError = 21;

class Stopper {
public:
    explicit Stopper(long at, bool tearAppend) : at_(at), tear_(tearAppend) {}
    // True from the stop on.
    bool Due() { return count_++ >= at_; }
    bool Stopped() const { return count_ > at_; }
    bool JustStopped() const { return count_ == at_ + 1; }
    bool Tear() const { return tear_; }

private:
    long at_;
    bool tear_;
    long count_ = 0;
};

}  // namespace tx
