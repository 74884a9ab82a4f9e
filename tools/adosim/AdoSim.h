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
// SetValueType makes a column's values come back as another type, as other
// providers and column types give them (a band as VT_R8, VT_DECIMAL or VT_CY,
// always Null, by reference, ...). Field objects follow the recordset's
// current row. Failures are DISP_E_EXCEPTION with the EXCEPINFO filled: a
// missing field gives ADO's 0x800A0CC1, SQL errors SQLite's own message.
//
// Every GetIDsOfNames and Invoke on any object of a connection (the
// connection, its recordsets, field collections and fields) is counted per
// connection (CallCount); InjectFault makes the k-th of them from then on
// fail, once, either with a plain HRESULT or with DISP_E_EXCEPTION and a
// description, as a database that goes away in the middle of a walk does:
//
//   const long before = adosim::CallCount(c);  // a healthy run measures N
//   ...;
//   const long n = adosim::CallCount(c) - before;
//   adosim::InjectFault(c, adosim::Fault::Exception(k, L"The database went away."));
//   ...;  // the k-th call fails; adosim::FailedCall(c) names it
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <utility>

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

// The column's values, in recordsets executed afterwards, come back as
// `type`: VT_NULL or VT_EMPTY gives every value so; any other type converts
// each value with the invariant locale (text '3.5' as VT_R8 3.5, a real as
// VT_CY...), SQL NULL staying VT_NULL, and a value that does not convert
// fails the read (DISP_E_EXCEPTION, the conversion's code). VT_BYREF|type
// hands the value out by reference to storage the Field keeps until its next
// read (VT_BYREF|VT_VARIANT too). kAsStored undoes the setting. The column
// name is matched without regard to letter case. Throws std::runtime_error
// for anything but one of our connections.
inline constexpr VARTYPE kAsStored = VT_ILLEGAL;
void SetValueType(IDispatch* connection, const std::wstring& column, VARTYPE type);

// A failure injected into one call on a connection's objects.
struct Fault {
    // The call that fails, counted from InjectFault on: 1 is the next one.
    // Zero or less clears a pending fault.
    long atCall = 1;
    // false: the call returns `code` itself. true: Invoke returns
    // DISP_E_EXCEPTION, the EXCEPINFO carrying `code` as its scode and the
    // description (a GetIDsOfNames, which has no EXCEPINFO, returns `code`).
    bool withException = false;
    HRESULT code = E_FAIL;
    std::wstring description;

    static Fault Plain(long atCall, HRESULT code = E_FAIL) { return {atCall, false, code, {}}; }
    static Fault Exception(long atCall, std::wstring description, HRESULT code = E_FAIL) {
        return {atCall, true, code, std::move(description)};
    }
};

// Arms one fault, replacing a pending one; it fires once. Throws
// std::runtime_error for anything but one of our connections.
void InjectFault(IDispatch* connection, const Fault& fault);

// GetIDsOfNames and Invoke calls made so far on the connection's objects;
// -1 for anything but one of our connections.
long CallCount(IDispatch* connection);

// The call the last injected fault failed, e.g. "Invoke Recordset.EOF" or
// "GetIDsOfNames Field.Value"; empty while it has not fired (and for
// anything but one of our connections).
std::wstring FailedCall(IDispatch* connection);

// Simulator objects alive at the moment (connections, recordsets, field
// collections, fields): zero once every reference has been released.
long LiveObjects();

}  // namespace yol::adosim
