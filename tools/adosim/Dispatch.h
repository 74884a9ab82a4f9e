// The simulator's IDispatch machinery: its objects answer GetIDsOfNames
// and Invoke from a table of members, count every call per connection and
// fail the armed one, and report failures as ADO does (DISP_E_EXCEPTION with
// the EXCEPINFO filled). Internal to the simulator.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "adosim/AdoSim.h"
#include "win/Variant.h"

namespace yol::adosim::detail {

inline LONG gLiveObjects = 0;

constexpr const wchar_t* kObjectClosedText = L"Operation is not allowed when the object is closed.";
constexpr const wchar_t* kNoCurrentRecordText =
    L"Either BOF or EOF is True, or the current record has been deleted. Requested operation "
    L"requires a current record.";

// A failure reported to the caller through EXCEPINFO.
struct DispatchError {
    HRESULT scode;
    std::wstring description;
};

// A failure reported as Invoke's own result (wrong arguments and the like).
struct InvokeFailure {
    HRESULT hr;
};

inline bool SameName(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

// What a connection shares with every object opened from it: the call
// count, the armed fault and the value types asked for.
struct Session {
    long calls = 0;
    long failAt = 0;  // the number of the call that fails; 0: none
    Fault fault;
    std::wstring failedCall;
    std::vector<std::pair<std::wstring, VARTYPE>> valueTypes;

    // Counts one call; true when it is the one to fail.
    bool Count() {
        ++calls;
        if (failAt == 0 || calls != failAt) return false;
        failAt = 0;
        return true;
    }
    VARTYPE TypeOf(std::wstring_view column) const {
        for (const auto& [name, type] : valueTypes)
            if (SameName(name, column)) return type;
        return kAsStored;
    }
};

// The arguments of one Invoke, in call order (rgvarg holds them reversed).
// A VT_BYREF|VT_VARIANT argument is seen through.
class Args {
public:
    explicit Args(const DISPPARAMS* p) : p_(p) {}
    UINT Count() const { return p_ != nullptr ? p_->cArgs : 0; }
    void Require(UINT least, UINT most) const {
        if (Count() < least || Count() > most) throw InvokeFailure{DISP_E_BADPARAMCOUNT};
    }
    const VARIANT& At(UINT i) const {
        const VARIANT& v = p_->rgvarg[p_->cArgs - 1 - i];
        if (v.vt == (VT_BYREF | VT_VARIANT) && v.pvarVal != nullptr) return *v.pvarVal;
        return v;
    }
    // An optional argument left out arrives as VT_ERROR DISP_E_PARAMNOTFOUND.
    bool Given(UINT i) const {
        if (i >= Count()) return false;
        const VARIANT& v = At(i);
        return !(v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND) && v.vt != VT_EMPTY;
    }
    // The caller's VARIANT behind a by-reference argument, or nullptr.
    VARIANT* OutSlot(UINT i) const {
        if (i >= Count()) return nullptr;
        const VARIANT& v = p_->rgvarg[p_->cArgs - 1 - i];
        return v.vt == (VT_BYREF | VT_VARIANT) ? v.pvarVal : nullptr;
    }
    std::wstring Text(UINT i) const {
        Variant text;
        const HRESULT hr = VariantChangeType(text.put(), const_cast<VARIANT*>(&At(i)), 0, VT_BSTR);
        if (FAILED(hr)) throw InvokeFailure{DISP_E_TYPEMISMATCH};
        return std::wstring(text.get().bstrVal, SysStringLen(text.get().bstrVal));
    }

private:
    const DISPPARAMS* p_;
};

struct Member {
    const wchar_t* name;
    DISPID id;
    WORD flags;  // DISPATCH_METHOD and/or DISPATCH_PROPERTYGET
};
constexpr WORD kMethod = DISPATCH_METHOD;
constexpr WORD kGet = DISPATCH_PROPERTYGET;

// IUnknown and IDispatch over a table of members; Derived supplies
// kMembers, kSource and Call(id, args, result).
template <class Derived>
class DispatchObject : public IDispatch {
public:
    explicit DispatchObject(std::shared_ptr<Session> session) : session_(std::move(session)) {
        InterlockedIncrement(&gLiveObjects);
    }
    virtual ~DispatchObject() { InterlockedDecrement(&gLiveObjects); }
    DispatchObject(const DispatchObject&) = delete;
    DispatchObject& operator=(const DispatchObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || Derived::Extra(iid)) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info != nullptr) *info = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (session_->Count()) {
            const wchar_t* name = names != nullptr && count > 0 && names[0] != nullptr ? names[0] : L"";
            session_->failedCall = L"GetIDsOfNames " + ClassName() + L"." + name;
            return session_->fault.code;
        }
        if (names == nullptr || ids == nullptr) return E_POINTER;
        if (count == 0) return S_OK;
        HRESULT hr = S_OK;
        ids[0] = DISPID_UNKNOWN;
        for (const Member& m : Derived::kMembers) {
            if (SameName(m.name, names[0] != nullptr ? names[0] : L"")) {
                ids[0] = m.id;
                break;
            }
        }
        if (ids[0] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
        for (UINT i = 1; i < count; ++i) {  // no named parameters
            ids[i] = DISPID_UNKNOWN;
            hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* excep, UINT*) override {
        const Member* member = nullptr;
        for (const Member& m : Derived::kMembers)
            if (m.id == id) member = &m;
        if (session_->Count()) {
            session_->failedCall = L"Invoke " + ClassName() + L"." +
                                   (member != nullptr ? std::wstring(member->name) : std::to_wstring(id));
            const Fault& fault = session_->fault;
            if (!fault.withException) return fault.code;
            if (excep != nullptr) Fill(*excep, fault.code, fault.description);
            return DISP_E_EXCEPTION;
        }
        if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        if (member == nullptr || (member->flags & flags) == 0) return DISP_E_MEMBERNOTFOUND;
        if (params != nullptr && params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
        if (result != nullptr) VariantInit(result);
        try {
            Variant out;
            static_cast<Derived*>(this)->Call(id, Args(params), out);
            if (result != nullptr) out.release(result);
            return S_OK;
        } catch (const DispatchError& e) {
            if (excep != nullptr) Fill(*excep, e.scode, e.description);
            return DISP_E_EXCEPTION;
        } catch (const InvokeFailure& e) {
            return e.hr;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

    static bool Extra(REFIID) { return false; }

    Session& State() const { return *session_; }

protected:
    const std::shared_ptr<Session> session_;

private:
    // "Field" for "adosim.Field".
    static std::wstring ClassName() {
        const std::wstring_view source = Derived::kSource;
        return std::wstring(source.substr(source.find(L'.') + 1));
    }
    static void Fill(EXCEPINFO& excep, HRESULT scode, const std::wstring& description) {
        excep = EXCEPINFO{};
        excep.scode = scode;
        excep.bstrSource = SysAllocString(Derived::kSource);
        excep.bstrDescription = SysAllocStringLen(description.data(), static_cast<UINT>(description.size()));
    }

    ULONG refs_ = 1;
};

}  // namespace yol::adosim::detail
