#include "adosim/Values.h"

#include <sqlite3.h>

#include <cstdint>
#include <new>
#include <utility>

#include "adosim/Dispatch.h"

namespace yol::adosim::detail {

void ColumnValue(sqlite3_stmt* stmt, int column, Variant& out) {
    VARIANT& v = *out.put();
    switch (sqlite3_column_type(stmt, column)) {
        case SQLITE_INTEGER: {
            const sqlite3_int64 n = sqlite3_column_int64(stmt, column);
            if (n >= INT32_MIN && n <= INT32_MAX) {
                v.vt = VT_I4;
                v.lVal = static_cast<LONG>(n);
            } else {
                v.vt = VT_I8;
                v.llVal = n;
            }
            break;
        }
        case SQLITE_FLOAT:
            v.vt = VT_R8;
            v.dblVal = sqlite3_column_double(stmt, column);
            break;
        case SQLITE_TEXT: {
            const void* text = sqlite3_column_text16(stmt, column);
            const int bytes = sqlite3_column_bytes16(stmt, column);
            v.bstrVal = SysAllocStringLen(static_cast<const OLECHAR*>(text), static_cast<UINT>(bytes / 2));
            if (v.bstrVal == nullptr) throw std::bad_alloc();
            v.vt = VT_BSTR;
            break;
        }
        case SQLITE_BLOB: {
            const int bytes = sqlite3_column_bytes(stmt, column);
            SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes));
            if (array == nullptr) throw std::bad_alloc();
            if (bytes > 0) {
                void* data = nullptr;
                SafeArrayAccessData(array, &data);
                CopyMemory(data, sqlite3_column_blob(stmt, column), static_cast<SIZE_T>(bytes));
                SafeArrayUnaccessData(array);
            }
            v.vt = VT_ARRAY | VT_UI1;
            v.parray = array;
            break;
        }
        default:
            v.vt = VT_NULL;
            break;
    }
}

// The stored value as the type asked for; by reference into held.
void GiveAs(Variant& stored, VARTYPE type, const std::wstring& fieldName, Variant& held, Variant& out) {
    const bool byRef = (type & VT_BYREF) != 0;
    const auto base = static_cast<VARTYPE>(type & ~VT_BYREF);
    Variant& target = byRef ? held : out;
    if (base == VT_NULL || base == VT_EMPTY) {
        target.put()->vt = base;
    } else if (stored.type() == VT_NULL || base == VT_VARIANT) {
        target = std::move(stored);
    } else {
        const HRESULT hr = VariantChangeTypeEx(target.put(), &stored.get(), LOCALE_INVARIANT, 0, base);
        if (FAILED(hr)) {
            throw DispatchError{hr, L"adosim: a value of field '" + fieldName +
                                        L"' cannot be given as the type asked for."};
        }
    }
    if (!byRef) return;
    if (held.type() == VT_NULL && base != VT_VARIANT) {
        out.put()->vt = VT_NULL;  // a Null has nothing to refer to
        return;
    }
    VARIANT& v = *out.put();
    v.vt = type;
    if (base == VT_VARIANT) v.pvarVal = &held.get();
    else if (base == VT_DECIMAL) v.pdecVal = &held.get().decVal;
    else v.byref = &held.get().llVal;  // every other member starts there
}

}  // namespace yol::adosim::detail
