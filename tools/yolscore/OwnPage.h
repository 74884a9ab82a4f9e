// yolscore --html DIR: the per-log page of the results site for one
// operator's own log, without what only a cross-check knows (no verdicts of
// other logs, no claimed score, reduction or clock offset): contacts per hour
// by band, the band activity map, the running score and the log's own dupes
// with their lines. One self-contained file (webreport::LogPage).
//
//   OwnPage page(store);                       // before the log is read
//   contestlog::ReadLog(path, options, page.Recorder());   // fills the store too
//   ... score and report as without --html ...
//   folder.Write("index.html", page.Html(store, path, "UA1", "EU"));
//
// The page's figures come from scoring the stored contacts once more in time
// order (equal times in file order), as the contest went, with the same
// scoring core: the running score after each contact is its points so far
// times its multipliers so far, and it ends at the page's score. For nearly
// every log that is the report's score; the few logs whose score depends on
// the order (docs/results-site.md) may differ from the call-sign order's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "WebReport.h"
#include "contestlog/ContactStore.h"
#include "contestlog/LogReader.h"

namespace yol::score {

using contestlog::ContactStore;

class OwnPage {
public:
    explicit OwnPage(ContactStore& store) : recorder_(store, *this) {}
    OwnPage(const OwnPage&) = delete;
    OwnPage& operator=(const OwnPage&) = delete;

    // Hands everything on to the store and keeps what the store does not:
    // each contact's time and line, the log's NAME: and CATEGORY headers.
    contestlog::LogSink& Recorder() noexcept { return recorder_; }

    // The page's data from the store (which must keep places) and what was
    // recorded while reading; places as "fileName:line".
    webreport::LogReport Report(const ContactStore& store, std::string_view myPrefix,
                                std::string_view myContinent, std::string_view fileName) const;

    // Report() as one self-contained HTML file, places named by the log's
    // file name (never its folder).
    std::string Html(const ContactStore& store, std::string_view logPath, std::string_view myPrefix,
                     std::string_view myContinent) const;

private:
    class Tee : public contestlog::LogSink {
    public:
        Tee(ContactStore& store, OwnPage& page) : store_(store), page_(page) {}
        void Station(std::string_view call) override { store_.Station(call); }
        void Header(std::string_view name, std::string_view value) override;
        void Contact(const contestlog::ContactView& contact) override;
        void Problem(const contestlog::LogProblem& problem) override { store_.Problem(problem); }

    private:
        ContactStore& store_;
        OwnPage& page_;
    };

    Tee recorder_;
    std::vector<std::int64_t> times_;    // per stored contact, file order
    std::vector<std::size_t> lineEnds_;  // end of each contact's line in lines_
    std::string lines_;
};

}  // namespace yol::score
