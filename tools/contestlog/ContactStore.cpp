#include "contestlog/ContactStore.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <unordered_map>

#include "scoring/ContactList.h"
#include "scoring/Report.h"

namespace yol::contestlog {
namespace {

void AppendPiece(std::string& key, std::string_view text) {
    const auto n = static_cast<std::uint32_t>(text.size());
    key.append(reinterpret_cast<const char*>(&n), sizeof n);
    key.append(text);
}

}  // namespace

ContactStore::ContactStore(bool keepPlaces) : keepPlaces_(keepPlaces) {}

void ContactStore::Station(std::string_view callSign) { header_.Station(callSign); }

void ContactStore::Header(std::string_view name, std::string_view value) { header_.Take(name, value); }

void ContactStore::Problem(const LogProblem& problem) {
    ++(problem.severity == Severity::Rejected ? rejected_ : notes_);
    if (onProblem) onProblem(problem);
}

// Pieces and shapes are few (a few thousand in a big log): a shape is
// looked up once per contact by its texts, and only a new one has its
// pieces numbered.
std::uint32_t ContactStore::InternShape(const std::array<std::string_view, 5>& pieces) {
    shapeKey_.clear();
    for (const std::string_view piece : pieces) AppendPiece(shapeKey_, piece);
    const auto [id, added] = shapeKeys_.Intern(shapeKey_);
    if (added) {
        Shape shape;
        for (std::size_t k = 0; k < 5; ++k) shape[k] = texts_.Intern(pieces[k]).first;
        shapes_.push_back(shape);
    }
    return id;
}

void ContactStore::Contact(const ContactView& e) {
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
    entry.report = texts_.Intern(e.report).first;
    entry.shape = InternShape({e.band, e.mode, e.dxcc, e.mainPrefix, e.continent});
    if (e.dxcc.empty()) ++withoutCountry_;
    ++size_;
    if (keepPlaces_) places_.push_back(e.place);
}

std::string_view ContactStore::CallOf(const Entry& e) const noexcept {
    if (e.callLength <= 8) return {e.head, e.callLength};
    return {blocks_[e.tail >> kBlockBits].get() + (e.tail & ((1u << kBlockBits) - 1)), e.callLength};
}

std::string_view ContactStore::CallAt(std::size_t index) const noexcept {
    return CallOf(EntryAt(index));
}

ContactView ContactStore::ViewOf(const Entry& e) const noexcept {
    const Shape& s = shapes_[e.shape];
    ContactView view;
    view.call = CallOf(e);
    view.band = texts_.At(s[0]);
    view.mode = texts_.At(s[1]);
    view.report = texts_.At(e.report);
    view.dxcc = texts_.At(s[2]);
    view.mainPrefix = texts_.At(s[3]);
    view.continent = texts_.At(s[4]);
    return view;
}

ContactView ContactStore::At(std::size_t index) const noexcept {
    return ViewOf(EntryAt(index));
}

void ContactStore::Gather(const std::uint32_t* indexes, std::size_t count,
                          ContactView* out) const noexcept {
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
        const std::uint64_t prefix = ContactList::KeyOf(CallOf(EntryAt(i))).prefix;
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

// ---- scoring -----------------------------------------------------------------

namespace {

// The contacts in the order given (file order without one), each stored into
// one record as the recalculation stores a log row (StoreLogRow), the
// operator's prefix and continent set once, and handed to
// score(n, index in the store, record).
template <class Score>
void ForEachRecord(const ContactStore& store, const std::vector<std::uint32_t>* order, std::string_view myPrefix,
                   std::string_view myContinent, Score&& score) {
    auto record = std::make_unique<ContactRecord>();
    StoreShortText(record->MyDXCCPrefix, myPrefix);
    StoreShortText(record->MyContinent, myContinent);
    const std::size_t count = order ? order->size() : store.Size();
    // In call-sign order the contacts are spread over the store: a batch is
    // fetched at a time, its loads overlapping, then scored.
    constexpr std::size_t kBatch = 256;
    std::vector<ContactView> batch(kBatch);
    std::uint32_t indexes[kBatch];
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
        StoreLogRow(*record, batch[inBatch]);
        score(n, order ? (*order)[n] : n, *record);
    }
}

}  // namespace

std::size_t ScoreContacts(const ContactStore& store, const std::vector<std::uint32_t>* order,
                          std::string_view myPrefix, std::string_view myContinent,
                          TScoreBook& book, const std::function<void(const AuditEntry&)>& audit) {
    std::size_t duplicates = 0;
    if (!audit) {
        ForEachRecord(store, order, myPrefix, myContinent, [&](std::size_t, std::size_t, const ContactRecord& record) {
            if (book.Evaluate(record, true) < 0) ++duplicates;
        });
        return duplicates;
    }
    // Where each band's tally is and where each recorded call/band/mode was
    // first logged.
    std::unordered_map<std::string, std::size_t> tallyOfBand, firstPlace;
    std::string key;
    char code[4];
    ForEachRecord(store, order, myPrefix, myContinent, [&](std::size_t, std::size_t index, const ContactRecord& record) {
        AuditEntry a;
        a.place = store.PlaceAt(index);
        a.call = ReadShortText(record.CallSign);
        a.band = ReadShortText(record.DigiBand);
        a.mode = ReadShortText(record.QSOMode);
        const auto tally = tallyOfBand.find(std::string(a.band));
        TStatistic before;
        if (tally != tallyOfBand.end()) before = book.Tallies()[tally->second];
        a.points = book.Evaluate(record, true);
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
                a.newDistrict = DistrictCode(ReadShortText(record.QSOReportRecived), code);
            if (after.Countries > before.Countries) {
                a.newCountry = true;
                a.country = ReadShortText(record.DXCCPrefix);
            }
        }
        audit(a);
    });
    return duplicates;
}

std::size_t ScoreContactNumbers(const ContactStore& store, const std::vector<std::uint32_t>* order,
                                std::string_view myPrefix, std::string_view myContinent, TScoreBook& book,
                                const std::function<void(const ContactScore&)>& each) {
    std::size_t duplicates = 0;
    // A contact's new multipliers are the keys it added to the book: a
    // district or country counted once per band is one key.
    auto keys = [&book] { return book.DistrictKeyCount() + book.CountryKeyCount(); };
    ForEachRecord(store, order, myPrefix, myContinent, [&](std::size_t n, std::size_t, const ContactRecord& record) {
        const std::size_t before = keys();
        const std::int32_t points = book.Evaluate(record, true);
        if (points < 0) ++duplicates;
        each({n, points, static_cast<std::int32_t>(keys() - before)});
    });
    return duplicates;
}

}  // namespace yol::contestlog
