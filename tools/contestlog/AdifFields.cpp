#include "contestlog/AdifFields.h"

#include "contestlog/Bands.h"
#include "contestlog/LogReaderImpl.h"
#include "contestlog/Text.h"

namespace yol::contestlog::detail {

namespace {
// `name` equals `lower` (lower-case letters, digits, '_') in any case.
bool IsField(std::string_view name, std::string_view lower) noexcept {
    for (std::size_t i = 0; i < lower.size(); ++i) {
        const char c = lower[i];
        const char folded = c >= 'a' && c <= 'z' ? static_cast<char>(name[i] | 0x20) : name[i];
        if (folded != c) return false;
    }
    return true;
}
}  // namespace

AdifField ClassifyAdifField(std::string_view name) noexcept {
    // By length, then by the folded first letter: one comparison at most for
    // most names.
    if (name.size() < 3) return AdifField::Other;
    const char first = static_cast<char>(name[0] | 0x20);
    auto is = [&](std::string_view lower) { return IsField(name, lower); };
    switch (name.size()) {
        case 3:
            if (is("srx")) return AdifField::Srx;
            if (is("stx")) return AdifField::Stx;
            return AdifField::Other;
        case 4:
            switch (first) {
                case 'c':
                    if (is("call")) return AdifField::Call;
                    if (is("cont")) return AdifField::Cont;
                    return AdifField::Other;
                case 'b': return is("band") ? AdifField::Band : AdifField::Other;
                case 'f': return is("freq") ? AdifField::Freq : AdifField::Other;
                case 'm': return is("mode") ? AdifField::Mode : AdifField::Other;
                default: return AdifField::Other;
            }
        case 7:
            if (first == 's') return is("submode") ? AdifField::Submode : AdifField::Other;
            if (first == 't') return is("time_on") ? AdifField::TimeOn : AdifField::Other;
            return AdifField::Other;
        case 8:
            if (first == 'r') {
                if (is("rst_rcvd")) return AdifField::RstRcvd;
                if (is("rst_sent")) return AdifField::RstSent;
                return AdifField::Other;
            }
            if (first == 'o') return is("operator") ? AdifField::Operator : AdifField::Other;
            if (first == 'q') return is("qso_date") ? AdifField::QsoDate : AdifField::Other;
            return AdifField::Other;
        case 10:
            if (first != 's') return AdifField::Other;
            if (is("srx_string")) return AdifField::SrxString;
            if (is("stx_string")) return AdifField::StxString;
            return AdifField::Other;
        case 16:
            return first == 's' && is("station_callsign") ? AdifField::StationCallsign
                                                          : AdifField::Other;
        case 18:
            if (first != 'a') return AdifField::Other;
            if (is("app_yol_dxccprefix")) return AdifField::YolDxccPrefix;
            if (is("app_yol_mainprefix")) return AdifField::YolMainPrefix;
            return AdifField::Other;
        default: return AdifField::Other;
    }
}

namespace {
// Two exchange parts joined by a space, either alone when the other is empty.
std::string_view Joined(std::string_view a, std::string_view b, std::string& buffer) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    buffer.assign(a).push_back(' ');
    buffer.append(b);
    return buffer;
}
}  // namespace

void AdifMapper::Emit(const AdifRecord& record, std::size_t place, std::string_view text) {
    auto get = [&](AdifField f) { return TrimBlanks(record.Get(f)); };
    ContactView contact;
    contact.place = place;
    contact.line = text;
    const std::string_view call = get(AdifField::Call);
    if (call.empty()) {
        Problem(place, "record without CALL: skipped");
        return;
    }
    contact.call = UpperAscii(call, call_);

    const std::string_view band = get(AdifField::Band), freq = get(AdifField::Freq);
    if (const BandInfo* b = band.empty() ? nullptr : BandFromAdif(band)) contact.band = b->host;
    if (contact.band.empty() && !freq.empty()) {
        if (const auto hz = ParseHz(freq, 1'000'000))
            if (const BandInfo* b = BandFromHz(*hz)) contact.band = b->host;
    }
    if (contact.band.empty()) {
        std::string why = band.empty() ? std::string("no BAND") : "unknown BAND " + Quoted(band);
        why += freq.empty() ? std::string(" and no FREQ")
                            : " and FREQ " + Quoted(freq) + " (MHz) is in no amateur band";
        Problem(place, "record for " + Quoted(contact.call) + ": " + why + ": skipped");
        return;
    }

    contact.mode = ModeFromAdif(get(AdifField::Mode), get(AdifField::Submode), mode_);
    if (contact.mode.empty()) {
        Problem(place, "record for " + Quoted(contact.call) + ": no MODE: skipped");
        return;
    }

    contact.report = get(AdifField::SrxString);
    if (contact.report.empty())
        contact.report = Joined(get(AdifField::RstRcvd), get(AdifField::Srx), report_);
    contact.sent = get(AdifField::StxString);
    if (contact.sent.empty()) contact.sent = Joined(get(AdifField::RstSent), get(AdifField::Stx), sent_);
    contact.dxcc = get(AdifField::YolDxccPrefix);
    contact.mainPrefix = get(AdifField::YolMainPrefix);
    contact.continent = get(AdifField::Cont);
    contact.time = UtcMinutes(get(AdifField::QsoDate), get(AdifField::TimeOn));
    if (!freq.empty()) contact.frequency = KilohertzOfMegahertz(freq, frequency_);

    std::string_view own = get(AdifField::StationCallsign);
    if (own.empty()) own = get(AdifField::Operator);
    if (!own.empty()) contact.ownCall = UpperAscii(own, ownCall_);
    if (!stationSent_ && !own.empty()) {
        sink_.Station(contact.ownCall);
        stationSent_ = true;
    }
    if (!FillCountry(options_, contact)) Problem(place, NoCountryMessage(contact.call), Severity::Note);
    sink_.Contact(contact);
}

}  // namespace yol::contestlog::detail
