// The ADIF fields the readers map and the mapping of one ADIF record (from
// .adi or .adx) to a contact, with the problems it reports.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "contestlog/LogReader.h"

namespace yol::contestlog::detail {

// The ADIF fields that feed the host's record; every other field is Other.
enum class AdifField : std::uint8_t {
    Call, Band, Freq, Mode, Submode, SrxString, RstRcvd, Srx, Cont, StationCallsign, Operator,
    QsoDate, TimeOn, StxString, RstSent, Stx,
    YolDxccPrefix,  // APP_YOL_DXCCPREFIX
    YolMainPrefix,  // APP_YOL_MAINPREFIX
    Other,
};
constexpr std::size_t kAdifFieldCount = static_cast<std::size_t>(AdifField::Other);

// A field name in any case ("call", "App_Yol_DxccPrefix").
AdifField ClassifyAdifField(std::string_view name) noexcept;

// One record's values; empty where the record lacks the field.
struct AdifRecord {
    std::array<std::string_view, kAdifFieldCount> values{};
    bool any = false;      // the record has a field at all, mapped or not
    bool contact = false;  // and one of the contact's own (not Other)

    void Set(AdifField field, std::string_view value) noexcept {
        any = true;
        if (field == AdifField::Other) return;
        contact = true;
        values[static_cast<std::size_t>(field)] = value;
    }
    std::string_view Get(AdifField field) const noexcept {
        return values[static_cast<std::size_t>(field)];
    }
    void Clear() noexcept {
        values.fill({});
        any = contact = false;
    }
};

// Maps ADIF records to contacts and hands them to the sink, reporting those
// it rejects. Keeps its buffers from record to record.
class AdifMapper {
public:
    AdifMapper(const ReadOptions& options, LogSink& sink) : options_(options), sink_(sink) {}
    // `text`: the record as it stands in the file.
    void Emit(const AdifRecord& record, std::size_t place, std::string_view text);
    void Header(std::string_view name, std::string_view value) { sink_.Header(name, value); }
    void Problem(std::size_t place, std::string message, Severity severity = Severity::Rejected) {
        sink_.Problem(LogProblem{place, std::move(message), severity});
    }

private:
    const ReadOptions& options_;
    LogSink& sink_;
    bool stationSent_ = false;
    std::string call_, mode_, report_, sent_, ownCall_, frequency_;
};

}  // namespace yol::contestlog::detail
