// A second thread for a test that plays the user while the first runs a
// modal dialog. CreateThread, not std::thread: the programs are built with
// MinGW-w64's win32 thread model, whose C++ library has no std::thread.
#pragma once

#include <windows.h>

#include <functional>
#include <utility>

namespace tx {

class SideThread {
public:
    explicit SideThread(std::function<void()> body) : body_(std::move(body)) {
        thread_ = CreateThread(nullptr, 0, &SideThread::Start, this, 0, nullptr);
        // Without a thread the body runs nowhere; the test sees that.
    }
    SideThread(const SideThread&) = delete;
    SideThread& operator=(const SideThread&) = delete;
    ~SideThread() { Join(); }

    void Join() {
        if (thread_ == nullptr) return;
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    bool Started() const { return thread_ != nullptr; }

private:
    static DWORD WINAPI Start(void* self) {
        static_cast<SideThread*>(self)->body_();
        return 0;
    }
    std::function<void()> body_;
    HANDLE thread_ = nullptr;
};

}  // namespace tx
