#include "scoring/ScoreBook.h"

#include "scoring/ContactPoints.h"
#include "scoring/Text.h"

namespace yol {

// ---- district codes ----------------------------------------------------------

std::string_view DistrictCode(std::string_view report, char (&code)[4]) noexcept {
    // Upper-casing first or trimming first comes to the same: neither changes
    // what the other looks at.
    std::string_view text = TrimControls(report);
    text = text.substr(0, text.find('\0'));
    if (text.size() < 4) return {};
    for (std::size_t i = 0; i < 4; ++i) {
        const char c = UpperAscii(text[text.size() - 4 + i]);
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

TScoreBook::Lookup TScoreBook::Find(std::string_view call, std::string_view band,
                                     std::string_view mode, bool needPlace) const {
    Lookup found{tallyOfBand_.Find(band), modeIds_.Find(mode), {}, false};
    // A band or mode never recorded cannot be a duplicate; the list is
    // searched only when it could be, or when the caller needs the place.
    const bool known = found.band != TextTable::kMissing && found.mode != TextTable::kMissing;
    if (known || needPlace) found.at = contacts_.LowerBound(call);
    found.duplicate = known && contacts_.RunContains(found.at, call, found.band, found.mode);
    return found;
}

bool TScoreBook::IsDuplicate(const ContactRecord& contact) const {
    return Find(ReadShortText(contact.CallSign), ReadShortText(contact.DigiBand),
                ReadShortText(contact.QSOMode), false)
        .duplicate;
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

    const Lookup found = Find(call, band, mode, recordMode);
    if (found.duplicate) return -1;
    if (!recordMode) return ContactPoints(contact);

    std::uint32_t bandId = found.band;
    std::uint32_t modeId = found.mode;

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

    contacts_.InsertAt(found.at, call, bandId, modeId);
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
