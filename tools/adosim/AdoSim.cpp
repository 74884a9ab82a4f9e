#include "adosim/AdoSim.h"

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "adosim/Dispatch.h"
#include "adosim/Values.h"
#include "win/TextConv.h"
#include "win/Variant.h"

namespace yol::adosim {
namespace {

using namespace detail;

// Lets ExecuteSql and DatabaseOf recognise our own connections.
constexpr IID kSimConnectionIid = {0x6d0b7a52, 0x31c4, 0x4e0f, {0x9a, 0x27, 0x5b, 0x11, 0xc8, 0x4e, 0x02, 0x9d}};

[[noreturn]] void FailSql(sqlite3* db) {
    const char* message = sqlite3_errmsg(db);
    const HRESULT code = std::string_view(message).starts_with("no such table") ? kNoTable : kErrorsInCommand;
    throw DispatchError{code, WideFromUtf8(message)};
}

// The database, shared by the connection and the cursors opened on it, so
// that a recordset outlives the connection's Close as ADO's do.
struct Database {
    explicit Database(sqlite3* d) : db(d) {}
    ~Database() { sqlite3_close_v2(db); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;
    sqlite3* db;
};

// One executed statement and its current row.
class Cursor {
public:
    Cursor(std::shared_ptr<Database> db, sqlite3_stmt* stmt, const Session& session)
        : db_(std::move(db)), stmt_(stmt) {
        const int count = sqlite3_column_count(stmt_);
        for (int i = 0; i < count; ++i) {
            const auto* name = static_cast<const wchar_t*>(sqlite3_column_name16(stmt_, i));
            names_.emplace_back(name != nullptr ? name : L"");
            types_.push_back(session.TypeOf(names_.back()));
        }
    }
    ~Cursor() { Close(); }
    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;

    bool Open() const { return stmt_ != nullptr; }
    void Close() {
        if (stmt_ != nullptr) sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
    void RequireOpen() const {
        if (!Open()) throw DispatchError{kObjectClosed, kObjectClosedText};
    }
    bool AtEnd() const { return eof_; }
    void Step() {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) {
            eof_ = false;
        } else {
            eof_ = true;
            if (rc != SQLITE_DONE) FailSql(db_->db);
        }
    }
    const std::vector<std::wstring>& Names() const { return names_; }
    // The type the column's values are given as (kAsStored: as SQLite holds them).
    VARTYPE TypeOf(int column) const { return types_[static_cast<std::size_t>(column)]; }

    void Value(int column, Variant& out) const {
        RequireOpen();
        if (eof_) throw DispatchError{kNoCurrentRecord, kNoCurrentRecordText};
        ColumnValue(stmt_, column, out);
    }

private:
    std::shared_ptr<Database> db_;
    sqlite3_stmt* stmt_;
    bool eof_ = true;
    std::vector<std::wstring> names_;
    std::vector<VARTYPE> types_;
};

class Field final : public DispatchObject<Field> {
public:
    enum : DISPID { kValue = DISPID_VALUE, kName = 1 };
    static constexpr Member kMembers[] = {{L"Value", kValue, kGet}, {L"Name", kName, kGet}};
    static constexpr const wchar_t* kSource = L"adosim.Field";

    Field(std::shared_ptr<Session> session, std::shared_ptr<Cursor> cursor, int column)
        : DispatchObject(std::move(session)), cursor_(std::move(cursor)), column_(column) {}

    void Call(DISPID id, const Args& args, Variant& out) {
        args.Require(0, 0);
        if (id != kValue) {
            out = Variant::Text(Name());
            return;
        }
        const VARTYPE type = cursor_->TypeOf(column_);
        if (type == kAsStored) {
            cursor_->Value(column_, out);
            return;
        }
        Variant stored;
        cursor_->Value(column_, stored);
        GiveAs(stored, type, Name(), held_, out);
    }

private:
    const std::wstring& Name() const { return cursor_->Names()[static_cast<std::size_t>(column_)]; }

    std::shared_ptr<Cursor> cursor_;
    int column_;
    Variant held_;  // what a by-reference value refers to, until the next read
};

class Fields final : public DispatchObject<Fields> {
public:
    enum : DISPID { kItem = DISPID_VALUE, kCount = 1 };
    static constexpr Member kMembers[] = {{L"Item", kItem, kMethod | kGet}, {L"Count", kCount, kGet}};
    static constexpr const wchar_t* kSource = L"adosim.Fields";

    Fields(std::shared_ptr<Session> session, std::shared_ptr<Cursor> cursor)
        : DispatchObject(std::move(session)), cursor_(std::move(cursor)), fields_(cursor_->Names().size()) {}

    void Call(DISPID id, const Args& args, Variant& out) {
        cursor_->RequireOpen();
        if (id == kCount) {
            args.Require(0, 0);
            out = Variant::Int(static_cast<LONG>(fields_.size()));
            return;
        }
        args.Require(1, 1);
        out = Variant::Dispatch(Item(args.At(0)));
    }

    // A field by name (without regard to letter case) or by ordinal; each
    // column has one Field object for the life of the recordset.
    IDispatch* Item(const VARIANT& index) {
        int column = -1;
        const auto& names = cursor_->Names();
        if (index.vt == VT_BSTR) {
            const std::wstring_view name(index.bstrVal, SysStringLen(index.bstrVal));
            for (std::size_t i = 0; i < names.size() && column < 0; ++i)
                if (SameName(names[i], name)) column = static_cast<int>(i);
        } else {
            Variant ordinal;
            if (SUCCEEDED(VariantChangeType(ordinal.put(), const_cast<VARIANT*>(&index), 0, VT_I4)) &&
                ordinal.get().lVal >= 0 && static_cast<std::size_t>(ordinal.get().lVal) < names.size())
                column = static_cast<int>(ordinal.get().lVal);
        }
        if (column < 0) throw DispatchError{kItemNotFound, kItemNotFoundText};
        auto& slot = fields_[static_cast<std::size_t>(column)];
        if (!slot) slot = ComPtr<IDispatch>::Adopt(new Field(session_, cursor_, column));
        return slot.get();
    }

private:
    std::shared_ptr<Cursor> cursor_;
    std::vector<ComPtr<IDispatch>> fields_;
};

class Recordset final : public DispatchObject<Recordset> {
public:
    enum : DISPID { kFields = DISPID_VALUE, kEof = 1, kMoveNext = 2, kClose = 3, kState = 4 };
    static constexpr Member kMembers[] = {
        {L"Fields", kFields, kGet | kMethod}, {L"EOF", kEof, kGet},     {L"MoveNext", kMoveNext, kMethod},
        {L"Close", kClose, kMethod},          {L"State", kState, kGet},
    };
    static constexpr const wchar_t* kSource = L"adosim.Recordset";

    // A recordset over a statement that returns rows; null for a closed one.
    Recordset(std::shared_ptr<Session> session, std::shared_ptr<Cursor> cursor)
        : DispatchObject(std::move(session)), cursor_(std::move(cursor)) {}

    void Call(DISPID id, const Args& args, Variant& out) {
        if (id == kState) {
            args.Require(0, 0);
            out = Variant::Int(cursor_ && cursor_->Open() ? 1 : 0);
            return;
        }
        if (!cursor_) throw DispatchError{kObjectClosed, kObjectClosedText};
        cursor_->RequireOpen();
        switch (id) {
            case kEof:
                args.Require(0, 0);
                out.put()->vt = VT_BOOL;
                out.get().boolVal = cursor_->AtEnd() ? VARIANT_TRUE : VARIANT_FALSE;
                break;
            case kFields: {
                args.Require(0, 1);
                if (!fields_) fields_ = ComPtr<Fields>::Adopt(new Fields(session_, cursor_));
                if (args.Count() == 1) out = Variant::Dispatch(fields_->Item(args.At(0)));
                else out = Variant::Dispatch(fields_.get());
                break;
            }
            case kMoveNext:
                args.Require(0, 0);
                if (cursor_->AtEnd()) throw DispatchError{kNoCurrentRecord, kNoCurrentRecordText};
                cursor_->Step();
                break;
            default:  // kClose
                args.Require(0, 0);
                cursor_->Close();
                break;
        }
    }

private:
    std::shared_ptr<Cursor> cursor_;
    ComPtr<Fields> fields_;
};

class Connection final : public DispatchObject<Connection> {
public:
    enum : DISPID { kExecute = 1, kClose = 2, kState = 3 };
    static constexpr Member kMembers[] = {
        {L"Execute", kExecute, kMethod}, {L"Close", kClose, kMethod}, {L"State", kState, kGet}};
    static constexpr const wchar_t* kSource = L"adosim.Connection";

    explicit Connection(sqlite3* db)
        : DispatchObject(std::make_shared<Session>()), db_(std::make_shared<Database>(db)) {}

    static bool Extra(REFIID iid) { return IsEqualIID(iid, kSimConnectionIid); }

    sqlite3* Db() const { return db_ ? db_->db : nullptr; }

    void Call(DISPID id, const Args& args, Variant& out) {
        if (id == kState) {
            args.Require(0, 0);
            out = Variant::Int(db_ ? 1 : 0);
            return;
        }
        if (!db_) throw DispatchError{kObjectClosed, kObjectClosedText};
        if (id == kClose) {
            args.Require(0, 0);
            db_.reset();  // recordsets still open keep the database until they go
            return;
        }
        args.Require(1, 3);
        IDispatch* recordset = Execute(args.Text(0), args.OutSlot(1));
        VARIANT& v = *out.put();
        v.vt = VT_DISPATCH;
        v.pdispVal = recordset;
    }

private:
    // Runs one statement. One that returns rows gives an open recordset on
    // its first row; any other runs to its end and gives a closed one.
    IDispatch* Execute(const std::wstring& commandText, VARIANT* recordsAffected) {
        sqlite3_stmt* stmt = nullptr;
        const void* tail = nullptr;
        const int bytes = static_cast<int>(commandText.size() * sizeof(wchar_t));
        if (sqlite3_prepare16_v2(db_->db, commandText.c_str(), bytes, &stmt, &tail) != SQLITE_OK) FailSql(db_->db);
        if (stmt == nullptr) throw DispatchError{kErrorsInCommand, L"Command text was not set for the command object."};
        for (auto* p = static_cast<const wchar_t*>(tail); p != nullptr && *p != 0; ++p) {
            if (*p != L' ' && *p != L'\t' && *p != L'\r' && *p != L'\n' && *p != L';') {
                sqlite3_finalize(stmt);
                throw DispatchError{kErrorsInCommand, L"Characters found after end of SQL statement."};
            }
        }
        auto cursor = std::make_shared<Cursor>(db_, stmt, *session_);
        cursor->Step();
        if (recordsAffected != nullptr) {
            VariantClear(recordsAffected);
            recordsAffected->vt = VT_I4;
            recordsAffected->lVal = sqlite3_column_count(stmt) > 0 ? -1 : sqlite3_changes(db_->db);
        }
        if (sqlite3_column_count(stmt) == 0) {
            while (!cursor->AtEnd()) cursor->Step();
            cursor.reset();
        }
        return new Recordset(session_, std::move(cursor));
    }

    std::shared_ptr<Database> db_;
};

Connection* OurConnection(IDispatch* object) {
    if (object == nullptr) return nullptr;
    IDispatch* ours = nullptr;
    if (FAILED(object->QueryInterface(kSimConnectionIid, reinterpret_cast<void**>(&ours))) || ours == nullptr)
        return nullptr;
    ours->Release();  // the caller holds the object alive
    return static_cast<Connection*>(ours);
}

}  // namespace

ConnectionPtr OpenConnection(const std::string& utf8Path) {
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(utf8Path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        const std::string message = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close_v2(db);
        throw std::runtime_error("adosim: cannot open " + utf8Path + ": " + message);
    }
    return ConnectionPtr::Adopt(new Connection(db));
}

sqlite3* DatabaseOf(IDispatch* connection) {
    Connection* c = OurConnection(connection);
    return c != nullptr ? c->Db() : nullptr;
}

void ExecuteSql(IDispatch* connection, const std::string& utf8Sql) {
    sqlite3* db = DatabaseOf(connection);
    if (db == nullptr) throw std::runtime_error("adosim: not an open simulator connection");
    char* error = nullptr;
    if (sqlite3_exec(db, utf8Sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error != nullptr ? error : sqlite3_errmsg(db);
        sqlite3_free(error);
        throw std::runtime_error(message);
    }
}

namespace {

Session& StateOf(IDispatch* connection) {
    Connection* c = OurConnection(connection);
    if (c == nullptr) throw std::runtime_error("adosim: not a simulator connection");
    return c->State();
}

}  // namespace

void SetValueType(IDispatch* connection, const std::wstring& column, VARTYPE type) {
    Session& session = StateOf(connection);
    const auto base = static_cast<VARTYPE>(type & ~VT_BYREF);
    if ((type & VT_BYREF) != 0 && (base == VT_NULL || base == VT_EMPTY))
        throw std::runtime_error("adosim: a Null or Empty is not given by reference");
    auto& types = session.valueTypes;
    std::erase_if(types, [&column](const auto& entry) { return SameName(entry.first, column); });
    if (type != kAsStored) types.emplace_back(column, type);
}

void InjectFault(IDispatch* connection, const Fault& fault) {
    Session& session = StateOf(connection);
    session.fault = fault;
    session.failedCall.clear();
    session.failAt = fault.atCall > 0 ? session.calls + fault.atCall : 0;
}

long CallCount(IDispatch* connection) {
    Connection* c = OurConnection(connection);
    return c != nullptr ? c->State().calls : -1;
}

std::wstring FailedCall(IDispatch* connection) {
    Connection* c = OurConnection(connection);
    return c != nullptr ? c->State().failedCall : std::wstring();
}

long LiveObjects() { return gLiveObjects; }

}  // namespace yol::adosim
