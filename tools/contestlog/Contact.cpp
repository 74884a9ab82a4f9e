#include "contestlog/Contact.h"

#include <cstdio>

#include "logdb/Recalc.h"

namespace yol::contestlog {
namespace {

void StoreAllButContinent(ContactRecord& r, const ContactView& c) noexcept {
    StoreShortText(r.CallSign, c.call);
    StoreShortText(r.DigiBand, c.band);
    StoreShortText(r.QSOMode, c.mode);
    StoreShortText(r.QSOReportRecived, c.report);
    StoreShortText(r.DXCCPrefix, c.dxcc);
    StoreShortText(r.MainPrefix, c.mainPrefix);
}

bool IsBlank(char c) noexcept { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The number the digits text[at..at+n) spell, or -1.
int Digits(std::string_view text, std::size_t at, std::size_t n) noexcept {
    if (at + n > text.size()) return -1;
    int value = 0;
    for (std::size_t i = at; i < at + n; ++i) {
        if (text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) noexcept {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

unsigned DaysInMonth(int y, int m) noexcept {
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : kDays[m - 1];
}

}  // namespace

ContactView View(const Contact& c) noexcept {
    return {c.call, c.band,  c.mode,      c.report,  c.dxcc,  c.mainPrefix, c.continent,
            c.time, c.frequency, c.ownCall, c.sent, c.place, c.line};
}

Contact ToContact(const ContactView& c) {
    return {std::string(c.call),      std::string(c.band),       std::string(c.mode),
            std::string(c.report),    std::string(c.dxcc),       std::string(c.mainPrefix),
            std::string(c.continent), c.time,                    std::string(c.frequency),
            std::string(c.ownCall),   std::string(c.sent),       c.place,
            std::string(c.line)};
}

std::vector<std::string_view> ExchangeTokens(std::string_view exchange) {
    std::vector<std::string_view> tokens;
    std::size_t i = 0;
    while (i < exchange.size()) {
        while (i < exchange.size() && IsBlank(exchange[i])) ++i;
        const std::size_t start = i;
        while (i < exchange.size() && !IsBlank(exchange[i])) ++i;
        if (i > start) tokens.push_back(exchange.substr(start, i - start));
    }
    return tokens;
}

std::int64_t UtcMinutes(std::string_view date, std::string_view time) noexcept {
    int y, m, d;
    if (date.size() == 10 && date[4] == '-' && date[7] == '-') {
        y = Digits(date, 0, 4), m = Digits(date, 5, 2), d = Digits(date, 8, 2);
    } else if (date.size() == 8) {
        y = Digits(date, 0, 4), m = Digits(date, 4, 2), d = Digits(date, 6, 2);
    } else {
        return kNoTime;
    }
    if (y < 0 || m < 1 || m > 12 || d < 1 || static_cast<unsigned>(d) > DaysInMonth(y, m)) return kNoTime;
    int h, min;
    if (time.size() == 5 && time[2] == ':') {
        h = Digits(time, 0, 2), min = Digits(time, 3, 2);
    } else if (time.size() == 4 || (time.size() == 6 && Digits(time, 4, 2) >= 0 && Digits(time, 4, 2) < 60)) {
        h = Digits(time, 0, 2), min = Digits(time, 2, 2);
    } else {
        return kNoTime;
    }
    if (h < 0 || h > 23 || min < 0 || min > 59) return kNoTime;
    return DaysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d)) * 1440 + h * 60 + min;
}

std::string UtcText(std::int64_t minutes) {
    if (minutes == kNoTime) return {};
    std::int64_t days = minutes >= 0 ? minutes / 1440 : -((-minutes + 1439) / 1440);
    const std::int64_t inDay = minutes - days * 1440;
    // H. Hinnant's civil_from_days.
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
    char text[40];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02u %02d:%02d", static_cast<long long>(y), m, d,
                  static_cast<int>(inDay / 60), static_cast<int>(inDay % 60));
    return text;
}

void StoreContact(ContactRecord& r, const ContactView& c) noexcept {
    StoreAllButContinent(r, c);
    StoreShortText(r.Continent, c.continent);
}

void StoreLogRow(ContactRecord& r, const ContactView& c) noexcept {
    StoreAllButContinent(r, c);
    StoreContinent(r, c.continent);  // as the recalculation stores it
}

}  // namespace yol::contestlog
