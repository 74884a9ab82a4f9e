// Pieces shared by the page writers of the results site (not installed).
#pragma once

#include "WebReport.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace yol::webreport::detail {

// Appends to a page under construction.
class Html {
public:
    explicit Html(std::string& out) : out_(out) {}
    Html& operator<<(std::string_view raw) { out_.append(raw); return *this; }  // markup as is
    Html& operator<<(char c) { out_.push_back(c); return *this; }
    Html& Text(std::string_view text) { AppendEscaped(out_, text); return *this; }  // escaped
    Html& Int(std::int64_t v);
    Html& Fixed(double v, int decimals);   // "12.5"; "-0.0" written as "0.0"
    Html& Grouped(std::int64_t v);         // 1 234 567 with narrow no-break spaces, for prose
    std::string& Out() { return out_; }

private:
    std::string& out_;
};

std::string UtcText(std::int64_t minutes);       // "2026-12-05 12:03"
std::string UtcHourText(std::int64_t minutes);   // "12:03"
std::string_view VerdictColour(Verdict v);
std::string BandColour(std::string_view band);
// Bands ordered as on the dial: by wavelength, longest first; unknown names last.
bool BandBefore(std::string_view a, std::string_view b);

// The plots of a log page, each an inline <svg> with <title>, <desc> and data-*
// attributes carrying the numbers drawn.
void HourlyPlot(Html& h, const LogReport& r);
void ActivityMap(Html& h, const LogReport& r);
void ScorePlot(Html& h, const LogReport& r);
void VerdictBar(Html& h, const LogReport& r);
// The <defs> with one fill pattern per verdict (once per page) and a small swatch.
void VerdictPatterns(Html& h);
void VerdictSwatch(Html& h, Verdict v);
// Every plot's geometry (viewBox units).
inline constexpr double kWidth = 720;  // viewBox width of every plot
inline constexpr double kLeft = 52;    // room for the value axis or the band names
inline constexpr double kRight = 12;
inline constexpr double kPlotW = kWidth - kLeft - kRight;
// Pieces the plots share: a coordinate to one decimal, an <svg> opened with
// its role and labels, its <title> and <desc>, the note for an empty log.
std::string Num(double v);
// A value axis' label: "5 000", "250k", "2.5M", "10M" (never wider than the axis' room).
std::string CompactNumber(std::int64_t v);
// The rate plot's bin: 10 minutes for a contest (or a log, without a period)
// of up to 6 hours, 30 up to 12, else an hour.
std::int64_t RateBinMinutes(const LogReport& r);
void OpenSvg(Html& h, std::string_view id, std::string_view kind, double height, std::string_view title);
void TitleDesc(Html& h, std::string_view id, std::string_view title, std::string_view desc);
void NoContacts(Html& h);

std::string_view SiteCss();
std::string_view SiteJs();

}  // namespace yol::webreport::detail
