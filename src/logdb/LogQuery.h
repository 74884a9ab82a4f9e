// The narrow view of the host's log database that the recalculation needs:
// one read-only, forward-walked query.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace yol {

// A failure of the log query; the text is shown to the operator as it is.
class LogQueryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "LogQuery: Field '<name>' not found"
LogQueryError FieldNotFound(std::string_view column);

class LogQuery {
public:
    virtual ~LogQuery() = default;

    // Closes the result set; harmless when already closed.
    virtual void Close() = 0;
    // Replaces the whole query text.
    virtual void SetText(std::string_view sql) = 0;
    // Runs the query and stands on the first row (or at end when there is none).
    virtual void Open() = 0;
    // True once the walk has passed the last row; also true while closed.
    virtual bool AtEnd() = 0;
    // The current row's value of a column, matched without regard to letter
    // case, as text in the host's code page. The view stays valid until the
    // next call on the query. A missing column throws FieldNotFound.
    virtual std::string_view ColumnAsText(std::string_view column) = 0;
    // Moves to the following row.
    virtual void Next() = 0;
};

// Lets the window system deliver the events pending at that moment, once.
class EventPump {
public:
    virtual ~EventPump() = default;
    virtual void DeliverPendingEvents() = 0;
};

}  // namespace yol
