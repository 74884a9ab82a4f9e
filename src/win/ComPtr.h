// Counted references to COM objects, and COM for the calling thread.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <cstddef>
#include <utility>

namespace yol {

// A counted reference to a COM object. Raw pointers come in either as a
// reference to take over (Adopt, put) or as one to share (Retain).
template <class T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    ~ComPtr() { reset(); }

    ComPtr(const ComPtr& o) noexcept : p_(o.p_) {
        if (p_ != nullptr) p_->AddRef();
    }
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(const ComPtr& o) noexcept {
        if (o.p_ != nullptr) o.p_->AddRef();
        reset(o.p_);
        return *this;
    }
    ComPtr& operator=(ComPtr&& o) noexcept {
        if (this != &o) reset(std::exchange(o.p_, nullptr));
        return *this;
    }

    // Takes over a reference the caller owns (no AddRef).
    static ComPtr Adopt(T* p) noexcept {
        ComPtr c;
        c.p_ = p;
        return c;
    }
    // Shares a reference someone else owns (AddRef).
    static ComPtr Retain(T* p) noexcept {
        if (p != nullptr) p->AddRef();
        return Adopt(p);
    }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

    // Drops the reference held and stands for `p` without an AddRef.
    void reset(T* p = nullptr) noexcept {
        T* old = std::exchange(p_, p);
        if (old != nullptr) old->Release();
    }
    // Gives the reference to the caller.
    [[nodiscard]] T* release() noexcept { return std::exchange(p_, nullptr); }
    // For out-parameters: drops the reference held and returns the slot.
    T** put() noexcept {
        reset();
        return &p_;
    }

    // QueryInterface for another interface of the object; empty when it has none.
    template <class U>
    ComPtr<U> As(REFIID iid) const noexcept {
        ComPtr<U> out;
        if (p_ != nullptr) p_->QueryInterface(iid, reinterpret_cast<void**>(out.put()));
        return out;
    }

private:
    T* p_ = nullptr;
};

// COM for the calling thread, single-threaded apartment, for the scope.
class ComApartment {
public:
    ComApartment() noexcept : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    HRESULT result() const noexcept { return hr_; }

private:
    HRESULT hr_;
};

}  // namespace yol
