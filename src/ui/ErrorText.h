// Texts of the standard error report, the modal box that shows failures of
// window events to the operator.
#pragma once

#include <string>
#include <string_view>

namespace yol {

// The failure's text, with "." appended when its last character sorts after
// "." (so "... not found" gets a full stop and "... failed." keeps its own).
std::string ErrorReportText(std::string_view message);

// The box's caption: the host executable's file name cut at its first "."
// and lower-cased after its first letter ("C:\\Log\\LOGGER.EXE" -> "Logger").
// Only ASCII letters are lowered here; the Windows side lowers the rest.
std::string ErrorReportCaption(std::string_view executablePath);

}  // namespace yol
