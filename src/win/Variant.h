// An owned VARIANT.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string_view>

namespace yol {

// Initialised on construction, cleared on destruction.
class Variant {
public:
    Variant() noexcept { VariantInit(&v_); }
    ~Variant() { VariantClear(&v_); }
    Variant(Variant&& o) noexcept : v_(o.v_) { VariantInit(&o.v_); }
    Variant& operator=(Variant&& o) noexcept {
        if (this != &o) {
            VariantClear(&v_);
            v_ = o.v_;
            VariantInit(&o.v_);
        }
        return *this;
    }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;

    static Variant Text(std::wstring_view text) {
        Variant v;
        v.v_.vt = VT_BSTR;
        v.v_.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return v;
    }
    static Variant Int(LONG value) noexcept {
        Variant v;
        v.v_.vt = VT_I4;
        v.v_.lVal = value;
        return v;
    }
    // Holds a further reference to the object.
    static Variant Dispatch(IDispatch* object) noexcept {
        Variant v;
        v.v_.vt = VT_DISPATCH;
        v.v_.pdispVal = object;
        if (object != nullptr) object->AddRef();
        return v;
    }

    VARTYPE type() const noexcept { return v_.vt; }
    const VARIANT& get() const noexcept { return v_; }
    VARIANT& get() noexcept { return v_; }
    // For out-parameters: clears the value and returns the slot.
    VARIANT* put() noexcept {
        VariantClear(&v_);
        return &v_;
    }
    // Hands the value over to the caller's VARIANT, which must be cleared.
    void release(VARIANT* out) noexcept {
        *out = v_;
        VariantInit(&v_);
    }

private:
    VARIANT v_;
};

}  // namespace yol
