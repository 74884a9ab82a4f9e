// Values as the simulator hands them out: a SQLite column as ADO's
// providers give it, and a value converted to the type asked for with
// SetValueType. Internal to the simulator.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

#include "win/Variant.h"

struct sqlite3_stmt;

namespace yol::adosim::detail {

// The column of the statement's current row: text VT_BSTR, integers VT_I4
// (VT_I8 beyond 32 bits), reals VT_R8, NULL VT_NULL, blobs VT_ARRAY|VT_UI1.
// Throws std::bad_alloc.
void ColumnValue(sqlite3_stmt* stmt, int column, Variant& out);

// The stored value of field `fieldName` as `type` (see SetValueType) into
// `out`; a by-reference type refers into `held`, which keeps the value until
// the next read. Throws DispatchError with the conversion's code when the
// value does not convert.
void GiveAs(Variant& stored, VARTYPE type, const std::wstring& fieldName, Variant& held, Variant& out);

}  // namespace yol::adosim::detail
