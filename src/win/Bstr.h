// An owned BSTR.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstddef>
#include <string_view>
#include <utility>

namespace yol {

class Bstr {
public:
    Bstr() noexcept = default;
    explicit Bstr(std::wstring_view text)
        : s_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~Bstr() { reset(); }
    Bstr(Bstr&& o) noexcept : s_(std::exchange(o.s_, nullptr)) {}
    Bstr& operator=(Bstr&& o) noexcept {
        if (this != &o) reset(std::exchange(o.s_, nullptr));
        return *this;
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;

    static Bstr Adopt(BSTR s) noexcept {
        Bstr b;
        b.s_ = s;
        return b;
    }

    BSTR get() const noexcept { return s_; }
    std::size_t size() const noexcept { return s_ != nullptr ? SysStringLen(s_) : 0; }
    // A null BSTR is the empty text.
    std::wstring_view view() const noexcept { return {s_ != nullptr ? s_ : L"", size()}; }

    void reset(BSTR s = nullptr) noexcept {
        BSTR old = std::exchange(s_, s);
        if (old != nullptr) SysFreeString(old);
    }
    [[nodiscard]] BSTR release() noexcept { return std::exchange(s_, nullptr); }
    BSTR* put() noexcept {
        reset();
        return &s_;
    }

private:
    BSTR s_ = nullptr;
};

}  // namespace yol
