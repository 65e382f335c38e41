// Move-only owners of the few OS handles the driver opens.
#pragma once

#include <windows.h>

#include <utility>

namespace txdrive {

template <class H, class Traits>
class Unique {
public:
    Unique() = default;
    explicit Unique(H h) : h_(h) {}
    ~Unique() { Reset(); }
    Unique(Unique&& o) noexcept : h_(std::exchange(o.h_, Traits::Invalid())) {}
    Unique& operator=(Unique&& o) noexcept {
        if (this != &o) {
            Reset();
            h_ = std::exchange(o.h_, Traits::Invalid());
        }
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;

    H Get() const { return h_; }
    bool Valid() const { return h_ != Traits::Invalid(); }
    void Reset() {
        if (Valid()) Traits::Close(h_);
        h_ = Traits::Invalid();
    }

private:
    H h_ = Traits::Invalid();
};

struct FileTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
struct KeyTraits {
    static HKEY Invalid() { return nullptr; }
    static void Close(HKEY h) { RegCloseKey(h); }
};
struct FindTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { FindClose(h); }
};

using UniqueFile = Unique<HANDLE, FileTraits>;
using UniqueKey = Unique<HKEY, KeyTraits>;
using UniqueFind = Unique<HANDLE, FindTraits>;

}  // namespace txdrive
