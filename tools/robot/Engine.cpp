#include "Engine.h"

#include <algorithm>
#include <ctime>

#include "Crypto.h"
#include "contestlog/ContactStore.h"
#include "contestlog/CountryFile.h"
#include "contestlog/LogFile.h"
#include "contestlog/LogHeader.h"
#include "contestlog/Text.h"
#include "scoring/ScoreBook.h"

namespace yol::robot {
namespace {

constexpr std::size_t kMaxClass = 120;  // bytes of a category declaration shown

using contestlog::ContactView;
using contestlog::LogProblem;

// Reads the log into the contact store that scores it (which keeps the
// header: contestlog::LogHeader), keeping besides what the answer says: the
// contacts' times, and which contacts the rules do not count (kept out of the
// store).
class Reader : public contestlog::LogSink {
public:
    Reader(const check::Rules& rules, Answer& answer) : store(false), rules_(rules), answer_(answer) {}

    contestlog::ContactStore store;
    std::size_t rejected = 0;

    void Station(std::string_view call) override { store.Station(call); }
    void Header(std::string_view name, std::string_view value) override { store.Header(name, value); }
    void Contact(const ContactView& c) override {
        ++answer_.contacts;
        if (c.time != contestlog::kNoTime) {
            answer_.first = answer_.first == 0 ? c.time : std::min(answer_.first, c.time);
            answer_.last = std::max(answer_.last, c.time);
        }
        if (const char* why = Outside(c)) {
            answer_.warnings.push_back({c.place, why});
            return;
        }
        store.Contact(c);
    }
    void Problem(const LogProblem& p) override {
        const bool note = p.severity != contestlog::Severity::Rejected;
        if (!note) ++rejected;
        answer_.warnings.push_back({p.place, (note ? "note: " : "skipped: ") + p.message});
    }

private:
    // Why the rules do not count the contact, or null.
    const char* Outside(const ContactView& c) const {
        if (c.time == contestlog::kNoTime) return "the contact's date and time do not parse";
        if (rules_.start != check::kNoMinute && c.time < rules_.start) return "contact before the contest period";
        if (rules_.end != check::kNoMinute && c.time >= rules_.end) return "contact after the contest period";
        if (!Allowed(rules_.bands, c.band)) return "band not in the contest's bands";
        if (!Allowed(rules_.modes, c.mode)) return "mode not in the contest's modes";
        return nullptr;
    }
    static bool Allowed(const std::vector<std::string>& list, std::string_view value) {
        return list.empty() || std::any_of(list.begin(), list.end(), [&](const std::string& s) {
                   return contestlog::EqualNoCase(s, value);
               });
    }

    const check::Rules& rules_;
    Answer& answer_;
};

// The YOL scoring of the stored contacts as yolscore scores a log: in
// call-sign order, as the operator of the log's own call.
std::int64_t ScoreOf(const contestlog::ContactStore& store, std::string_view call,
                     const contestlog::CountryFile* countries) {
    std::string_view prefix = "UA1", continent = "EU";
    if (const contestlog::Country* country = countries ? countries->Lookup(call) : nullptr) {
        prefix = country->hostPrefix;
        continent = country->continent;
    }
    const std::vector<std::uint32_t> order = store.CallSignOrder();
    TScoreBook book;
    contestlog::ScoreContacts(store, &order, prefix, continent, book);
    std::int64_t points = 0, multipliers = 0;
    for (const TStatistic& s : book.Tallies()) {
        points += s.Points;
        multipliers += s.Districts + s.Countries;
    }
    return points * multipliers;
}

std::string TimeText(std::int64_t seconds, const char* format) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buffer[64];
    const std::size_t n = std::strftime(buffer, sizeof buffer, format, &tm);
    return std::string(buffer, n);
}

// The class the check will put the log in, as the answer says it; notes on
// the declaration into the warnings.
std::string ClassOf(const contestlog::LogHeader& header, std::string_view call, const check::Rules& rules,
                    std::vector<Finding>& warnings) {
    if (header.checklog) return "CHECKLOG";
    if (rules.categories.classes.empty()) {
        std::string declared = header.CategoryText();
        if (declared.size() > kMaxClass) declared.resize(kMaxClass);  // shown to everyone
        return contestlog::TextAsUtf8(declared);
    }
    const check::Placement p = check::ClassOf(rules.categories, call, check::ReadDeclared(header.categories));
    for (const std::string& note : p.notes) warnings.push_back({0, "category: " + contestlog::TextAsUtf8(note)});
    return rules.categories.classes[p.index].name;
}

bool ContestAccepted(const RobotRules& r, std::string_view named) {
    const std::string key = ContestKey(named);
    if (r.contestNames.empty()) return key == ContestKey(r.rules.name);
    return std::any_of(r.contestNames.begin(), r.contestNames.end(),
                       [&](const std::string& n) { return ContestKey(n) == key; });
}

}  // namespace

std::string ContestKey(std::string_view name) {
    std::string key;
    for (char c : name)
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
            key += contestlog::UpperAscii(c);
    return key;
}

std::string NormalCall(std::string_view text) {
    text = contestlog::TrimBlanks(text);
    if (text.empty() || text.size() > 20) return {};
    std::string call;
    for (char c : text) {
        const char u = contestlog::UpperAscii(c);
        if (!((u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '/')) return {};
        call += u;
    }
    return call;
}

std::string UtcSecondText(std::int64_t seconds) { return TimeText(seconds, "%Y-%m-%d %H:%M:%S UTC"); }

Answer Refusal(std::string reason) {
    Answer a;
    a.reasons.push_back({0, std::move(reason)});
    return a;
}

Answer CheckUpload(const Upload& upload, const RobotRules& r, const contestlog::CountryFile* countries) {
    Answer a;
    a.sha256 = Sha256Hex(upload.bytes);
    if (upload.bytes.size() > r.maxBytes) {
        a.reasons.push_back({0, "the file is " + std::to_string(upload.bytes.size()) + " bytes, over the limit of " +
                                    std::to_string(r.maxBytes)});
        return a;
    }
    const std::string declared = NormalCall(upload.declaredCall);
    if (!upload.declaredCall.empty() && declared.empty())
        a.reasons.push_back({0, "the call given in the form is no call sign"});
    const std::string name = upload.fileName.empty() ? "the upload" : upload.fileName;
    Reader reader(r.rules, a);
    try {
        const contestlog::LogFile log = contestlog::LogFile::FromBytes(upload.bytes, name);
        a.format = contestlog::FormatName(log.Format());
        if (log.Format() == contestlog::LogFormat::Sqlite) a.placeWord = "record";
        if (log.Format() == contestlog::LogFormat::Adx) a.placeWord = "record";
        contestlog::ReadLog(log, check::ReadOptionsFor(r.rules, countries), reader);
    } catch (const std::exception& e) {  // no log at all: nothing else to say
        a.reasons.assign(1, {0, std::string("not a log: ") + e.what()});
        a.warnings.clear();
        a.contacts = 0;
        return a;
    }

    // The call: the log's own (as the reader finds it), else the uploader's.
    a.call = NormalCall(reader.store.StationCall());
    if (a.call.empty() && !reader.store.StationCall().empty())
        a.reasons.push_back({0, "the log's call sign is no call sign (letters, digits and '/', at most 20)"});
    else if (a.call.empty() && !declared.empty()) {
        a.call = declared;
        a.warnings.insert(a.warnings.begin(), {0, "the log names no call sign of its own: taken from the form"});
    } else if (a.call.empty())
        a.reasons.push_back({0, "no call: the log names no call sign (CALLSIGN: or STATION_CALLSIGN)"});
    if (!declared.empty() && !a.call.empty() && declared != a.call)
        a.reasons.push_back({0, "the log is for " + a.call + ", not for " + declared + " as declared"});

    const contestlog::LogHeader& header = reader.store.HeaderFacts();
    if (!r.anyContest && header.contest && !ContestAccepted(r, *header.contest))
        a.reasons.push_back({0, "a log for another contest: CONTEST: " + contestlog::TextAsUtf8(*header.contest) +
                                    " (this robot takes " + (r.contestNames.empty() ? r.rules.name : r.contestNames.front()) +
                                    ")"});
    if (a.contacts == 0) {
        a.reasons.push_back({0, "nothing but headers: no contact could be read"});
        // Every line the readers skipped is a reason now.
        for (const Finding& w : a.warnings)
            if (w.place != 0) a.reasons.push_back(w);
        a.warnings.clear();
    }
    a.claimed = header.claimedText;
    a.category = ClassOf(header, a.call, r.rules, a.warnings);
    if (!a.reasons.empty()) return a;
    a.accepted = true;
    if (r.rules.scoring == check::Scoring::Yol) a.score = ScoreOf(reader.store, a.call, countries);
    std::stable_sort(a.warnings.begin(), a.warnings.end(),
                     [](const Finding& x, const Finding& y) { return x.place < y.place; });
    return a;
}

}  // namespace yol::robot
