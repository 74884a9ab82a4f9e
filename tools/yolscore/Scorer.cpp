#include "Scorer.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <unordered_map>

#include "scoring/Report.h"

namespace yol::score {
namespace {

// The first eight bytes of a call, big-endian, zero-padded: comparing these
// numbers orders calls as their bytes do, up to the eighth byte.
std::uint64_t PrefixOf(std::string_view call) noexcept {
    std::uint64_t prefix = 0;
    for (std::size_t i = 0; i < 8; ++i)
        prefix = (prefix << 8) | (i < call.size() ? static_cast<unsigned char>(call[i]) : 0u);
    return prefix;
}

void AppendPiece(std::string& key, std::string_view text) {
    const auto n = static_cast<std::uint32_t>(text.size());
    key.append(reinterpret_cast<const char*>(&n), sizeof n);
    key.append(text);
}

std::string Num(std::int64_t v) { return std::to_string(v); }

struct Totals {
    std::int64_t qsos = 0, points = 0, districts = 0, countries = 0;
    std::int64_t Score() const { return points * (districts + countries); }
};

Totals Sum(const std::vector<TStatistic>& tallies) {
    Totals t;
    for (const TStatistic& s : tallies) {
        t.qsos += s.QSOs;
        t.points += s.Points;
        t.districts += s.Districts;
        t.countries += s.Countries;
    }
    return t;
}

// Length of the valid UTF-8 sequence at `at` (no overlongs, no surrogates,
// at most U+10FFFF), or 0.
std::size_t Utf8Length(std::string_view s, std::size_t at) noexcept {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char c = b(at);
    std::size_t n = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) n = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (at + n > s.size()) return 0;
    if (b(at + 1) < lo || b(at + 1) > hi) return 0;
    for (std::size_t i = 2; i < n; ++i)
        if (b(at + i) < 0x80 || b(at + i) > 0xBF) return 0;
    return n;
}

}  // namespace

// ---- reading -------------------------------------------------------------------

LogFile OpenLogFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    LogFile log;
    log.path = path;
    char head[4096];
    in.read(head, sizeof head);
    const auto got = static_cast<std::size_t>(in.gcount());
    log.format = contestlog::DetectFormat(std::string_view(head, got), path);
    if (log.format == contestlog::LogFormat::Unknown)
        throw std::runtime_error(path + " is no log this reads (SQLite, Cabrillo, ADIF .adi or .adx)");
    if (log.format == contestlog::LogFormat::Sqlite) return log;
    in.clear();
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) throw std::runtime_error("cannot read " + path);
    if (static_cast<std::uint64_t>(size) >= 0x80000000ull)
        throw std::runtime_error(path + " is larger than 2 GiB, more than this reads");
    log.bytes.resize(static_cast<std::size_t>(size));
    in.seekg(0);
    in.read(log.bytes.data(), static_cast<std::streamsize>(size));
    if (in.gcount() != size) throw std::runtime_error("cannot read all of " + path);
    return log;
}

std::string_view PlaceWord(contestlog::LogFormat format) noexcept {
    return format == contestlog::LogFormat::Cabrillo || format == contestlog::LogFormat::Adi
               ? "line"
               : "record";
}

ContactStore::ContactStore(bool keepPlaces) : keepPlaces_(keepPlaces) {}

void ContactStore::Station(std::string_view callSign) {
    if (station_.empty()) station_.assign(callSign);
}

void ContactStore::Problem(const contestlog::LogProblem& problem) {
    ++problems_;
    if (onProblem) onProblem(problem);
}

void ContactStore::Contact(const contestlog::LogEntry& e) {
    if (size_ >= 0xFFFFFFFFu) throw std::runtime_error("more than 4,294,967,295 contacts");
    Entry entry{};
    const std::string_view call = e.callSign.substr(0, 0xFFFF);
    entry.callLength = static_cast<std::uint16_t>(call.size());
    constexpr std::size_t kBlock = std::size_t{1} << kBlockBits;
    if (blockUsed_ + call.size() > kBlock) {
        if (blocks_.size() >= (std::size_t{1} << (32 - kBlockBits)))
            throw std::runtime_error("call signs beyond 4 GiB");
        blocks_.push_back(std::unique_ptr<char[]>(new char[kBlock]));
        blockUsed_ = 0;
    }
    std::copy(call.begin(), call.end(), blocks_.back().get() + blockUsed_);
    entry.call = static_cast<std::uint32_t>((blocks_.size() - 1) << kBlockBits | blockUsed_);
    blockUsed_ += call.size();

    const auto [report, newReport] = reportIds_.Intern(e.report);
    if (newReport) reports_.emplace_back(e.report);
    entry.report = report;

    key_.clear();
    for (std::string_view piece : {e.digiBand, e.qsoMode, e.dxccPrefix, e.mainPrefix, e.continent})
        AppendPiece(key_, piece);
    const auto [shape, newShape] = shapeIds_.Intern(key_);
    if (newShape)
        shapes_.push_back(Shape{std::string(e.digiBand), std::string(e.qsoMode),
                                std::string(e.dxccPrefix), std::string(e.mainPrefix),
                                std::string(e.continent)});
    entry.shape = shape;

    if (e.dxccPrefix.empty()) ++withoutCountry_;
    if (size_ % kEntriesPerChunk == 0)
        entries_.push_back(std::unique_ptr<Entry[]>(new Entry[kEntriesPerChunk]));
    entries_.back()[size_ % kEntriesPerChunk] = entry;
    ++size_;
    if (keepPlaces_) places_.push_back(e.place);
}

std::string_view ContactStore::CallAt(std::size_t index) const noexcept {
    const Entry& e = EntryAt(index);
    const char* block = blocks_[e.call >> kBlockBits].get();
    return {block + (e.call & ((1u << kBlockBits) - 1)), e.callLength};
}

contestlog::ContactView ContactStore::At(std::size_t index) const noexcept {
    const Entry& e = EntryAt(index);
    const Shape& s = shapes_[e.shape];
    return {CallAt(index), s.band, s.mode, reports_[e.report], s.dxcc, s.mainPrefix, s.continent};
}

void ContactStore::Prefetch(std::size_t index, bool call) const noexcept {
#if defined(__GNUC__)
    if (call) __builtin_prefetch(CallAt(index).data());
    else __builtin_prefetch(&EntryAt(index));
#else
    (void)index;
    (void)call;
#endif
}

std::size_t ContactStore::PlaceAt(std::size_t index) const noexcept {
    return keepPlaces_ ? places_[index] : 0;
}

std::vector<std::uint32_t> ContactStore::CallSignOrder() const {
    // A stable radix sort on the calls' first eight bytes (passes over bytes
    // all calls share are skipped), then runs with equal first eight bytes
    // sorted by the whole call, stable too.
    struct Key {
        std::uint64_t prefix;
        std::uint32_t index;
    };
    const std::size_t n = size_;
    std::vector<Key> keys(n), spare(n);
    for (std::size_t i = 0; i < n; ++i) keys[i] = {PrefixOf(CallAt(i)), static_cast<std::uint32_t>(i)};
    for (unsigned shift = 0; shift < 64; shift += 8) {
        std::size_t count[257] = {};
        for (const Key& k : keys) ++count[((k.prefix >> shift) & 0xFF) + 1];
        if (n == 0 || count[((keys[0].prefix >> shift) & 0xFF) + 1] == n) continue;
        for (std::size_t b = 1; b < 257; ++b) count[b] += count[b - 1];
        for (const Key& k : keys) spare[count[(k.prefix >> shift) & 0xFF]++] = k;
        keys.swap(spare);
    }
    std::vector<Key>().swap(spare);
    // Within a run, calls of up to eight bytes differ at most in trailing
    // NULs, that is in length; the run is usually in order already.
    auto less = [this](const Key& a, const Key& b) {
        const std::string_view ca = CallAt(a.index), cb = CallAt(b.index);
        return ca.size() <= 8 && cb.size() <= 8 ? ca.size() < cb.size() : ca < cb;
    };
    for (std::size_t run = 0; run < n;) {
        std::size_t end = run + 1;
        bool sorted = true;
        for (; end < n && keys[end].prefix == keys[run].prefix; ++end)
            if (sorted && less(keys[end], keys[end - 1])) sorted = false;
        if (!sorted)
            std::stable_sort(keys.begin() + static_cast<std::ptrdiff_t>(run),
                             keys.begin() + static_cast<std::ptrdiff_t>(end), less);
        run = end;
    }
    std::vector<std::uint32_t> order(n);
    for (std::size_t i = 0; i < n; ++i) order[i] = keys[i].index;
    return order;
}

// ---- scoring -------------------------------------------------------------------

std::size_t ScoreContacts(const ContactStore& store, const std::vector<std::uint32_t>* order,
                          std::string_view myPrefix, std::string_view myContinent,
                          TScoreBook& book, const std::function<void(const AuditEntry&)>& audit) {
    auto record = std::make_unique<ContactRecord>();
    StoreShortText(record->MyDXCCPrefix, myPrefix);
    StoreShortText(record->MyContinent, myContinent);
    const std::size_t count = order ? order->size() : store.Size();
    std::size_t duplicates = 0;

    // Audit only: where each band's tally is and where each recorded
    // call/band/mode was first logged.
    std::unordered_map<std::string, std::size_t> tallyOfBand, firstPlace;
    std::string key;
    char code[4];

    for (std::size_t n = 0; n < count; ++n) {
        const std::size_t index = order ? (*order)[n] : n;
        // In call-sign order the contacts are spread over the store: fetch
        // the entry a few contacts ahead, and its call sign once it is here.
        if (order && n + 16 < count) store.Prefetch((*order)[n + 16], false);
        if (order && n + 8 < count) store.Prefetch((*order)[n + 8], true);
        contestlog::StoreLogRow(*record, store.At(index));
        if (!audit) {
            if (book.Evaluate(*record, true) < 0) ++duplicates;
            continue;
        }
        AuditEntry a;
        a.place = store.PlaceAt(index);
        a.call = ReadShortText(record->CallSign);
        a.band = ReadShortText(record->DigiBand);
        a.mode = ReadShortText(record->QSOMode);
        const auto tally = tallyOfBand.find(std::string(a.band));
        TStatistic before;
        if (tally != tallyOfBand.end()) before = book.Tallies()[tally->second];
        a.points = book.Evaluate(*record, true);
        key.clear();
        AppendPiece(key, a.call);
        AppendPiece(key, a.band);
        AppendPiece(key, a.mode);
        if (a.points < 0) {
            ++duplicates;
            const auto first = firstPlace.find(key);
            a.dupeOf = first != firstPlace.end() ? first->second : 0;
        } else {
            firstPlace.emplace(key, a.place);
            std::size_t at = 0;
            if (tally != tallyOfBand.end()) {
                at = tally->second;
            } else {
                at = book.Tallies().size() - 1;  // the band's tally was added just now
                tallyOfBand.emplace(std::string(a.band), at);
            }
            const TStatistic& after = book.Tallies()[at];
            if (after.Districts > before.Districts)
                a.newDistrict = DistrictCode(ReadShortText(record->QSOReportRecived), code);
            if (after.Countries > before.Countries) a.newCountry = ReadShortText(record->DXCCPrefix);
        }
        audit(a);
    }
    return duplicates;
}

// ---- outputs -------------------------------------------------------------------

void WriteText(std::FILE* out, std::string_view text) {
    if (!text.empty()) std::fwrite(text.data(), 1, text.size(), out);
}

std::string JsonString(std::string_view text) {
    static const char* const kHex = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            ++i;
        } else if (const std::size_t n = c >= 0x80 ? Utf8Length(text, i) : 0; n > 0) {
            out.append(text.substr(i, n));
            i += n;
        } else {  // a control byte, DEL, or a byte that is not UTF-8
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 15];
            ++i;
        }
    }
    return out + '"';
}

std::string CsvField(std::string_view text) {
    bool quote = false;
    for (char ch : text)
        if (ch == ',' || ch == '"' || static_cast<unsigned char>(ch) < 0x20) quote = true;
    if (!quote) return std::string(text);
    std::string out = "\"";
    for (char ch : text) {
        if (ch == '"') out += '"';
        out += ch;
    }
    return out + '"';
}

std::string_view OrderName(Order order) noexcept {
    return order == Order::CallSign ? "call-sign" : "log";
}

std::string ReportJson(const std::vector<TStatistic>& tallies) {
    std::string out = "{\"bands\":[";
    for (std::size_t i = 0; i < tallies.size(); ++i) {
        const TStatistic& t = tallies[i];
        if (i) out += ',';
        out += "{\"band\":" + JsonString(t.Band) + ",\"qsos\":" + Num(t.QSOs) +
               ",\"points\":" + Num(t.Points) + ",\"districts\":" + Num(t.Districts) +
               ",\"countries\":" + Num(t.Countries) + "}";
    }
    const Totals s = Sum(tallies);
    out += "],\"total\":{\"qsos\":" + Num(s.qsos) + ",\"points\":" + Num(s.points) +
           ",\"districts\":" + Num(s.districts) + ",\"countries\":" + Num(s.countries) +
           "},\"score\":" + Num(s.Score()) + "}";
    return out;
}

std::string ReportCsv(const std::vector<TStatistic>& tallies) {
    std::string out = "band,qsos,points,districts,countries,score\r\n";
    for (const TStatistic& t : tallies)
        out += CsvField(t.Band) + "," + Num(t.QSOs) + "," + Num(t.Points) + "," +
               Num(t.Districts) + "," + Num(t.Countries) + ",\r\n";
    const Totals s = Sum(tallies);
    out += "Total," + Num(s.qsos) + "," + Num(s.points) + "," + Num(s.districts) + "," +
           Num(s.countries) + "," + Num(s.Score()) + "\r\n";
    return out;
}

std::string AuditText(const AuditEntry& a, std::string_view placeWord) {
    std::string out(placeWord);
    out += ' ' + Num(static_cast<std::int64_t>(a.place)) + ": ";
    out.append(a.call).append(" ").append(a.band).append(" ").append(a.mode).append(": ");
    if (a.points < 0) {
        out.append("dupe of ").append(placeWord).append(" ");
        out += Num(static_cast<std::int64_t>(a.dupeOf));
    } else {
        out += Num(a.points) + (a.points == 1 ? " point" : " points");
        if (!a.newDistrict.empty()) out.append(", new district ").append(a.newDistrict);
        if (!a.newCountry.empty()) out.append(", new country ").append(a.newCountry);
    }
    return out + '\n';
}

std::string AuditJson(const AuditEntry& a) {
    auto orNull = [](std::string_view v) { return v.empty() ? std::string("null") : JsonString(v); };
    return "{\"place\":" + Num(static_cast<std::int64_t>(a.place)) +
           ",\"call\":" + JsonString(a.call) + ",\"band\":" + JsonString(a.band) +
           ",\"mode\":" + JsonString(a.mode) +
           ",\"points\":" + (a.points < 0 ? std::string("null") : Num(a.points)) +
           ",\"dupeOf\":" + (a.points < 0 ? Num(static_cast<std::int64_t>(a.dupeOf)) : "null") +
           ",\"newDistrict\":" + orNull(a.newDistrict) + ",\"newCountry\":" + orNull(a.newCountry) +
           "}";
}

const char* const kAuditCsvHeader = "place,call,band,mode,points,dupe_of,new_district,new_country\r\n";

std::string AuditCsv(const AuditEntry& a) {
    const bool dupe = a.points < 0;
    return Num(static_cast<std::int64_t>(a.place)) + "," + CsvField(a.call) + "," +
           CsvField(a.band) + "," + CsvField(a.mode) + "," + (dupe ? "" : Num(a.points)) + "," +
           (dupe ? Num(static_cast<std::int64_t>(a.dupeOf)) : "") + "," +
           CsvField(a.newDistrict) + "," + CsvField(a.newCountry) + "\r\n";
}

std::string SummaryText(const std::vector<TStatistic>& tallies, const SummaryInfo& info) {
    auto pad = [](std::string text, std::size_t width) { return PadLeft(std::move(text), width); };
    std::string out = "YOL contest: claimed score\n";
    out += "Station:    " + (info.station.empty() ? std::string("(not named in the log)") : info.station) +
           "\n";
    out += "Operator:   " + info.myPrefix + ", " + info.myContinent + "\n";
    out += "Log:        " + info.logPath + " (" + std::to_string(info.contacts) + " contacts, " +
           std::to_string(info.duplicates) + " duplicates";
    if (info.rejected) out += ", " + std::to_string(info.rejected) + " lines or records rejected";
    out += ", scored in " + std::string(OrderName(info.order)) + " order)\n\n";
    out += "Band      QSOs  Points  Districts  Countries\n";
    for (const TStatistic& t : tallies) {
        std::string band = t.Band;
        if (band.size() < 6) band.append(6 - band.size(), ' ');
        out += band + pad(Num(t.QSOs), 8) + pad(Num(t.Points), 8) + pad(Num(t.Districts), 11) +
               pad(Num(t.Countries), 11) + "\n";
    }
    const Totals s = Sum(tallies);
    out += "Total " + pad(Num(s.qsos), 8) + pad(Num(s.points), 8) + pad(Num(s.districts), 11) +
           pad(Num(s.countries), 11) + "\n\n";
    out += "Claimed score: " + Num(s.points) + " points x (" + Num(s.districts) + " districts + " +
           Num(s.countries) + " countries) = " + Num(s.Score()) + "\n";
    return out;
}

}  // namespace yol::score
