// libFuzzer entry point: bytes as an upload to the log robot, through the
// engine to the answer a logging program reads (text and JSON). Nothing may
// crash or hang, and a refusal always says why.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "Answers.h"
#include "Engine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace yol::robot;
    static const RobotRules rules = [] {
        RobotRules r;
        r.rules = yol::check::YolRules();
        r.maxBytes = 1u << 20;
        return r;
    }();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // The first line, where it is short, also serves as the call typed in the form.
    const std::size_t eol = bytes.find('\n');
    const std::string declared(eol != std::string_view::npos && eol < 24 ? bytes.substr(0, eol) : std::string_view());
    const Answer a = CheckUpload(Upload{bytes, "fuzz.log", declared}, rules, nullptr);
    if (a.accepted != a.reasons.empty()) std::abort();
    if (a.accepted && a.call.empty()) std::abort();
    (void)AnswerText(a);
    (void)AnswerJson(a);
    return 0;
}
