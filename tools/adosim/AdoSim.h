// An ADO-style connection object of our own, backed by a SQLite database.
//
// It is reached the way the module reaches the host's connection: through
// IDispatch alone, by name (GetIDsOfNames, names matched without regard to
// letter case) and Invoke. The object model is the slice of ADO the module
// uses, with ADO's error codes and texts:
//
//   Connection  Execute(CommandText [, RecordsAffected, Options]) -> Recordset
//               Close, State
//   Recordset   EOF, Fields (also the default member), MoveNext, Close, State
//   Fields      Item(name or ordinal) (also the default member), Count
//   Field       Value (also the default member), Name
//
// Values come back as ADO's providers give them: text VT_BSTR, integers VT_I4
// (VT_I8 beyond 32 bits), reals VT_R8, NULL VT_NULL, blobs VT_ARRAY|VT_UI1.
// Field objects follow the recordset's current row. Failures are
// DISP_E_EXCEPTION with the EXCEPINFO filled: a missing field gives ADO's
// 0x800A0CC1, SQL errors SQLite's own message.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

#include "win/ComPtr.h"

struct sqlite3;

namespace yol::adosim {

// ADO's codes for the failures the simulator reports (EXCEPINFO scode).
inline constexpr HRESULT kItemNotFound = static_cast<HRESULT>(0x800A0CC1);     // 3265
inline constexpr HRESULT kNoCurrentRecord = static_cast<HRESULT>(0x800A0BCD);  // 3021
inline constexpr HRESULT kObjectClosed = static_cast<HRESULT>(0x800A0E78);     // 3704
inline constexpr HRESULT kErrorsInCommand = static_cast<HRESULT>(0x80040E14);  // DB_E_ERRORSINCOMMAND
inline constexpr HRESULT kNoTable = static_cast<HRESULT>(0x80040E37);          // DB_E_NOTABLE

inline constexpr const wchar_t* kItemNotFoundText =
    L"Item cannot be found in the collection corresponding to the requested name or ordinal.";

using ConnectionPtr = ComPtr<IDispatch>;

// Opens the SQLite database at a UTF-8 path, creating it when missing
// (":memory:" for a private one), and returns a Connection on it. Throws
// std::runtime_error when the database cannot be opened.
ConnectionPtr OpenConnection(const std::string& utf8Path);

// The SQLite database behind one of our connections, for setting up and
// inspecting logs directly; nullptr for any other object or a closed one.
sqlite3* DatabaseOf(IDispatch* connection);

// Runs one or more SQL statements on one of our connections. Throws
// std::runtime_error with SQLite's message.
void ExecuteSql(IDispatch* connection, const std::string& utf8Sql);

// Simulator objects alive at the moment (connections, recordsets, field
// collections, fields): zero once every reference has been released.
long LiveObjects();

}  // namespace yol::adosim
