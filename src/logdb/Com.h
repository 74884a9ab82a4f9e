// Owning wrappers for COM resources, and text conversions between UTF-16, the
// host's ANSI code page and UTF-8.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
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

// An owned BSTR.
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

// An owned VARIANT: initialised on construction, cleared on destruction.
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

// --- Text conversions ------------------------------------------------------

// Converts UTF-16 into `out` (replacing its content) in the given code page.
// Characters the code page lacks become its default character.
inline void NarrowInto(std::wstring_view text, UINT codePage, std::string& out) {
    out.clear();
    if (text.empty()) return;
    // ASCII is the same in every ANSI code page and in UTF-8.
    bool ascii = true;
    for (wchar_t c : text) ascii = ascii && c < 0x80;
    if (ascii) {
        out.resize(text.size());
        for (std::size_t i = 0; i < text.size(); ++i) out[i] = static_cast<char>(text[i]);
        return;
    }
    const int length = static_cast<int>(text.size());
    const int needed = WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return;
    out.resize(static_cast<std::size_t>(needed));
    const int written =
        WideCharToMultiByte(codePage, 0, text.data(), length, out.data(), needed, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(written > 0 ? written : 0));
}

inline std::string Narrow(std::wstring_view text, UINT codePage) {
    std::string out;
    NarrowInto(text, codePage, out);
    return out;
}

// Converts text in the given code page to UTF-16. Invalid sequences become
// U+FFFD (UTF-8) or the code page's best fit.
inline std::wstring Widen(std::string_view text, UINT codePage) {
    std::wstring out;
    if (text.empty()) return out;
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) return out;
    out.resize(static_cast<std::size_t>(needed));
    const int written = MultiByteToWideChar(codePage, 0, text.data(), length, out.data(), needed);
    out.resize(static_cast<std::size_t>(written > 0 ? written : 0));
    return out;
}

// The host's single-byte code page is the process's ANSI code page.
inline std::string AnsiFromWide(std::wstring_view text) { return Narrow(text, CP_ACP); }
inline std::wstring WideFromAnsi(std::string_view text) { return Widen(text, CP_ACP); }
inline std::string Utf8FromWide(std::wstring_view text) { return Narrow(text, CP_UTF8); }
inline std::wstring WideFromUtf8(std::string_view text) { return Widen(text, CP_UTF8); }
inline std::string AnsiFromUtf8(std::string_view text) { return AnsiFromWide(WideFromUtf8(text)); }
inline std::string Utf8FromAnsi(std::string_view text) { return Utf8FromWide(WideFromAnsi(text)); }

// "HRESULT 0x80004005 (Unspecified error)", the system's text when it has one.
inline std::string DescribeHResult(HRESULT hr) {
    char code[32];
    std::snprintf(code, sizeof code, "HRESULT 0x%08lX", static_cast<unsigned long>(hr));
    std::string text = code;
    wchar_t* message = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    if (length > 0 && message != nullptr) {
        std::wstring_view m(message, length);
        while (!m.empty() && (m.back() == L'\r' || m.back() == L'\n' || m.back() == L' ' || m.back() == L'.'))
            m.remove_suffix(1);
        if (!m.empty()) text += " (" + Utf8FromWide(m) + ")";
    }
    if (message != nullptr) LocalFree(message);
    return text;
}

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
