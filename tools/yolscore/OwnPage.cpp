#include "OwnPage.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <numeric>

#include "contestlog/Bands.h"
#include "contestlog/Text.h"

namespace yol::score {
namespace {

namespace wr = webreport;
using contestlog::AuditEntry;
using contestlog::TextAsUtf8;
using contestlog::ScoreContacts;

std::string BandName(std::string_view host) { return TextAsUtf8(contestlog::BandName(host)); }

}  // namespace

void OwnPage::Tee::Header(std::string_view name, std::string_view value) { store_.Header(name, value); }

void OwnPage::Tee::Contact(const contestlog::ContactView& contact) {
    store_.Contact(contact);
    page_.times_.push_back(contact.time);
    page_.lines_.append(contact.line);
    page_.lineEnds_.push_back(page_.lines_.size());
}

wr::LogReport OwnPage::Report(const ContactStore& store, std::string_view myPrefix, std::string_view myContinent,
                              std::string_view fileName) const {
    const std::size_t n = store.Size();
    // Time order, equal times (and a log's contacts without a time, first) in file order.
    std::vector<std::uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return times_[a] < times_[b]; });

    auto line = [&](std::size_t i) {
        const std::size_t begin = i == 0 ? 0 : lineEnds_[i - 1];
        return std::string_view(lines_).substr(begin, lineEnds_[i] - begin);
    };
    std::map<std::string, std::string, std::less<>> bands;
    auto band = [&](std::string_view host) -> const std::string& {
        auto it = bands.find(host);
        if (it == bands.end()) it = bands.emplace(std::string(host), BandName(host)).first;
        return it->second;
    };

    wr::LogReport page;
    page.crossChecked = false;
    page.call = TextAsUtf8(store.StationCall());
    page.name = TextAsUtf8(store.HeaderFacts().name);
    page.category = TextAsUtf8(store.HeaderFacts().CategoryText());
    page.claimed = store.HeaderFacts().Claimed();

    TScoreBook book;
    std::int64_t points = 0, multipliers = 0;
    std::size_t k = 0;
    page.contacts.reserve(n);
    ScoreContacts(store, &order, myPrefix, myContinent, book, [&](const AuditEntry& a) {
        const std::uint32_t i = order[k++];
        const bool dupe = a.points < 0;
        points += dupe ? 0 : a.points;
        multipliers += (a.newDistrict.empty() ? 0 : 1) + (a.newCountry ? 1 : 0);
        const std::int64_t time = times_[i];
        if (time != contestlog::kNoTime)
            page.contacts.push_back({time, band(a.band), dupe ? wr::Verdict::Dupe : wr::Verdict::Ok,
                                     dupe ? 0 : a.points, points * multipliers});
        if (!dupe) return;
        wr::RemovedContact rc;
        rc.verdict = wr::Verdict::Dupe;
        rc.utc = time == contestlog::kNoTime ? 0 : time;
        rc.band = band(a.band);
        rc.mode = TextAsUtf8(a.mode);
        rc.call = TextAsUtf8(a.call);
        rc.reason = "repeats the contact at line " + std::to_string(a.dupeOf);
        rc.ownPlace = std::string(fileName) + ":" + std::to_string(a.place);
        rc.ownLine = TextAsUtf8(line(i));
        page.removed.push_back(std::move(rc));
    });
    std::int64_t contacts = 0;
    for (const TStatistic& s : book.Tallies()) contacts += s.QSOs;
    page.rawContacts = static_cast<std::int64_t>(n);
    page.finalContacts = contacts;
    page.points = points;
    page.multipliers = multipliers;
    page.rawScore = page.finalScore = points * multipliers;
    return page;
}

std::string OwnPage::Html(const ContactStore& store, std::string_view logPath, std::string_view myPrefix,
                          std::string_view myContinent) const {
    const std::string logName = std::filesystem::path(std::string(logPath)).filename().string();
    return wr::LogPage(Report(store, myPrefix, myContinent, logName), "YOL log report");
}

}  // namespace yol::score
