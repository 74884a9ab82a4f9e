#include "scoring/ScoreBook.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "scoring/ContactPoints.h"
#include "scoring/Text.h"

namespace yol {

// ---- ContactList -----------------------------------------------------------

ContactList::ContactList() = default;
ContactList::~ContactList() = default;

void ContactList::Clear() noexcept {
    chunks_.clear();
    lastPrefix_.clear();
    blocks_.clear();
    blockUsed_ = kBlock;
    size_ = 0;
}

ContactList::Key ContactList::KeyOf(std::string_view callSign) noexcept {
    unsigned char bytes[8] = {};
    std::memcpy(bytes, callSign.data(), callSign.size() < 8 ? callSign.size() : 8);
    std::uint64_t prefix = 0;
    for (unsigned char b : bytes) prefix = (prefix << 8) | b;  // big-endian: orders as the bytes do
    return {prefix, callSign};
}

std::string_view ContactList::CallOf(const Entry& e) const noexcept {
    return {blocks_[e.text / kBlock].get() + e.text % kBlock, e.length};
}

int ContactList::Compare(const Entry& e, const Key& key) const noexcept {
    if (e.prefix != key.prefix) return e.prefix < key.prefix ? -1 : 1;
    // Equal first eight bytes: two texts of at most eight bytes differ only
    // by trailing zero bytes, so the shorter sorts first.
    if (e.length <= 8 && key.text.size() <= 8)
        return e.length == key.text.size() ? 0 : (e.length < key.text.size() ? -1 : 1);
    return CallOf(e).compare(key.text);
}

std::uint32_t ContactList::StoreText(std::string_view text) {
    // Call signs come from a ShortText, so one always fits in a block.
    if (blockUsed_ + text.size() > kBlock) {
        if (blocks_.size() >= UINT32_MAX / kBlock) throw std::length_error("contact list is full");
        blocks_.push_back(std::make_unique<char[]>(kBlock));
        blockUsed_ = 0;
    }
    const auto at = static_cast<std::uint32_t>((blocks_.size() - 1) * kBlock + blockUsed_);
    if (!text.empty()) std::memcpy(blocks_.back().get() + blockUsed_, text.data(), text.size());
    blockUsed_ += text.size();
    return at;
}

ContactList::Position ContactList::LowerBound(std::string_view callSign) const {
    const Key key = KeyOf(callSign);
    if (chunks_.empty()) return {0, 0};
    // A log read in call-sign order always lands behind the last entry.
    if (Compare(chunks_.back().back(), key) < 0) return {chunks_.size(), 0};

    // The first chunk whose last entry is not below the key holds the first
    // entry that is not below it.
    std::size_t lo = 0, hi = chunks_.size() - 1;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        const bool below = lastPrefix_[mid] != key.prefix ? lastPrefix_[mid] < key.prefix
                                                          : Compare(chunks_[mid].back(), key) < 0;
        if (below) lo = mid + 1;
        else hi = mid;
    }
    const auto& chunk = chunks_[lo];
    const auto entry = std::partition_point(chunk.begin(), chunk.end(),
                                            [&](const Entry& e) { return Compare(e, key) < 0; });
    return {lo, static_cast<std::size_t>(entry - chunk.begin())};
}

bool ContactList::RunContains(Position p, std::string_view callSign, std::uint32_t band,
                              std::uint32_t mode) const {
    const Key key = KeyOf(callSign);
    // The run of one call sign may reach into the following chunks.
    for (; p.chunk < chunks_.size(); ++p.chunk, p.index = 0) {
        const auto& c = chunks_[p.chunk];
        for (; p.index < c.size(); ++p.index) {
            const Entry& e = c[p.index];
            if (Compare(e, key) != 0) return false;
            if (e.band == band && e.mode == mode) return true;
        }
    }
    return false;
}

void ContactList::InsertAt(Position p, std::string_view callSign, std::uint32_t band,
                           std::uint32_t mode) {
    const Key key = KeyOf(callSign);
    const Entry entry{key.prefix, StoreText(callSign), band, mode,
                      static_cast<std::uint8_t>(callSign.size())};
    if (p.chunk == chunks_.size()) {
        // Behind every entry: append. A full last chunk is not split but
        // followed by a new one, so a log read in call-sign order packs tightly.
        if (chunks_.empty() || chunks_.back().size() == kChunk) {
            chunks_.emplace_back().reserve(kChunk);
            lastPrefix_.push_back(0);
        }
        chunks_.back().push_back(entry);
        lastPrefix_.back() = entry.prefix;
        ++size_;
        return;
    }
    if (chunks_[p.chunk].size() == kChunk) {
        auto& full = chunks_[p.chunk];
        std::vector<Entry> upper;
        upper.reserve(kChunk);
        upper.assign(full.begin() + kChunk / 2, full.end());
        full.resize(kChunk / 2);
        const std::uint64_t lowerLast = full.back().prefix;
        const auto at = static_cast<std::ptrdiff_t>(p.chunk) + 1;
        chunks_.insert(chunks_.begin() + at, std::move(upper));
        lastPrefix_.insert(lastPrefix_.begin() + at - 1, lowerLast);
        if (p.index > kChunk / 2) {
            ++p.chunk;
            p.index -= kChunk / 2;
        }
    }
    auto& target = chunks_[p.chunk];
    target.insert(target.begin() + static_cast<std::ptrdiff_t>(p.index), entry);
    lastPrefix_[p.chunk] = target.back().prefix;
    ++size_;
}

void ContactList::ForEach(
    const std::function<void(std::string_view, std::uint32_t, std::uint32_t)>& fn) const {
    for (const auto& c : chunks_)
        for (const Entry& e : c) fn(CallOf(e), e.band, e.mode);
}

// ---- TextTable -----------------------------------------------------------------

void TextTable::clear() noexcept {
    slots_.clear();
    pool_.clear();
    count_ = 0;
}

std::uint32_t TextTable::Hash(std::string_view text) noexcept {
    std::uint32_t h = 2166136261u;  // FNV-1a: short texts, inline
    for (char c : text) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    return h | 1u;
}

std::size_t TextTable::Probe(std::string_view text, std::uint32_t hash) const noexcept {
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = hash & mask;
    for (; slots_[i].hash != 0; i = (i + 1) & mask) {
        const Slot& s = slots_[i];
        if (s.hash == hash && std::string_view(pool_).substr(s.offset, s.length) == text) break;
    }
    return i;
}

std::uint32_t TextTable::Find(std::string_view text) const noexcept {
    if (slots_.empty()) return kMissing;
    const Slot& s = slots_[Probe(text, Hash(text))];
    return s.hash != 0 ? s.id : kMissing;
}

std::pair<std::uint32_t, bool> TextTable::Intern(std::string_view text) {
    if ((count_ + 1) * 2 > slots_.size()) Grow();  // at most half full
    const std::uint32_t hash = Hash(text);
    Slot& s = slots_[Probe(text, hash)];
    if (s.hash != 0) return {s.id, false};
    if (pool_.size() + text.size() > UINT32_MAX || count_ == kMissing)
        throw std::length_error("too many texts");
    s = Slot{hash, count_, static_cast<std::uint32_t>(pool_.size()),
             static_cast<std::uint32_t>(text.size())};
    pool_.append(text);
    return {count_++, true};
}

void TextTable::Grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 16 : old.size() * 2, Slot{0, 0, 0, 0});
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& s : old) {
        if (s.hash == 0) continue;
        std::size_t i = s.hash & mask;
        while (slots_[i].hash != 0) i = (i + 1) & mask;
        slots_[i] = s;
    }
}

// ---- NumberSet ---------------------------------------------------------------

void NumberSet::clear() noexcept {
    slots_.clear();
    count_ = 0;
}

namespace {
std::size_t Mix(std::uint64_t v) noexcept {
    v ^= v >> 33;
    v *= 0xff51afd7ed558ccdULL;
    v ^= v >> 33;
    return static_cast<std::size_t>(v);
}
}  // namespace

void NumberSet::Grow() {
    std::vector<std::uint64_t> old = std::move(slots_);
    slots_.assign(old.empty() ? 64 : old.size() * 2, 0);
    const std::size_t mask = slots_.size() - 1;
    for (std::uint64_t stored : old) {
        if (stored == 0) continue;
        std::size_t i = Mix(stored) & mask;
        while (slots_[i] != 0) i = (i + 1) & mask;
        slots_[i] = stored;
    }
}

void NumberSet::Prefetch(std::uint64_t value) const noexcept {
#if defined(__GNUC__)
    if (!slots_.empty()) __builtin_prefetch(&slots_[Mix(value + 1) & (slots_.size() - 1)]);
#else
    (void)value;
#endif
}

bool NumberSet::Insert(std::uint64_t value) {
    if ((count_ + 1) * 2 > slots_.size()) Grow();  // at most half full
    const std::uint64_t stored = value + 1;
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = Mix(stored) & mask;
    for (; slots_[i] != 0; i = (i + 1) & mask)
        if (slots_[i] == stored) return false;
    slots_[i] = stored;
    ++count_;
    return true;
}

// ---- district codes ----------------------------------------------------------

std::string_view DistrictCode(std::string_view report, char (&code)[4]) noexcept {
    // Upper-casing first or trimming first comes to the same: neither changes
    // what the other looks at.
    std::string_view text = TrimControls(report);
    text = text.substr(0, text.find('\0'));
    if (text.size() < 4) return {};
    for (std::size_t i = 0; i < 4; ++i) {
        char c = text[text.size() - 4 + i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return {};
        code[i] = c;
    }
    return {code, 4};
}

std::string DistrictCode(std::string_view report) {
    char code[4];
    return std::string(DistrictCode(report, code));
}

// ---- TScoreBook ------------------------------------------------------------

bool TScoreBook::IsDuplicate(const ContactRecord& contact) const {
    const std::uint32_t band = tallyOfBand_.Find(ReadShortText(contact.DigiBand));
    const std::uint32_t mode = modeIds_.Find(ReadShortText(contact.QSOMode));
    // A band or mode never recorded cannot be a duplicate.
    if (band == TextTable::kMissing || mode == TextTable::kMissing) return false;
    const std::string_view call = ReadShortText(contact.CallSign);
    return contacts_.RunContains(contacts_.LowerBound(call), call, band, mode);
}

void TScoreBook::CountMultiplier(TextTable& keys, std::string_view band, std::string_view value,
                                 std::int32_t& counter) {
    key_.assign(band).push_back('|');
    key_.append(value).push_back('|');
    FoldCaseInPlace(key_);  // keys compare without regard to letter case
    if (keys.Intern(key_).second) counter += 1;
}

std::int32_t TScoreBook::Evaluate(const ContactRecord& contact, bool recordMode) {
    const std::string_view call = ReadShortText(contact.CallSign);
    const std::string_view band = ReadShortText(contact.DigiBand);
    const std::string_view mode = ReadShortText(contact.QSOMode);

    std::uint32_t bandId = tallyOfBand_.Find(band);
    std::uint32_t modeId = modeIds_.Find(mode);
    const bool known = bandId != TextTable::kMissing && modeId != TextTable::kMissing;
    const ContactList::Position at = known || recordMode ? contacts_.LowerBound(call)
                                                         : ContactList::Position{};
    if (known && contacts_.RunContains(at, call, bandId, modeId)) return -1;
    if (!recordMode) return ContactPoints(contact);

    if (bandId == TextTable::kMissing) {
        bandId = tallyOfBand_.Intern(band).first;  // numbered as the tallies are
        tallies_.push_back(TStatistic{std::string(band)});
        tallyFoldedBand_.push_back(foldedBandIds_.Intern(FoldCase(band)).first);
    }
    if (modeId == TextTable::kMissing) {
        modeId = modeIds_.Intern(mode).first;
        modeNames_.emplace_back(mode);
    }
    // The district key's slot is fetched from memory while the rest is done.
    char code[4];
    const std::string_view district = DistrictCode(ReadShortText(contact.QSOReportRecived), code);
    std::uint64_t districtKey = 0;
    if (!district.empty()) {
        std::uint32_t packed = 0;
        for (char ch : district) packed = (packed << 8) | static_cast<unsigned char>(ch);
        districtKey = (static_cast<std::uint64_t>(tallyFoldedBand_[bandId]) << 32) | packed;
        districtKeys_.Prefetch(districtKey);
    }

    contacts_.InsertAt(at, call, bandId, modeId);
    TStatistic& tally = tallies_[bandId];
    const std::int32_t points = ContactPoints(contact);
    tally.QSOs += 1;
    tally.Points += points;

    // Country multipliers only for a home operator, tested on the prefix
    // exactly as stored (no upper-casing, no trimming).
    if (IsHomePrefix(ReadShortText(contact.MyDXCCPrefix)))
        CountMultiplier(countryKeys_, band, ReadShortText(contact.DXCCPrefix), tally.Countries);
    if (!district.empty() && districtKeys_.Insert(districtKey)) tally.Districts += 1;
    return points;
}

void TScoreBook::Clear() {
    contacts_.Clear();
    tallies_.clear();
    tallyOfBand_.clear();
    foldedBandIds_.clear();
    tallyFoldedBand_.clear();
    modeIds_.clear();
    modeNames_.clear();
    districtKeys_.clear();
    countryKeys_.clear();
}

void TScoreBook::ForEachContact(const std::function<void(const TQSO&)>& fn) const {
    contacts_.ForEach([&](std::string_view call, std::uint32_t band, std::uint32_t mode) {
        fn(TQSO{call, tallies_[band].Band, modeNames_[mode]});
    });
}

}  // namespace yol
