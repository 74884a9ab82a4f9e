#include "adosim/AdoSim.h"

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "win/TextConv.h"
#include "win/Variant.h"

namespace yol::adosim {
namespace {

LONG gLiveObjects = 0;

// Lets ExecuteSql and DatabaseOf recognise our own connections.
constexpr IID kSimConnectionIid = {0x6d0b7a52, 0x31c4, 0x4e0f, {0x9a, 0x27, 0x5b, 0x11, 0xc8, 0x4e, 0x02, 0x9d}};

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

bool SameName(std::wstring_view a, std::wstring_view b) {
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

[[noreturn]] void FailSql(sqlite3* db) {
    const char* message = sqlite3_errmsg(db);
    const HRESULT code = std::string_view(message).starts_with("no such table") ? kNoTable : kErrorsInCommand;
    throw DispatchError{code, WideFromUtf8(message)};
}

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
        VARIANT& v = *out.put();
        switch (sqlite3_column_type(stmt_, column)) {
            case SQLITE_INTEGER: {
                const sqlite3_int64 n = sqlite3_column_int64(stmt_, column);
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
                v.dblVal = sqlite3_column_double(stmt_, column);
                break;
            case SQLITE_TEXT: {
                const void* text = sqlite3_column_text16(stmt_, column);
                const int bytes = sqlite3_column_bytes16(stmt_, column);
                v.bstrVal = SysAllocStringLen(static_cast<const OLECHAR*>(text), static_cast<UINT>(bytes / 2));
                if (v.bstrVal == nullptr) throw std::bad_alloc();
                v.vt = VT_BSTR;
                break;
            }
            case SQLITE_BLOB: {
                const int bytes = sqlite3_column_bytes(stmt_, column);
                SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes));
                if (array == nullptr) throw std::bad_alloc();
                if (bytes > 0) {
                    void* data = nullptr;
                    SafeArrayAccessData(array, &data);
                    CopyMemory(data, sqlite3_column_blob(stmt_, column), static_cast<SIZE_T>(bytes));
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
        GiveAs(stored, type, out);
    }

private:
    const std::wstring& Name() const { return cursor_->Names()[static_cast<std::size_t>(column_)]; }

    // The stored value as the type asked for; by reference into held_.
    void GiveAs(Variant& stored, VARTYPE type, Variant& out) {
        const bool byRef = (type & VT_BYREF) != 0;
        const auto base = static_cast<VARTYPE>(type & ~VT_BYREF);
        Variant& target = byRef ? held_ : out;
        if (base == VT_NULL || base == VT_EMPTY) {
            target.put()->vt = base;
        } else if (stored.type() == VT_NULL || base == VT_VARIANT) {
            target = std::move(stored);
        } else {
            const HRESULT hr = VariantChangeTypeEx(target.put(), &stored.get(), LOCALE_INVARIANT, 0, base);
            if (FAILED(hr)) {
                throw DispatchError{hr, L"adosim: a value of field '" + Name() +
                                            L"' cannot be given as the type asked for."};
            }
        }
        if (!byRef) return;
        if (held_.type() == VT_NULL && base != VT_VARIANT) {
            out.put()->vt = VT_NULL;  // a Null has nothing to refer to
            return;
        }
        VARIANT& v = *out.put();
        v.vt = type;
        if (base == VT_VARIANT) v.pvarVal = &held_.get();
        else if (base == VT_DECIMAL) v.pdecVal = &held_.get().decVal;
        else v.byref = &held_.get().llVal;  // every other member starts there
    }

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
