#include "Scorer.h"

#include <algorithm>
#include <cstring>
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

// A word at a time: texts here are short.
std::uint64_t HashText(std::string_view text, std::uint64_t h) noexcept {
    auto mix = [](std::uint64_t x, std::uint64_t w) {
        x = (x ^ w) * 0x9E3779B97F4A7C15ULL;
        return x ^ (x >> 29);
    };
    const char* p = text.data();
    std::size_t n = text.size();
    h = mix(h, n);
    for (; n >= 8; p += 8, n -= 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        h = mix(h, w);
    }
    if (n > 0) {
        std::uint64_t w = 0;
        for (std::size_t i = 0; i < n; ++i) w = (w << 8) | static_cast<unsigned char>(p[i]);
        h = mix(h, w);
    }
    return h;
}

constexpr std::uint64_t kHighHalf = 0xFFFFFFFF00000000ULL;

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

std::uint32_t ContactStore::Texts::Intern(std::string_view text) {
    if ((spans_.size() + 1) * 2 > slots_.size()) {
        std::vector<std::uint64_t> old = std::move(slots_);
        slots_.assign(old.empty() ? 64 : old.size() * 2, 0);
        const std::size_t mask = slots_.size() - 1;
        for (const std::uint64_t slot : old) {
            if (slot == 0) continue;
            const std::uint32_t id = static_cast<std::uint32_t>(slot) - 1;
            auto i = static_cast<std::size_t>(HashText(At(id), 0) & mask);
            while (slots_[i] != 0) i = (i + 1) & mask;
            slots_[i] = slot;
        }
    }
    const std::uint64_t hash = HashText(text, 0), high = hash & kHighHalf;
    const std::size_t mask = slots_.size() - 1;
    auto i = static_cast<std::size_t>(hash & mask);
    for (; slots_[i] != 0; i = (i + 1) & mask) {
        const std::uint64_t slot = slots_[i];
        if ((slot & kHighHalf) == high && At(static_cast<std::uint32_t>(slot) - 1) == text)
            return static_cast<std::uint32_t>(slot) - 1;
    }
    if (spans_.size() >= 0xFFFFFFFEu || pool_.size() + text.size() > 0xFFFFFFFFu)
        throw std::runtime_error("more than 4 GiB of distinct texts");
    const auto id = static_cast<std::uint32_t>(spans_.size());
    spans_.push_back({static_cast<std::uint32_t>(pool_.size()), static_cast<std::uint32_t>(text.size())});
    pool_.append(text);
    slots_[i] = high | (id + 1);
    return id;
}

std::uint32_t ContactStore::InternShape(const std::array<std::string_view, 5>& pieces) {
    auto hashOf = [](const std::array<std::string_view, 5>& p) {
        std::uint64_t h = 0;
        for (std::string_view piece : p) h = HashText(piece, h);
        return h;
    };
    auto piecesOf = [this](const Shape& shape) {
        std::array<std::string_view, 5> p;
        for (std::size_t k = 0; k < 5; ++k) p[k] = texts_.At(shape[k]);
        return p;
    };
    if ((shapes_.size() + 1) * 2 > shapeSlots_.size()) {
        std::vector<std::uint64_t> old = std::move(shapeSlots_);
        shapeSlots_.assign(old.empty() ? 64 : old.size() * 2, 0);
        const std::size_t mask = shapeSlots_.size() - 1;
        for (const std::uint64_t slot : old) {
            if (slot == 0) continue;
            auto i = static_cast<std::size_t>(hashOf(piecesOf(shapes_[static_cast<std::uint32_t>(slot) - 1])) & mask);
            while (shapeSlots_[i] != 0) i = (i + 1) & mask;
            shapeSlots_[i] = slot;
        }
    }
    const std::uint64_t hash = hashOf(pieces), high = hash & kHighHalf;
    const std::size_t mask = shapeSlots_.size() - 1;
    auto i = static_cast<std::size_t>(hash & mask);
    for (; shapeSlots_[i] != 0; i = (i + 1) & mask) {
        const std::uint64_t slot = shapeSlots_[i];
        if ((slot & kHighHalf) == high &&
            piecesOf(shapes_[static_cast<std::uint32_t>(slot) - 1]) == pieces)
            return static_cast<std::uint32_t>(slot) - 1;
    }
    if (shapes_.size() >= 0xFFFFFFFEu) throw std::runtime_error("too many distinct contacts");
    Shape shape;
    for (std::size_t k = 0; k < 5; ++k) shape[k] = texts_.Intern(pieces[k]);
    const auto id = static_cast<std::uint32_t>(shapes_.size());
    shapes_.push_back(shape);
    shapeSlots_[i] = high | (id + 1);
    return id;
}

void ContactStore::Contact(const contestlog::ContactView& e) {
    if (size_ >= 0xFFFFFFFFu) throw std::runtime_error("more than 4,294,967,295 contacts");
    if (size_ % kEntriesPerChunk == 0)
        entries_.push_back(std::unique_ptr<Entry[]>(new Entry[kEntriesPerChunk]));
    Entry& entry = entries_.back()[size_ % kEntriesPerChunk];
    const std::string_view call = e.call.substr(0, 0xFFFF);
    entry.callLength = static_cast<std::uint16_t>(call.size());
    std::memset(entry.head, 0, sizeof entry.head);
    std::memcpy(entry.head, call.data(), call.size() < 8 ? call.size() : 8);
    entry.tail = 0;
    if (call.size() > 8) {
        constexpr std::size_t kBlock = std::size_t{1} << kBlockBits;
        if (blockUsed_ + call.size() > kBlock) {
            if (blocks_.size() >= (std::size_t{1} << (32 - kBlockBits)))
                throw std::runtime_error("call signs beyond 4 GiB");
            blocks_.push_back(std::unique_ptr<char[]>(new char[kBlock]));
            blockUsed_ = 0;
        }
        std::memcpy(blocks_.back().get() + blockUsed_, call.data(), call.size());
        entry.tail = static_cast<std::uint32_t>((blocks_.size() - 1) << kBlockBits | blockUsed_);
        blockUsed_ += call.size();
    }
    entry.report = texts_.Intern(e.report);
    entry.shape = InternShape({e.band, e.mode, e.dxcc, e.mainPrefix, e.continent});
    if (e.dxcc.empty()) ++withoutCountry_;
    ++size_;
    if (keepPlaces_) places_.push_back(e.place);
}

std::string_view ContactStore::CallAt(std::size_t index) const noexcept {
    const Entry& e = EntryAt(index);
    if (e.callLength <= 8) return {e.head, e.callLength};
    return {blocks_[e.tail >> kBlockBits].get() + (e.tail & ((1u << kBlockBits) - 1)), e.callLength};
}

contestlog::ContactView ContactStore::ViewOf(const Entry& e) const noexcept {
    const std::string_view call =
        e.callLength <= 8
            ? std::string_view(e.head, e.callLength)
            : std::string_view(blocks_[e.tail >> kBlockBits].get() + (e.tail & ((1u << kBlockBits) - 1)),
                               e.callLength);
    const Shape& s = shapes_[e.shape];
    return {call,           texts_.At(s[0]), texts_.At(s[1]), texts_.At(e.report),
            texts_.At(s[2]), texts_.At(s[3]), texts_.At(s[4])};
}

contestlog::ContactView ContactStore::At(std::size_t index) const noexcept {
    return ViewOf(EntryAt(index));
}

void ContactStore::Gather(const std::uint32_t* indexes, std::size_t count,
                          contestlog::ContactView* out) const noexcept {
#if defined(__GNUC__)
    for (std::size_t k = 0; k < count; ++k) __builtin_prefetch(&EntryAt(indexes[k]));
#endif
    for (std::size_t k = 0; k < count; ++k) out[k] = ViewOf(EntryAt(indexes[k]));
}

std::size_t ContactStore::PlaceAt(std::size_t index) const noexcept {
    return keepPlaces_ ? places_[index] : 0;
}

std::vector<std::uint32_t> ContactStore::CallSignOrder() const {
    // A stable radix sort on the calls' first eight bytes (one counting pass
    // for all eight digits; passes over bytes all calls share are skipped),
    // then runs with equal first eight bytes sorted by the whole call,
    // stable too.
    struct Key {
        std::uint64_t prefix;
        std::uint32_t index;
    };
    const std::size_t n = size_;
    std::vector<Key> keys(n), spare(n);
    std::vector<std::array<std::uint32_t, 256>> counts(8);
    for (auto& c : counts) c.fill(0);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t prefix = PrefixOf(std::string_view(EntryAt(i).head, 8));
        keys[i] = {prefix, static_cast<std::uint32_t>(i)};
        for (unsigned d = 0; d < 8; ++d) ++counts[d][(prefix >> (8 * d)) & 0xFF];
    }
    for (unsigned d = 0; d < 8 && n > 0; ++d) {
        auto& count = counts[d];
        const unsigned shift = 8 * d;
        if (count[(keys[0].prefix >> shift) & 0xFF] == n) continue;
        std::uint32_t sum = 0;
        for (std::uint32_t& c : count) {
            const std::uint32_t here = c;
            c = sum;
            sum += here;
        }
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

    // In call-sign order the contacts are spread over the store: a batch is
    // fetched at a time, its loads overlapping, then scored.
    constexpr std::size_t kBatch = 256;
    std::vector<contestlog::ContactView> batch(kBatch);
    std::uint32_t indexes[kBatch];
    contestlog::ContactView stored;  // what the record holds now
    bool any = false;
    for (std::size_t n = 0; n < count; ++n) {
        const std::size_t inBatch = n % kBatch;
        if (inBatch == 0) {
            const std::size_t size = count - n < kBatch ? count - n : kBatch;
            if (order) {
                store.Gather(order->data() + n, size, batch.data());
            } else {
                for (std::size_t k = 0; k < size; ++k) indexes[k] = static_cast<std::uint32_t>(n + k);
                store.Gather(indexes, size, batch.data());
            }
        }
        const std::size_t index = order ? (*order)[n] : n;
        // As StoreLogRow stores a log row; a text the record holds already
        // (the same pooled bytes) is not stored again.
        const contestlog::ContactView& c = batch[inBatch];
        auto same = [any](std::string_view a, std::string_view b) {
            return any && a.data() == b.data() && a.size() == b.size();
        };
        StoreShortText(record->CallSign, c.call);
        if (!same(c.band, stored.band)) StoreShortText(record->DigiBand, c.band);
        if (!same(c.mode, stored.mode)) StoreShortText(record->QSOMode, c.mode);
        if (!same(c.report, stored.report)) StoreShortText(record->QSOReportRecived, c.report);
        if (!same(c.dxcc, stored.dxcc)) StoreShortText(record->DXCCPrefix, c.dxcc);
        if (!same(c.mainPrefix, stored.mainPrefix)) StoreShortText(record->MainPrefix, c.mainPrefix);
        if (!same(c.continent, stored.continent)) {
            StoreShortText(record->Continent, c.continent);
            for (unsigned i = 1; i <= record->Continent.bytes[0]; ++i) {
                unsigned char& ch = record->Continent.bytes[i];
                if (ch >= 'a' && ch <= 'z') ch = static_cast<unsigned char>(ch - 'a' + 'A');
            }
        }
        stored = c;
        any = true;
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
