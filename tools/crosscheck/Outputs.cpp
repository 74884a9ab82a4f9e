#include "Outputs.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "contestlog/Bands.h"
#include "contestlog/ContactStore.h"
#include "contestlog/Text.h"

namespace yol::check {
namespace {

using contestlog::SpreadsheetCell;

std::string Num(std::int64_t v) { return std::to_string(v); }

std::string Fixed(double v, int digits) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", digits, v);
    return buf;
}

std::string Signed(std::int64_t v) { return (v > 0 ? "+" : "") + Num(v); }

std::string Claimed(const LogResult& r) { return r.claimed ? Num(*r.claimed) : std::string(); }

// The order the report lists removed and penalised contacts in.
constexpr Verdict kReported[] = {Verdict::Busted, Verdict::Nil,     Verdict::Exchange, Verdict::Unique,
                                 Verdict::Dupe,   Verdict::Period,  Verdict::Invalid,  Verdict::Partner};

std::string Share(std::int64_t n, std::int64_t of) {
    return of <= 0 ? std::string("0.0 %") : Fixed(100.0 * static_cast<double>(n) / static_cast<double>(of), 1) + " %";
}

std::string Count(std::size_t n, std::string_view one, std::string_view many) {
    return Num(static_cast<std::int64_t>(n)) + " " + std::string(n == 1 ? one : many);
}

// A contact the final score counts (as the engine's final tally does).
bool Credited(const ContactVerdict& v, const Rules& rules) {
    return v.verdict == Verdict::Ok || v.verdict == Verdict::NoLog ||
           (v.verdict == Verdict::Exchange && rules.scoring == Scoring::PerContact);
}

}  // namespace

std::string_view VerdictKindWords(Verdict v) noexcept {
    static constexpr std::string_view words[kVerdictCount] = {
        "confirmed",    "exchange miscopied", "busted calls",      "not in log",
        "uniques",      "no log, credited",   "dupes",             "outside the period",
        "band or mode not allowed", "taken off for the other station's error", "checklog contacts"};
    return words[static_cast<std::size_t>(v)];
}

std::vector<BandFigures> ByBand(const SubmittedLog& log, const LogResult& r, const Rules& rules) {
    struct Slot {
        double mhz;
        BandFigures figures;
    };
    std::vector<Slot> slots;
    for (std::size_t i = 0; i < log.contacts.size() && i < r.verdicts.size(); ++i) {
        const std::string_view host = log.Texts(i).band;
        const contestlog::BandInfo* info = contestlog::BandFromHost(host);
        const std::string name = contestlog::BandName(host);
        auto it = std::find_if(slots.begin(), slots.end(), [&](const Slot& s) { return s.figures.band == name; });
        if (it == slots.end()) {
            slots.push_back({info ? static_cast<double>(info->lowHz) / 1e6 : 1e12, BandFigures{name}});
            it = slots.end() - 1;
        }
        BandFigures& b = it->figures;
        const ContactVerdict& v = r.verdicts[i];
        if (Credited(v, rules)) ++b.finalContacts;
        b.finalPoints += v.points - v.penalty;
        if (i < r.scores.size()) {
            if (r.scores[i].rawPoints > 0) ++b.rawContacts;
            b.rawPoints += r.scores[i].rawPoints;
            b.multipliers += r.scores[i].multipliers;
        }
    }
    std::stable_sort(slots.begin(), slots.end(), [](const Slot& a, const Slot& b) { return a.mhz < b.mhz; });
    std::vector<BandFigures> out;
    for (Slot& s : slots) out.push_back(std::move(s.figures));
    return out;
}

const char* const kVerdictsCsvHeader =
    "log,file,line,utc,band,mode,call,verdict,blamed,other_call,other_line,minutes_off,points,detail\r\n";

std::vector<std::size_t> ResultsOrder(const CheckResult& result) {
    std::vector<std::size_t> order(result.logs.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const LogResult &x = result.logs[a], &y = result.logs[b];
        if (x.checklog != y.checklog) return !x.checklog;
        if (x.classIndex != y.classIndex) return x.classIndex < y.classIndex;  // the rules' order
        if (x.category != y.category) return x.category < y.category;
        if (x.final.score != y.final.score) return x.final.score > y.final.score;
        return x.call < y.call;
    });
    return order;
}

std::vector<std::vector<std::uint32_t>> QuotedContacts(const std::vector<SubmittedLog>& logs,
                                                       const CheckResult& result) {
    std::vector<std::vector<std::uint32_t>> quoted(logs.size());
    for (std::size_t L = 0; L < logs.size(); ++L) {
        const LogResult& r = result.logs[L];
        for (std::size_t i = 0; i < r.verdicts.size(); ++i) {
            const ContactVerdict& v = r.verdicts[i];
            const bool listed = v.verdict != Verdict::Ok && v.verdict != Verdict::NoLog && v.verdict != Verdict::Checklog;
            // A checklog's busted call quotes the other log in its reason.
            const bool named = listed || (v.verdict == Verdict::Checklog && v.checked == Verdict::Busted);
            if (listed) quoted[L].push_back(static_cast<std::uint32_t>(i));
            if (named && v.otherLog != kNoIndex) quoted[v.otherLog].push_back(v.otherContact);
        }
        for (const MiscopiedBy& m : r.miscopiedBy) {
            quoted[L].push_back(m.contact);
            quoted[m.otherLog].push_back(m.otherContact);
        }
    }
    for (auto& q : quoted) {
        std::sort(q.begin(), q.end());
        q.erase(std::unique(q.begin(), q.end()), q.end());
    }
    return quoted;
}

std::string LogReport(const std::vector<SubmittedLog>& logs, const CheckResult& result, std::size_t index,
                      const Rules& rules) {
    const LogResult& r = result.logs[index];
    const SubmittedLog& log = logs[index];
    std::string out;
    out += rules.name + " cross-check report\n\n";
    out += "Station:        " + r.call + "\n";
    out += "Category:       " + (r.checklog ? std::string("CHECKLOG") : r.category) + "\n";
    if (r.placeOverall > 0) out += "Place:          " + PlaceText(r) + "\n";
    for (const std::string& note : r.categoryNotes) out += "Category note:  " + note + "\n";
    out += "Log file:       " + log.file + "\n";
    out += "Claimed score:  " + (r.claimed ? Num(*r.claimed) : std::string("not given")) + "\n";
    out += "Raw score:      " + Num(r.raw.score) + "  (" + Num(r.raw.contacts) + " contacts, " + Num(r.raw.points) +
           " points, " + Num(r.raw.multipliers) + " multipliers)\n";
    out += "Final score:    " + Num(r.final.score) + "  (" + Num(r.final.contacts) + " contacts, " +
           Num(r.final.points) + " points, " + Num(r.final.multipliers) + " multipliers)\n";
    out += "Reduction:      " + Fixed(r.reductionPercent, 1) + " %\n";
    out += "Error rate:     " + Fixed(100.0 * r.errorRate, 1) + " %\n";
    out += "Clock offset:   " + Signed(r.clockOffset) + " minutes" +
           (r.clockOffset != 0 ? " (your log's times were corrected by this before matching)" : "") + "\n";
    for (const DateShift& d : r.dateShifts) {
        const bool late = d.minutes > 0;
        const std::int64_t days = (late ? d.minutes : -d.minutes) / 1440;
        out += "Dates corrected: lines " + std::to_string(log.contacts[d.first].place) + " to " +
               std::to_string(log.contacts[d.last].place) + " were dated " + std::to_string(days) +
               (days == 1 ? " day " : " days ") + (late ? "late" : "early") +
               " (the other logs agree on it): matched with the date moved, not faulted\n";
    }
    out += "\n";
    if (!r.scores.empty() && !r.checklog) {
        const std::vector<BandFigures> bands = ByBand(log, r, rules);
        char row[160];
        out += "By band:     contacts logged  points logged  contacts final  points final  multipliers\n";
        for (const BandFigures& b : bands) {
            std::snprintf(row, sizeof row, "  %-10.10s %15lld %14lld %15lld %13lld %12lld\n", b.band.c_str(),
                          static_cast<long long>(b.rawContacts), static_cast<long long>(b.rawPoints),
                          static_cast<long long>(b.finalContacts), static_cast<long long>(b.finalPoints),
                          static_cast<long long>(b.multipliers));
            out += row;
        }
        out += "\n";
    }
    const std::int64_t all = static_cast<std::int64_t>(log.contacts.size());
    out += "Contacts by verdict (" + Count(log.contacts.size(), "contact", "contacts") + " in the log):\n";
    for (std::size_t v = 0; v < kVerdictCount; ++v)
        if (r.counts[v] > 0)
            out += "  " + Num(r.counts[v]) + " " + std::string(VerdictKindWords(static_cast<Verdict>(v))) + " (" +
                   Share(r.counts[v], all) + ")\n";
    if (!log.notRead.empty())
        out += "  " + Num(static_cast<std::int64_t>(log.notRead.size())) + " lines not read (listed below)\n";
    if (!log.incomplete.empty())
        out += "  " + Num(static_cast<std::int64_t>(log.incomplete.size())) +
               " lines read with a token missing (listed below)\n";

    auto quoteOther = [&](const ContactVerdict& v) -> std::string {
        if (v.otherLog == kNoIndex) return "";
        const SubmittedLog& other = logs[v.otherLog];
        const CheckContact& c = other.contacts[v.otherContact];
        return "    " + other.call + "'s log, line " + Num(static_cast<std::int64_t>(c.place)) + ": " +
               ShownLine(other, v.otherContact) + "\n";
    };
    for (Verdict heading : kReported) {
        const std::int64_t count = r.counts[static_cast<std::size_t>(heading)];
        if (count == 0) continue;
        out += "\n" + std::string(VerdictHeading(heading)) + " (" + Num(count) + ")\n";
        for (std::size_t i = 0; i < r.verdicts.size(); ++i) {
            const ContactVerdict& v = r.verdicts[i];
            if (v.verdict != heading) continue;
            const CheckContact& c = log.contacts[i];
            out += "  line " + Num(static_cast<std::int64_t>(c.place)) + ": " + ShownLine(log, i) + "\n";
            out += "    " + VerdictDetail(logs, result, index, i, rules);
            if (v.penalty > 0) out += " (penalty " + Num(v.penalty) + " points)";
            out += "\n" + quoteOther(v);
        }
    }
    if (!log.notRead.empty()) {
        out += "\nLines not read (" + Num(static_cast<std::int64_t>(log.notRead.size())) +
               "; each cost you its contact)\n";
        for (const NotRead& n : log.notRead) out += "  line " + Num(n.line) + ": " + n.reason + "\n";
    }
    if (!log.incomplete.empty()) {
        out += "\nLines read with a token missing (" + Num(static_cast<std::int64_t>(log.incomplete.size())) +
               "; each checked as read)\n";
        for (const NotRead& n : log.incomplete) out += "  line " + Num(n.line) + ": " + n.reason + "\n";
    }
    if (!r.miscopiedBy.empty()) {
        out += "\nOthers who miscopied your call (" + Num(static_cast<std::int64_t>(r.miscopiedBy.size())) +
               "; for information, " + (rules.blameBoth ? "taken off by the rules" : "you keep these") + ")\n";
        for (const MiscopiedBy& m : r.miscopiedBy) {
            const CheckContact& c = log.contacts[m.contact];
            const SubmittedLog& other = logs[m.otherLog];
            const CheckContact& oc = other.contacts[m.otherContact];
            out += "  line " + Num(static_cast<std::int64_t>(c.place)) + ": " + ShownLine(log, m.contact) + "\n";
            out += "    " + MiscopiedText(result, logs, m) + ", line " + Num(static_cast<std::int64_t>(oc.place)) +
                   ": " + ShownLine(other, m.otherContact) + "\n";
        }
    }
    return out;
}

std::string ResultsCsv(const CheckResult& result) {
    std::string out = "call,category,claimed,raw_contacts,raw_points,raw_multipliers,raw_score,final_contacts,"
                      "final_points,final_multipliers,final_score,reduction_percent,error_rate_percent,clock_offset";
    for (std::size_t v = 0; v < kVerdictCount; ++v) {
        std::string code(VerdictCode(static_cast<Verdict>(v)));
        std::transform(code.begin(), code.end(), code.begin(), [](char c) { return static_cast<char>(std::tolower(c)); });
        out += "," + code;
    }
    out += "\r\n";
    for (std::size_t i : ResultsOrder(result)) {
        const LogResult& r = result.logs[i];
        out += SpreadsheetCell(r.call) + "," + SpreadsheetCell(r.checklog ? "CHECKLOG" : r.category) + "," + Claimed(r) + "," +
               Num(r.raw.contacts) + "," + Num(r.raw.points) + "," + Num(r.raw.multipliers) + "," + Num(r.raw.score) +
               "," + Num(r.final.contacts) + "," + Num(r.final.points) + "," + Num(r.final.multipliers) + "," +
               Num(r.final.score) + "," + Fixed(r.reductionPercent, 1) + "," + Fixed(100.0 * r.errorRate, 1) + "," +
               Num(r.clockOffset);
        for (std::int64_t n : r.counts) out += "," + Num(n);
        out += "\r\n";
    }
    return out;
}

std::string ResultsJson(const CheckResult& result, const Rules& rules) {
    using nlohmann::json;
    auto tally = [](const Tally& t) {
        return json{{"contacts", t.contacts}, {"points", t.points}, {"multipliers", t.multipliers}, {"score", t.score}};
    };
    json rows = json::array();
    for (std::size_t i : ResultsOrder(result)) {
        const LogResult& r = result.logs[i];
        json counts = json::object();
        for (std::size_t v = 0; v < kVerdictCount; ++v)
            counts[std::string(VerdictCode(static_cast<Verdict>(v)))] = r.counts[v];
        rows.push_back({{"call", r.call},
                        {"category", r.checklog ? std::string("CHECKLOG") : r.category},
                        {"checklog", r.checklog},
                        {"claimed", r.claimed ? json(*r.claimed) : json(nullptr)},
                        {"raw", tally(r.raw)},
                        {"final", tally(r.final)},
                        {"reduction_percent", std::round(r.reductionPercent * 10) / 10},
                        {"error_rate_percent", std::round(r.errorRate * 1000) / 10},
                        {"clock_offset", r.clockOffset},
                        {"verdicts", counts}});
    }
    json doc = {{"contest", rules.name}, {"results", rows}};
    return doc.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string SummaryText(const CheckResult& result, const Rules& rules) {
    const CheckSummary& s = result.summary;
    auto share = [&](std::size_t n, std::size_t of) {
        return of == 0 ? std::string("0.0 %") : Fixed(100.0 * static_cast<double>(n) / static_cast<double>(of), 1) + " %";
    };
    auto count = [&](Verdict v) { return s.counts[static_cast<std::size_t>(v)]; };
    std::string out = rules.name + " cross-check summary\n\n";
    out += "Logs:                  " + Num(static_cast<std::int64_t>(s.logs)) + " (" +
           Num(static_cast<std::int64_t>(s.checklogs)) + " checklogs)\n";
    out += "Contacts:              " + Num(static_cast<std::int64_t>(s.contacts)) + "\n";
    out += "Cross-checked:         " + Num(static_cast<std::int64_t>(s.crossChecked)) + " (" +
           share(s.crossChecked, s.contacts) + " of all contacts)\n";
    out += "Confirmed:             " + Num(static_cast<std::int64_t>(s.confirmed)) + " (" +
           share(s.confirmed, s.crossChecked) + " of those cross-checked)\n";
    const std::pair<const char*, Verdict> lines[] = {
        {"Busted calls:         ", Verdict::Busted},  {"Not in log:           ", Verdict::Nil},
        {"Miscopied exchanges:  ", Verdict::Exchange}, {"Uniques:              ", Verdict::Unique},
        {"No log, credited:     ", Verdict::NoLog},   {"Dupes:                ", Verdict::Dupe},
        {"Outside the period:   ", Verdict::Period},  {"Band/mode not allowed:", Verdict::Invalid},
        {"Partner erred:        ", Verdict::Partner}, {"Checklog contacts:    ", Verdict::Checklog},
    };
    for (const auto& [label, v] : lines)
        out += std::string(label) + " " + Num(static_cast<std::int64_t>(count(v))) + "\n";
    out += "Time taken:            " + Fixed(s.seconds, 2) + " s\n";
    return out;
}

void WriteVerdictsCsv(std::ostream& out, const std::vector<SubmittedLog>& logs, const CheckResult& result,
                      const Rules& rules) {
    out << kVerdictsCsvHeader;
    // Rows gathered into one buffer, written a megabyte at a time.
    std::string buffer;
    buffer.reserve(std::size_t{1} << 21);
    auto field = [&](std::string_view text) {
        if (contestlog::NeedsFormulaGuard(text)) {
            buffer += SpreadsheetCell(text);
            buffer += ',';
            return;
        }
        bool quote = false;
        for (char c : text)
            if (c == ',' || c == '"' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                quote = true;
                break;
            }
        if (!quote) {
            buffer += text;
        } else {
            buffer += contestlog::CsvField(text);
        }
        buffer += ',';
    };
    auto number = [&](std::int64_t v) {
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, v).ptr;
        buffer.append(digits, end);
    };
    // "YYYY-MM-DD " of the last day written; the minutes are added per row.
    std::int64_t day = kNoMinute;
    std::string dayText;
    auto utc = [&](std::int64_t minutes) {
        if (minutes == kNoMinute) return;
        const std::int64_t d = minutes >= 0 ? minutes / 1440 : -((-minutes + 1439) / 1440);
        if (d != day) {
            day = d;
            dayText = contestlog::UtcText(d * 1440);
            dayText.resize(dayText.size() - 5);  // "HH:MM" off
        }
        const std::int64_t m = minutes - d * 1440;
        const char hhmm[5] = {static_cast<char>('0' + m / 600), static_cast<char>('0' + m / 60 % 10), ':',
                              static_cast<char>('0' + m % 60 / 10), static_cast<char>('0' + m % 10)};
        buffer += dayText;
        buffer.append(hhmm, 5);
    };
    // Whether a log's file name must be quoted in other_line.
    std::vector<bool> plainFile(logs.size());
    for (std::size_t L = 0; L < logs.size(); ++L)
        plainFile[L] = logs[L].file.find_first_of(",\"\r\n") == std::string::npos && !contestlog::NeedsFormulaGuard(logs[L].file);
    for (std::size_t L = 0; L < logs.size(); ++L) {
        const SubmittedLog& log = logs[L];
        const LogResult& r = result.logs[L];
        const std::size_t mark = buffer.size();
        field(log.call);
        field(log.file);
        const std::string prefix = buffer.substr(mark);  // call and file, the same on every row of the log
        buffer.resize(mark);
        for (std::size_t i = 0; i < log.contacts.size(); ++i) {
            const CheckContact& c = log.contacts[i];
            const ContactTexts t = log.Texts(i);
            const ContactVerdict& v = r.verdicts[i];
            buffer += prefix;
            number(static_cast<std::int64_t>(c.place));
            buffer += ',';
            utc(c.time);
            buffer += ',';
            field(t.band);
            field(t.mode);
            field(t.call);
            field(VerdictCode(v.verdict));
            field(BlameCode(v.blamed));
            field(v.otherCall != kNoIndex ? std::string_view(result.Call(v.otherCall)) : std::string_view());
            if (v.otherLog != kNoIndex) {
                const SubmittedLog& other = logs[v.otherLog];
                if (plainFile[v.otherLog]) {
                    buffer += other.file;
                    buffer += ':';
                    number(static_cast<std::int64_t>(other.contacts[v.otherContact].place));
                } else {
                    buffer += SpreadsheetCell(other.file + ":" + Num(static_cast<std::int64_t>(other.contacts[v.otherContact].place)));
                }
            }
            buffer += ',';
            if (v.minutesOff) number(*v.minutesOff);
            buffer += ',';
            number(v.points);
            buffer += ',';
            if (v.verdict != Verdict::Ok || v.callMiscopied) {
                const std::string detail = VerdictDetail(logs, result, L, i, rules);
                if (!detail.empty()) buffer += SpreadsheetCell(detail);
            }
            buffer += "\r\n";
            if (buffer.size() >= (std::size_t{1} << 20)) {
                out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
                buffer.clear();
            }
        }
    }
    out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
}

}  // namespace yol::check
