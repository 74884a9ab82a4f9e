// The log query over the connection the host lends: an ADO Connection,
// reached by late binding through IDispatch alone (GetIDsOfNames + Invoke),
// so that any object answering to ADO's names serves.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <string_view>
#include <vector>

#include "win/ComPtr.h"
#include "logdb/LogQuery.h"

namespace yol {

class AdoLogQuery final : public LogQuery {
public:
    AdoLogQuery() = default;
    // Binds at once; see Bind.
    explicit AdoLogQuery(void* connectionRef) { Bind(connectionRef); }
    ~AdoLogQuery() override { Close(); }
    AdoLogQuery(const AdoLogQuery&) = delete;
    AdoLogQuery& operator=(const AdoLogQuery&) = delete;

    // Runs the query over the host's connection (the IDispatch of an ADO
    // Connection), holding a reference to it while bound. A null reference
    // is taken; Open then fails.
    void Bind(void* connectionRef);

    // Closes the recordset; failures of the database's Close are ignored.
    void Close() override;
    void SetText(std::string_view sql) override { sql_ = sql; }
    // Connection.Execute(text), standing on the first row.
    void Open() override;
    bool AtEnd() override { return atEnd_; }
    // Field.Value as text in the host's code page: texts as they are;
    // numbers, dates and truth values ("True"/"False") converted by the
    // system in the invariant locale (3.5 reads "3.5" whatever the regional
    // settings); Null and Empty as the empty text; by-reference values seen
    // through.
    std::string_view ColumnAsText(std::string_view column) override;
    void Next() override;

private:
    struct CachedField {
        std::string column;
        ComPtr<IDispatch> field;
        DISPID value;
    };

    const CachedField& FieldFor(std::string_view column);
    void ReadEof();

    ComPtr<IDispatch> connection_;
    DISPID execute_ = DISPID_UNKNOWN;
    std::string sql_;

    // While open: the recordset, its Fields collection and the Field objects
    // asked for so far (an ADO Field follows the current row).
    ComPtr<IDispatch> recordset_;
    ComPtr<IDispatch> fields_;
    DISPID eof_ = DISPID_UNKNOWN, moveNext_ = DISPID_UNKNOWN, close_ = DISPID_UNKNOWN,
           item_ = DISPID_UNKNOWN;
    std::vector<CachedField> fieldCache_;
    bool atEnd_ = true;

    std::string text_;  // the last column value handed out
};

}  // namespace yol
