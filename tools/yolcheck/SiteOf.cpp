#include "SiteOf.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <map>
#include <utility>

#include "Outputs.h"
#include "contestlog/Bands.h"
#include "contestlog/Text.h"

namespace yol::check {
namespace {

namespace wr = webreport;

using contestlog::TextAsUtf8;

// The engine's verdicts as the site's: by their stable codes, once.
const std::array<wr::Verdict, kVerdictCount>& VerdictTable() {
    static const std::array<wr::Verdict, kVerdictCount> table = [] {
        std::array<wr::Verdict, kVerdictCount> t{};
        for (std::size_t v = 0; v < kVerdictCount; ++v)
            t[v] = wr::VerdictFromCode(VerdictCode(static_cast<Verdict>(v))).value_or(wr::Verdict::Ok);
        return t;
    }();
    return table;
}

wr::Verdict SiteVerdict(Verdict v) { return VerdictTable()[static_cast<std::size_t>(v)]; }

// Removed or penalised: everything the log does not keep whole.
bool Removed(Verdict v) { return v != Verdict::Ok && v != Verdict::NoLog && v != Verdict::Checklog; }

// One side of a contact for the page's aligned comparison.
wr::LineFields FieldsOf(const SubmittedLog& log, std::size_t i, std::string who) {
    const ContactTexts c = log.Texts(i);
    wr::LineFields f;
    f.who = std::move(who);
    if (log.contacts[i].time != kNoMinute) f.utc = log.contacts[i].time;
    f.station = TextAsUtf8(c.ownCall.empty() ? std::string_view(log.call) : c.ownCall);
    f.sent = TextAsUtf8(c.sent);
    f.call = TextAsUtf8(c.call);
    f.received = TextAsUtf8(c.report);
    return f;
}

std::string Place(const SubmittedLog& log, std::size_t i) {
    return log.file + ":" + std::to_string(log.contacts[i].place);
}

wr::LogReport ReportOf(const std::vector<SubmittedLog>& logs, const CheckResult& result, std::size_t index,
                       const Rules& rules) {
    const SubmittedLog& log = logs[index];
    const LogResult& r = result.logs[index];
    wr::LogReport page;
    page.call = TextAsUtf8(r.call);
    page.category = r.checklog ? std::string("CHECKLOG") : TextAsUtf8(log.category);
    page.checklog = r.checklog;
    page.className = TextAsUtf8(r.className);
    page.classTitle = TextAsUtf8(r.classTitle);
    page.placeInClass = r.placeInClass;
    page.classSize = r.classSize;
    page.placeOverall = r.placeOverall;
    page.overallSize = r.overallSize;
    page.tiedInClass = r.tiedInClass;
    page.tiedOverall = r.tiedOverall;
    for (const std::string& note : r.categoryNotes) page.categoryNotes.push_back(TextAsUtf8(note));
    page.club = TextAsUtf8(log.club);
    page.country = TextAsUtf8(log.country);
    page.continent = TextAsUtf8(log.continent);
    if (rules.start != kNoMinute && rules.end != kNoMinute) page.period = std::make_pair(rules.start, rules.end);
    page.name = TextAsUtf8(log.name);
    page.claimed = r.claimed;
    page.rawScore = r.raw.score;
    page.finalScore = r.final.score;
    page.rawContacts = r.raw.contacts;
    page.finalContacts = r.final.contacts;
    page.points = r.final.points;
    page.multipliers = r.final.multipliers;
    // As results.csv has them: the reduction against the raw score.
    page.reductionPercent = r.reductionPercent;
    page.errorRatePercent = 100.0 * r.errorRate;
    page.clockOffsetMinutes = static_cast<double>(r.clockOffset);
    if (!r.checklog)
        for (const BandFigures& b : ByBand(log, r, rules))
            page.bands.push_back({TextAsUtf8(b.band), b.rawContacts, b.finalContacts, b.rawPoints, b.finalPoints,
                                  b.multipliers});
    for (const NotRead& n : log.notRead) page.skipped.push_back({n.line, TextAsUtf8(n.reason)});
    for (const NotRead& n : log.incomplete) page.incomplete.push_back({n.line, TextAsUtf8(n.reason)});

    // Time order, equal times (and those without one, first) in log order.
    std::vector<std::size_t> order(log.contacts.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
        return log.contacts[x].time < log.contacts[y].time;
    });
    const std::vector<std::int64_t> running = RunningScore(result, index, &order);
    std::map<std::string, std::string, std::less<>> bands;  // a log has a handful
    auto band = [&](std::string_view host) -> const std::string& {
        auto it = bands.find(host);
        if (it == bands.end()) it = bands.emplace(std::string(host), TextAsUtf8(contestlog::BandName(host))).first;
        return it->second;
    };
    page.contacts.reserve(log.contacts.size());
    for (std::size_t i : order) {
        const std::int64_t time = log.contacts[i].time;
        const ContactVerdict& v = r.verdicts[i];
        // A contact whose time does not parse has no place on a time axis; it
        // earns nothing (PERIOD), so the running score does not miss it.
        if (time != kNoMinute)
            page.contacts.push_back({time, band(log.Texts(i).band), SiteVerdict(v.verdict), v.points, running[i]});
    }
    for (std::size_t i = 0; i < log.contacts.size(); ++i) {
        const ContactVerdict& v = r.verdicts[i];
        if (!Removed(v.verdict)) continue;
        const ContactTexts c = log.Texts(i);
        const std::int64_t time = log.contacts[i].time;
        wr::RemovedContact rc;
        rc.verdict = SiteVerdict(v.verdict);
        rc.utc = time == kNoMinute ? 0 : time;
        rc.band = band(c.band);
        rc.mode = TextAsUtf8(c.mode);
        rc.call = TextAsUtf8(c.call);
        rc.reason = TextAsUtf8(VerdictDetail(logs, result, index, i, rules));
        const std::int64_t rawPoints = i < r.scores.size() ? r.scores[i].rawPoints : 0;
        rc.lost = std::max<std::int64_t>(rawPoints - v.points, 0) + v.penalty;
        rc.ownPlace = Place(log, i);
        rc.ownLine = TextAsUtf8(ShownLine(log, i));
        if (v.otherLog != kNoIndex) {
            const SubmittedLog& other = logs[v.otherLog];
            rc.otherPlace = Place(other, v.otherContact);
            rc.otherLine = TextAsUtf8(ShownLine(other, v.otherContact));
            rc.ownFields = FieldsOf(log, i, "You");
            rc.otherFields = FieldsOf(other, v.otherContact, TextAsUtf8(other.call));
        }
        page.removed.push_back(std::move(rc));
    }
    for (const MiscopiedBy& m : r.miscopiedBy) {
        const SubmittedLog& other = logs[m.otherLog];
        const ContactTexts theirs = other.Texts(m.otherContact);
        const std::int64_t time = other.contacts[m.otherContact].time;
        const std::string& loggedAs = result.Call(m.loggedAs);
        wr::RemovedContact rc;
        rc.verdict = SiteVerdict(result.logs[m.otherLog].verdicts[m.otherContact].verdict);
        rc.utc = time == kNoMinute ? 0 : time;
        rc.band = band(theirs.band);
        rc.mode = TextAsUtf8(theirs.mode);
        rc.call = TextAsUtf8(loggedAs);
        rc.reason = TextAsUtf8(MiscopiedText(result, logs, m));
        // Their line first, then this log's: the table's heads say so.
        rc.ownPlace = Place(other, m.otherContact);
        rc.ownLine = TextAsUtf8(ShownLine(other, m.otherContact));
        rc.otherPlace = Place(log, m.contact);
        rc.otherLine = TextAsUtf8(ShownLine(log, m.contact));
        rc.ownFields = FieldsOf(other, m.otherContact, TextAsUtf8(other.call));
        rc.otherFields = FieldsOf(log, m.contact, "You");
        page.othersMiscopied.push_back(std::move(rc));
    }
    return page;
}

wr::CheckSummary SummaryOf(const std::vector<SubmittedLog>& logs, const CheckResult& result) {
    const CheckSummary& s = result.summary;
    auto count = [&](Verdict v) { return static_cast<std::int64_t>(s.counts[static_cast<std::size_t>(v)]); };
    auto share = [](std::size_t n, std::size_t of) {
        return of == 0 ? 0.0 : 100.0 * static_cast<double>(n) / static_cast<double>(of);
    };
    wr::CheckSummary out;
    out.logs = static_cast<std::int64_t>(s.logs);
    out.checklogs = static_cast<std::int64_t>(s.checklogs);
    out.contacts = static_cast<std::int64_t>(s.contacts);
    // As summary.txt: cross-checked of all contacts, confirmed of those cross-checked.
    out.crossCheckedPercent = share(s.crossChecked, s.contacts);
    out.confirmedPercent = share(s.confirmed, s.crossChecked);
    out.busted = count(Verdict::Busted);
    out.notInLog = count(Verdict::Nil);
    out.exchange = count(Verdict::Exchange);
    out.uniques = count(Verdict::Unique);
    out.dupes = count(Verdict::Dupe);
    out.seconds = s.seconds;
    out.crossChecked = static_cast<std::int64_t>(s.crossChecked);
    out.confirmed = static_cast<std::int64_t>(s.confirmed);
    out.noLog = count(Verdict::NoLog);
    out.period = count(Verdict::Period);
    out.invalid = count(Verdict::Invalid);
    out.partner = count(Verdict::Partner);
    out.checklogContacts = count(Verdict::Checklog);

    // For the committee's review: logs by error rate, logs with many contacts
    // not in the other log, the unique calls and who logged them.
    for (std::size_t L = 0; L < logs.size(); ++L) {
        const LogResult& r = result.logs[L];
        if (r.checklog) continue;
        wr::CheckSummary::LogErrors e;
        e.call = TextAsUtf8(r.call);
        e.contacts = static_cast<std::int64_t>(logs[L].contacts.size());
        e.notInLog = r.counts[static_cast<std::size_t>(Verdict::Nil)];
        e.errorRatePercent = 100.0 * r.errorRate;
        if (r.errorRate > 0) out.byErrorRate.push_back(e);
        if (e.notInLog >= kManyNotInLog && e.notInLog * 50 >= e.contacts) out.manyNotInLog.push_back(std::move(e));
        for (std::size_t i = 0; i < r.verdicts.size() && out.uniqueCalls.size() < kUniquesShown; ++i)
            if (r.verdicts[i].verdict == Verdict::Unique)
                out.uniqueCalls.emplace_back(TextAsUtf8(logs[L].Texts(i).call), TextAsUtf8(r.call));
    }
    std::stable_sort(out.byErrorRate.begin(), out.byErrorRate.end(),
                     [](const auto& a, const auto& b) { return a.errorRatePercent > b.errorRatePercent; });
    if (out.byErrorRate.size() > kErrorRanksShown) out.byErrorRate.resize(kErrorRanksShown);
    std::stable_sort(out.manyNotInLog.begin(), out.manyNotInLog.end(),
                     [](const auto& a, const auto& b) { return a.notInLog > b.notInLog; });
    if (out.manyNotInLog.size() > kErrorRanksShown) out.manyNotInLog.resize(kErrorRanksShown);
    std::sort(out.uniqueCalls.begin(), out.uniqueCalls.end());

    // The calls busted most often: the true call, and what it was logged as.
    std::map<std::string, std::map<std::string, std::int64_t>> into;
    for (std::size_t L = 0; L < logs.size(); ++L)
        for (std::size_t i = 0; i < logs[L].contacts.size(); ++i) {
            const ContactVerdict& v = result.logs[L].verdicts[i];
            if (v.verdict == Verdict::Busted && v.otherCall != kNoIndex)
                ++into[result.Call(v.otherCall)][std::string(logs[L].Texts(i).call)];
        }
    std::vector<wr::BustedCall> busted;
    busted.reserve(into.size());
    for (const auto& [call, as] : into) {
        wr::BustedCall b;
        b.call = TextAsUtf8(call);
        for (const auto& [logged, n] : as) {
            b.times += n;
            b.into.emplace_back(TextAsUtf8(logged), n);
        }
        std::stable_sort(b.into.begin(), b.into.end(), [](const auto& x, const auto& y) { return x.second > y.second; });
        busted.push_back(std::move(b));
    }
    std::stable_sort(busted.begin(), busted.end(), [](const wr::BustedCall& x, const wr::BustedCall& y) {
        return x.times > y.times;
    });
    if (busted.size() > kMostBustedShown) busted.resize(kMostBustedShown);
    out.mostBusted = std::move(busted);
    return out;
}

std::string NowUtc() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
#ifdef _WIN32
    gmtime_s(&tm, &now);
#else
    gmtime_r(&now, &tm);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &tm);
    return text;
}

}  // namespace

std::vector<std::int64_t> RunningScore(const CheckResult& result, std::size_t index,
                                       const std::vector<std::size_t>* order) {
    const LogResult& r = result.logs[index];
    std::vector<std::int64_t> out(r.verdicts.size());
    std::int64_t points = 0, multipliers = 0;
    for (std::size_t k = 0; k < r.verdicts.size(); ++k) {
        const std::size_t i = order ? (*order)[k] : k;
        const ContactVerdict& v = r.verdicts[i];
        points += v.points - v.penalty;
        if (i < r.scores.size()) multipliers += r.scores[i].multipliers;
        out[i] = std::max<std::int64_t>(points, 0) * multipliers;
    }
    return out;
}

std::string ReportName(std::string_view call) { return "reports/" + wr::FileStem(call) + ".txt"; }

wr::Site SiteOf(const std::vector<SubmittedLog>& logs, const CheckResult& result, const Rules& rules,
                bool carriesData) {
    wr::Site site;
    site.carriesData = carriesData;
    site.title = TextAsUtf8(rules.name) + " results";
    site.generated = "Cross-checked " + NowUtc() + " UTC: " + std::to_string(result.summary.logs) + " logs, " +
                     std::to_string(result.summary.contacts) + " contacts.";
    for (const CategoryClass& c : rules.categories.classes) site.classes.emplace_back(TextAsUtf8(c.name), TextAsUtf8(c.title));
    const std::vector<std::size_t> order = ResultsOrder(result);
    site.logs.reserve(order.size());
    site.results.reserve(order.size());
    for (std::size_t index : order) {
        site.logs.push_back(ReportOf(logs, result, index, rules));
        if (carriesData) site.logs.back().reportLink = "../" + ReportName(logs[index].call);
        site.results.push_back(wr::ResultRowOf(site.logs.back()));
    }
    site.summary = SummaryOf(logs, result);
    return site;
}

void WriteSiteFiles(const wr::Site& site, ResultFolder& folder) {
    wr::WriteSite(site, [&](std::string_view name, std::string_view content) { folder.Write(name, content); });
}


}  // namespace yol::check
