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
    blocks_.clear();
    blockUsed_ = kBlock;
    size_ = 0;
}

std::string_view ContactList::CallOf(const Entry& e) const noexcept {
    return {blocks_[e.text / kBlock].get() + e.text % kBlock, e.length};
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
    // The first chunk whose last entry is not below the call sign holds the
    // first entry that is not below it.
    const auto chunk = std::partition_point(chunks_.begin(), chunks_.end(), [&](const auto& c) {
        return CallOf(c.back()) < callSign;
    });
    if (chunk == chunks_.end()) return {chunks_.size(), 0};
    const auto entry = std::partition_point(chunk->begin(), chunk->end(), [&](const Entry& e) {
        return CallOf(e) < callSign;
    });
    return {static_cast<std::size_t>(chunk - chunks_.begin()),
            static_cast<std::size_t>(entry - chunk->begin())};
}

bool ContactList::Contains(std::string_view callSign, std::uint32_t band, std::uint32_t mode) const {
    Position p = LowerBound(callSign);
    // Walk the run of this call sign, which may reach into following chunks.
    for (; p.chunk < chunks_.size(); ++p.chunk, p.index = 0) {
        const auto& c = chunks_[p.chunk];
        for (; p.index < c.size(); ++p.index) {
            const Entry& e = c[p.index];
            if (CallOf(e) != callSign) return false;
            if (e.band == band && e.mode == mode) return true;
        }
    }
    return false;
}

void ContactList::Insert(std::string_view callSign, std::uint32_t band, std::uint32_t mode) {
    const Entry entry{StoreText(callSign), band, mode, static_cast<std::uint8_t>(callSign.size())};
    Position p = LowerBound(callSign);
    if (p.chunk == chunks_.size()) {
        // Beyond every entry: append. A full last chunk is not split but
        // followed by a new one, so a log read in call-sign order packs tightly.
        if (chunks_.empty() || chunks_.back().size() == kChunk) {
            chunks_.emplace_back().reserve(kChunk);
        }
        chunks_.back().push_back(entry);
        ++size_;
        return;
    }
    auto& chunk = chunks_[p.chunk];
    if (chunk.size() == kChunk) {
        std::vector<Entry> upper;
        upper.reserve(kChunk);
        upper.assign(chunk.begin() + kChunk / 2, chunk.end());
        chunk.resize(kChunk / 2);
        chunks_.insert(chunks_.begin() + static_cast<std::ptrdiff_t>(p.chunk) + 1, std::move(upper));
        if (p.index > kChunk / 2) {
            ++p.chunk;
            p.index -= kChunk / 2;
        }
    }
    auto& target = chunks_[p.chunk];
    target.insert(target.begin() + static_cast<std::ptrdiff_t>(p.index), entry);
    ++size_;
}

void ContactList::ForEach(
    const std::function<void(std::string_view, std::uint32_t, std::uint32_t)>& fn) const {
    for (const auto& c : chunks_)
        for (const Entry& e : c) fn(CallOf(e), e.band, e.mode);
}

// ---- TScoreBook ------------------------------------------------------------

namespace {

constexpr char kKeySep = '|';

std::string MultiplierKey(std::string_view band, std::string_view value) {
    std::string key;
    key.reserve(band.size() + value.size() + 2);
    key.append(band).push_back(kKeySep);
    key.append(value).push_back(kKeySep);
    return FoldCase(key);
}

}  // namespace

std::string DistrictCode(std::string_view report) {
    const std::string upper = UpperAscii(report);
    std::string_view text = TrimControls(upper);
    text = text.substr(0, text.find('\0'));
    if (text.size() < 4) return {};
    const std::string_view code = text.substr(text.size() - 4);
    for (char c : code)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return {};
    return std::string(code);
}

std::uint32_t TScoreBook::FindId(const TextMap<std::uint32_t>& ids, std::string_view text) const {
    const auto it = ids.find(text);
    return it == ids.end() ? kNone : it->second;
}

bool TScoreBook::IsDuplicate(const ContactRecord& contact) const {
    const std::uint32_t band = FindId(tallyOfBand_, ReadShortText(contact.DigiBand));
    const std::uint32_t mode = FindId(modeIds_, ReadShortText(contact.QSOMode));
    // A band or mode never recorded cannot be a duplicate.
    if (band == kNone || mode == kNone) return false;
    return contacts_.Contains(ReadShortText(contact.CallSign), band, mode);
}

std::int32_t TScoreBook::Evaluate(const ContactRecord& contact, bool recordMode) {
    if (IsDuplicate(contact)) return -1;
    if (!recordMode) return ContactPoints(contact);

    const std::string_view band = ReadShortText(contact.DigiBand);
    const std::string_view mode = ReadShortText(contact.QSOMode);

    auto [tallyIt, newBand] =
        tallyOfBand_.try_emplace(std::string(band), static_cast<std::uint32_t>(tallies_.size()));
    if (newBand) tallies_.push_back(TStatistic{std::string(band)});
    auto [modeIt, newMode] =
        modeIds_.try_emplace(std::string(mode), static_cast<std::uint32_t>(modeNames_.size()));
    if (newMode) modeNames_.emplace_back(mode);
    contacts_.Insert(ReadShortText(contact.CallSign), tallyIt->second, modeIt->second);

    TStatistic& tally = tallies_[tallyIt->second];
    const std::int32_t points = ContactPoints(contact);
    tally.QSOs += 1;
    tally.Points += points;

    // Country multipliers only for a home operator, tested on the prefix
    // exactly as stored (no upper-casing, no trimming).
    if (IsHomePrefix(ReadShortText(contact.MyDXCCPrefix))) {
        if (countryKeys_.insert(MultiplierKey(band, ReadShortText(contact.DXCCPrefix))).second)
            tally.Countries += 1;
    }
    const std::string code = DistrictCode(ReadShortText(contact.QSOReportRecived));
    if (!code.empty() && districtKeys_.insert(MultiplierKey(band, code)).second)
        tally.Districts += 1;
    return points;
}

void TScoreBook::Clear() {
    contacts_.Clear();
    tallies_.clear();
    tallyOfBand_.clear();
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
