#include "logdb/AdoLogQuery.h"

#include "win/Bstr.h"
#include "win/SystemError.h"
#include "win/TextConv.h"
#include "win/Variant.h"

namespace yol {
namespace {

constexpr HRESULT kAdoItemNotFound = static_cast<HRESULT>(0x800A0CC1);  // adErrItemNotFound

// What a failed Invoke reported.
struct Failure {
    HRESULT hr = S_OK;
    HRESULT scode = S_OK;  // from EXCEPINFO
    std::wstring description;
};

HRESULT TryInvoke(IDispatch* object, DISPID id, WORD flags, VARIANT* args, UINT count, VARIANT* result,
                  Failure& failure) {
    DISPPARAMS params{args, nullptr, count, 0};
    EXCEPINFO excep{};
    UINT argError = 0;
    const HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &excep, &argError);
    if (SUCCEEDED(hr)) return hr;
    failure.hr = hr;
    if (hr == DISP_E_EXCEPTION) {
        if (excep.pfnDeferredFillIn != nullptr) excep.pfnDeferredFillIn(&excep);
        failure.scode = excep.scode != S_OK ? excep.scode : hr;
        Bstr description = Bstr::Adopt(excep.bstrDescription);
        Bstr source = Bstr::Adopt(excep.bstrSource);
        Bstr help = Bstr::Adopt(excep.bstrHelpFile);
        failure.description = description.view();
    } else {
        failure.scode = hr;
    }
    return hr;
}

// The database's own description when it gave one, otherwise the code.
[[noreturn]] void Raise(const Failure& failure, const char* member) {
    std::wstring_view description = failure.description;
    while (!description.empty() && (description.back() == L'\r' || description.back() == L'\n'))
        description.remove_suffix(1);
    if (!description.empty()) throw LogQueryError(AnsiFromWide(description));
    throw LogQueryError(std::string("LogQuery: ") + member + " failed: " + DescribeHResult(failure.scode));
}

void Invoke(IDispatch* object, DISPID id, WORD flags, VARIANT* args, UINT count, VARIANT* result,
            const char* member) {
    Failure failure;
    if (FAILED(TryInvoke(object, id, flags, args, count, result, failure))) Raise(failure, member);
}

DISPID IdOf(IDispatch* object, const wchar_t* name, const char* member) {
    DISPID id = DISPID_UNKNOWN;
    auto* names = const_cast<LPOLESTR>(name);
    const HRESULT hr = object->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, &id);
    if (hr == DISP_E_UNKNOWNNAME || hr == DISP_E_MEMBERNOTFOUND) {
        throw LogQueryError(std::string("LogQuery: the database object has no ") + member + " (" +
                            DescribeHResult(hr) + ")");
    }
    if (FAILED(hr)) {
        throw LogQueryError(std::string("LogQuery: looking up ") + member +
                            " failed: " + DescribeHResult(hr));
    }
    return id;
}

// An object result (VT_DISPATCH, or VT_UNKNOWN answering to IDispatch).
ComPtr<IDispatch> ObjectOf(const Variant& v, const char* member) {
    ComPtr<IDispatch> object;
    if (v.type() == VT_DISPATCH) object = ComPtr<IDispatch>::Retain(v.get().pdispVal);
    else if (v.type() == VT_UNKNOWN && v.get().punkVal != nullptr)
        v.get().punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(object.put()));
    if (!object) throw LogQueryError(std::string("LogQuery: ") + member + " gave no object");
    return object;
}

}  // namespace

void AdoLogQuery::Bind(void* connectionRef) {
    Close();
    connection_ = ComPtr<IDispatch>::Retain(static_cast<IDispatch*>(connectionRef));
    execute_ = DISPID_UNKNOWN;
}

void AdoLogQuery::Close() {
    fieldCache_.clear();
    fields_.reset();
    if (recordset_ && close_ != DISPID_UNKNOWN) {
        Failure ignored;
        TryInvoke(recordset_.get(), close_, DISPATCH_METHOD, nullptr, 0, nullptr, ignored);
    }
    recordset_.reset();
    atEnd_ = true;
}

void AdoLogQuery::Open() {
    Close();
    if (!connection_) throw LogQueryError("LogQuery: no database connection");
    if (execute_ == DISPID_UNKNOWN) execute_ = IdOf(connection_.get(), L"Execute", "Connection.Execute");

    Variant commandText = Variant::Text(WideFromAnsi(sql_));
    Variant result;
    Invoke(connection_.get(), execute_, DISPATCH_METHOD, &commandText.get(), 1, result.put(), "Connection.Execute");
    ComPtr<IDispatch> recordset = ObjectOf(result, "Connection.Execute");

    // DISPIDs are fixed for an object's life: looked up once per recordset.
    eof_ = IdOf(recordset.get(), L"EOF", "Recordset.EOF");
    moveNext_ = IdOf(recordset.get(), L"MoveNext", "Recordset.MoveNext");
    close_ = IdOf(recordset.get(), L"Close", "Recordset.Close");
    recordset_ = std::move(recordset);
    try {
        const DISPID fieldsId = IdOf(recordset_.get(), L"Fields", "Recordset.Fields");
        Invoke(recordset_.get(), fieldsId, DISPATCH_PROPERTYGET, nullptr, 0, result.put(), "Recordset.Fields");
        fields_ = ObjectOf(result, "Recordset.Fields");
        item_ = IdOf(fields_.get(), L"Item", "Fields.Item");
        atEnd_ = false;
        ReadEof();
    } catch (...) {
        Close();
        throw;
    }
}

void AdoLogQuery::ReadEof() {
    Variant eof;
    Invoke(recordset_.get(), eof_, DISPATCH_PROPERTYGET, nullptr, 0, eof.put(), "Recordset.EOF");
    if (eof.type() == VT_BOOL) {
        atEnd_ = eof.get().boolVal != VARIANT_FALSE;
    } else {
        Variant flag;
        if (FAILED(VariantChangeTypeEx(flag.put(), &eof.get(), LOCALE_INVARIANT, 0, VT_BOOL)))
            throw LogQueryError("LogQuery: Recordset.EOF is not a truth value");
        atEnd_ = flag.get().boolVal != VARIANT_FALSE;
    }
}

void AdoLogQuery::Next() {
    if (!recordset_ || atEnd_) return;
    Invoke(recordset_.get(), moveNext_, DISPATCH_METHOD, nullptr, 0, nullptr, "Recordset.MoveNext");
    ReadEof();
}

const AdoLogQuery::CachedField& AdoLogQuery::FieldFor(std::string_view column) {
    for (const CachedField& f : fieldCache_)
        if (f.column == column) return f;

    Variant name = Variant::Text(WideFromAnsi(column));
    Variant result;
    Failure failure;
    if (FAILED(TryInvoke(fields_.get(), item_, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &name.get(), 1,
                         result.put(), failure))) {
        if (failure.scode == kAdoItemNotFound || failure.hr == kAdoItemNotFound) throw FieldNotFound(column);
        Raise(failure, "Fields.Item");
    }
    ComPtr<IDispatch> field = ObjectOf(result, "Fields.Item");
    const DISPID value = IdOf(field.get(), L"Value", "Field.Value");
    fieldCache_.push_back({std::string(column), std::move(field), value});
    return fieldCache_.back();
}

std::string_view AdoLogQuery::ColumnAsText(std::string_view column) {
    if (!recordset_) throw LogQueryError("LogQuery: the query is not open");
    const CachedField& field = FieldFor(column);

    Variant value;
    Invoke(field.field.get(), field.value, DISPATCH_PROPERTYGET, nullptr, 0, value.put(), "Field.Value");
    const auto unreadable = [&column](HRESULT hr) {
        return LogQueryError("LogQuery: the value of field '" + std::string(column) +
                             "' cannot be read as text: " + DescribeHResult(hr));
    };
    // A provider may hand the value out by reference.
    if ((value.type() & VT_BYREF) != 0) {
        Variant direct;
        const HRESULT hr = VariantCopyInd(direct.put(), &value.get());
        if (FAILED(hr)) throw unreadable(hr);
        value = std::move(direct);
    }
    switch (value.type()) {
        case VT_BSTR:
            NarrowInto({value.get().bstrVal, SysStringLen(value.get().bstrVal)}, CP_ACP, text_);
            break;
        case VT_EMPTY:
        case VT_NULL:
            text_.clear();
            break;
        default: {
            // Numbers and dates in the invariant locale: a band of 3.5 reads
            // "3.5", as the host passes it, whatever the regional settings.
            Variant text;
            const HRESULT hr =
                VariantChangeTypeEx(text.put(), &value.get(), LOCALE_INVARIANT, VARIANT_ALPHABOOL, VT_BSTR);
            if (FAILED(hr)) throw unreadable(hr);
            NarrowInto({text.get().bstrVal, SysStringLen(text.get().bstrVal)}, CP_ACP, text_);
            break;
        }
    }
    return text_;
}

}  // namespace yol
