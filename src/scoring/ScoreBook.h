// The score book: contacts made so far, one tally per band, and the
// multipliers already counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "host/Plugin.h"
#include "scoring/ContactList.h"
#include "scoring/KeyTables.h"

namespace yol {

// One band's tally.
struct TStatistic {
    std::string Band;            // the DigiBand text of the contact that created it
    std::int32_t QSOs = 0;
    std::int32_t Points = 0;
    std::int32_t Districts = 0;  // YOL district multipliers
    std::int32_t Countries = 0;  // DXCC multipliers
};

// One recorded contact, as read back from the contact list.
struct TQSO {
    std::string_view CallSign;
    std::string_view DigiBand;
    std::string_view QSOMode;
};

class TScoreBook {
public:
    // Returns -1 for a duplicate, otherwise the contact's points. Without
    // recordMode nothing in the book changes.
    std::int32_t Evaluate(const ContactRecord& contact, bool recordMode);

    // True when a recorded contact has the same call sign, band and mode,
    // each compared byte for byte.
    bool IsDuplicate(const ContactRecord& contact) const;

    void Clear();

    const std::vector<TStatistic>& Tallies() const noexcept { return tallies_; }
    std::size_t ContactCount() const noexcept { return contacts_.Size(); }
    std::size_t DistrictKeyCount() const noexcept { return districtKeys_.size(); }
    std::size_t CountryKeyCount() const noexcept { return countryKeys_.size(); }

    // The recorded contacts in call-sign order.
    void ForEachContact(const std::function<void(const TQSO&)>& fn) const;

private:
    // The contact's band and mode ids (kMissing when never recorded), its
    // place in the contact list (when asked for, or when it could be a
    // duplicate) and whether it is one.
    struct Lookup {
        std::uint32_t band;
        std::uint32_t mode;
        ContactList::Position at;
        bool duplicate;
    };
    Lookup Find(std::string_view call, std::string_view band, std::string_view mode,
                bool needPlace) const;
    void CountMultiplier(TextTable& keys, std::string_view band, std::string_view value,
                         std::int32_t& counter);

    ContactList contacts_;
    std::vector<TStatistic> tallies_;          // in the order bands were first recorded
    TextTable tallyOfBand_;                    // band text -> index into tallies_
    // District keys compare the band without regard to letter case and the
    // code is always four of A-Z and 0-9: a key is the band's folded id with
    // the code packed beside it.
    TextTable foldedBandIds_;                  // folded band text -> id
    std::vector<std::uint32_t> tallyFoldedBand_;  // per tally: its folded band id
    TextTable modeIds_;                        // mode text -> id
    std::vector<std::string> modeNames_;
    NumberSet districtKeys_;                   // folded band id and code
    TextTable countryKeys_;                    // folded band|prefix|
    std::string key_;                          // scratch for forming keys
};

// The district code a received report carries: its last four characters when
// the report, upper-cased and trimmed, ends in four of A-Z and 0-9. The report
// counts up to its first NUL. Empty when there is none.
std::string_view DistrictCode(std::string_view report, char (&code)[4]) noexcept;
std::string DistrictCode(std::string_view report);

}  // namespace yol
