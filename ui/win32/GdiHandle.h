// Move-only owners of GDI objects: deleted with their owner.
#pragma once

#include <windows.h>

#include <utility>

namespace tx {

template <class Handle>
class UniqueGdiObject {
public:
    UniqueGdiObject() = default;
    explicit UniqueGdiObject(Handle h) : h_(h) {}
    UniqueGdiObject(const UniqueGdiObject&) = delete;
    UniqueGdiObject& operator=(const UniqueGdiObject&) = delete;
    UniqueGdiObject(UniqueGdiObject&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
    UniqueGdiObject& operator=(UniqueGdiObject&& o) noexcept {
        if (this != &o) reset(std::exchange(o.h_, nullptr));
        return *this;
    }
    ~UniqueGdiObject() { reset(); }

    void reset(Handle h = nullptr) {
        if (h_ != nullptr) DeleteObject(h_);
        h_ = h;
    }
    Handle get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    Handle h_ = nullptr;
};

using UniqueBrush = UniqueGdiObject<HBRUSH>;
using UniqueFont = UniqueGdiObject<HFONT>;

}  // namespace tx
