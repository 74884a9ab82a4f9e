// A sink for the log-reader fuzz targets: touches every byte of every view it
// is handed (a dangling view shows up under ASan) and traps on entries the
// readers must never produce.
#pragma once

#include <cstddef>
#include <string_view>

#include "contestlog/LogReader.h"

namespace yol::contestlog::fuzz {

class TouchingSink : public LogSink {
public:
    // `fileTexts`: call, band and mode never empty (Cabrillo and ADIF; a
    // SQLite table is read as it stands, empty texts and all).
    explicit TouchingSink(bool fileTexts = true) : fileTexts_(fileTexts) {}
    void Header(std::string_view name, std::string_view value) override {
        if (name.empty()) __builtin_trap();
        Touch(name);
        Touch(value);
    }
    void Station(std::string_view call) override {
        if (++stations_ > 1) __builtin_trap();  // at most once
        Touch(call);
    }
    void Contact(const ContactView& e) override {
        // Contacts come in file order and never without call, band or mode.
        if (e.place == 0 || e.place < lastPlace_) __builtin_trap();
        if (fileTexts_ && (e.call.empty() || e.band.empty() || e.mode.empty())) __builtin_trap();
        lastPlace_ = e.place;
        for (std::string_view v : {e.call, e.band, e.mode, e.report, e.dxcc, e.continent, e.mainPrefix,
                                   e.frequency, e.ownCall, e.sent, e.line})
            Touch(v);
    }
    void Problem(const LogProblem& p) override {
        if (p.place == 0 || p.message.empty()) __builtin_trap();
        Touch(p.message);
    }

private:
    void Touch(std::string_view v) {
        unsigned sum = 0;
        for (char c : v) sum += static_cast<unsigned char>(c);
        checksum_ = checksum_ + sum;
    }
    bool fileTexts_;
    volatile unsigned checksum_ = 0;
    std::size_t stations_ = 0, lastPlace_ = 0;
};

}  // namespace yol::contestlog::fuzz
