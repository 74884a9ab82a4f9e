#include "logdb/LogQuery.h"

namespace yol {

LogQueryError FieldNotFound(std::string_view column) {
    return LogQueryError("LogQuery: Field '" + std::string(column) + "' not found");
}

}  // namespace yol
