// Owning wrapper for a handle that one function frees, and the buffers
// the system allocates for us with LocalAlloc (FormatMessage, CommandLineToArgvW).
#pragma once

#include <windows.h>

#include <utility>

namespace yol {

// Owns a handle of type H, freed with Free when it goes.
template <class H, auto Free>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(H h) noexcept : h_(h) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) {
            reset();
            h_ = std::exchange(o.h_, nullptr);
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    H get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return h_ != nullptr; }
    void reset(H h = nullptr) noexcept {
        if (h_ != nullptr) Free(h_);
        h_ = h;
    }

private:
    H h_ = nullptr;
};

inline void FreeLocal(void* p) noexcept { LocalFree(p); }

// A buffer from LocalAlloc.
template <class T>
using LocalMemory = UniqueHandle<T*, FreeLocal>;

}  // namespace yol
