// The plots of a log page, drawn here as SVG: no charting library to fetch or
// keep, and every number in the picture is the number the report holds. Each
// plot carries <title> and <desc> with its key figures and data-* attributes
// with the figures drawn, for people with screen readers and for the tests.
#include "Internal.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <set>

namespace yol::webreport::detail {

namespace {

constexpr std::int64_t kMaxPlainSlots = 7 * 24 * 4;  // beyond this the timeline shows active slots only

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// Horizontal positions of time slots (hours or quarter hours): one column per
// slot from the first active to the last, or, when stray contacts far outside
// the contest would squeeze the rest to nothing, one column per active slot.
class Timeline {
public:
    Timeline(std::set<std::int64_t> active, std::int64_t slotMinutes)
        : keys_(active.begin(), active.end()), minutes_(slotMinutes) {
        compressed_ = !keys_.empty() && keys_.back() - keys_.front() + 1 > kMaxPlainSlots;
    }
    std::size_t Slots() const {
        if (keys_.empty()) return 1;
        return compressed_ ? keys_.size() : static_cast<std::size_t>(keys_.back() - keys_.front() + 1);
    }
    double SlotWidth() const { return kPlotW / static_cast<double>(Slots()); }
    double X(std::int64_t key) const {
        const auto pos = compressed_ ? std::lower_bound(keys_.begin(), keys_.end(), key) - keys_.begin()
                                     : key - keys_.front();
        return kLeft + static_cast<double>(pos) * SlotWidth();
    }
    // Time labels under the plot, at least ~56 units apart and on whole hours.
    void Axis(Html& h, double y) const {
        if (keys_.empty()) return;
        const std::int64_t perHour = 60 / minutes_;
        std::int64_t step = perHour;
        for (std::int64_t s : {1, 2, 3, 4, 6, 12, 24, 48, 96, 168}) {
            step = s * perHour;
            if (static_cast<double>(step) * SlotWidth() >= 56) break;
        }
        std::string lastDay;
        std::vector<std::int64_t> ticks;
        if (compressed_) {
            for (std::size_t i = 0; i < keys_.size(); i += static_cast<std::size_t>(std::max<std::int64_t>(1, step / perHour)))
                ticks.push_back(keys_[i]);
        } else {
            std::int64_t k = FloorDiv(keys_.front(), perHour) * perHour;
            if (k < keys_.front()) k += perHour;
            for (; k <= keys_.back(); k += step) ticks.push_back(k);
        }
        h << "<g class=\"axis\" font-size=\"12\" text-anchor=\"middle\">";
        for (std::int64_t k : ticks) {
            const std::string when = UtcText(k * minutes_);
            const double x = X(k);
            h << "<line x1=\"" << Num(x) << "\" x2=\"" << Num(x) << "\" y1=\"" << Num(y - 4) << "\" y2=\"" << Num(y)
              << "\" stroke=\"#555\"/><text x=\"" << Num(x) << "\" y=\"" << Num(y + 14) << "\">" << when.substr(11, 2)
              << "h</text>";
            if (when.substr(0, 10) != lastDay) {
                lastDay = when.substr(0, 10);
                h << "<text x=\"" << Num(x) << "\" y=\"" << Num(y + 28) << "\" fill=\"#555\">" << lastDay.substr(5)
                  << "</text>";
            }
        }
        h << "<text class=\"axis-title\" x=\"" << Num(kWidth - kRight) << "\" y=\"" << Num(y + 28)
          << "\" text-anchor=\"end\">UTC</text></g>";
    }
    // A coordinate to one decimal, "12.5" or "12": by integer arithmetic, as pages hold
    // hundreds of thousands of them and printf's float formatting costs most of the time.
    static std::string Num(double v) {
        long long tenths = std::llround(v * 10);
        std::string s;
        if (tenths < 0) { s.push_back('-'); tenths = -tenths; }
        s += std::to_string(tenths / 10);
        if (tenths % 10) { s.push_back('.'); s.push_back(static_cast<char>('0' + tenths % 10)); }
        return s;
    }

private:
    std::vector<std::int64_t> keys_;
    std::int64_t minutes_;
    bool compressed_ = false;
};


// A round upper end for a value axis and its step: 1, 2 or 5 times a power of ten.
std::pair<std::int64_t, std::int64_t> NiceAxis(std::int64_t max) {
    if (max <= 0) return {1, 1};
    std::int64_t step = 1;
    for (;;) {
        for (std::int64_t m : {1, 2, 5}) {
            if (max <= step * m * 5) {
                const std::int64_t s = step * m;
                return {(max + s - 1) / s * s, s};
            }
        }
        step *= 10;
    }
}

void ValueAxis(Html& h, double top, double height, std::int64_t max, std::int64_t step, std::string_view title) {
    // The axis title, turned along the axis, left of the labels.
    h << "<text class=\"axis-title\" font-size=\"12\" text-anchor=\"middle\" transform=\"translate(11 "
      << Num(top + height / 2) << ") rotate(-90)\">" << title << "</text>";
    h << "<g class=\"grid\" font-size=\"12\" text-anchor=\"end\">";
    for (std::int64_t v = 0; v <= max; v += step) {
        const double y = top + height - height * static_cast<double>(v) / static_cast<double>(max);
        h << "<line x1=\"" << Num(kLeft) << "\" x2=\"" << Num(kWidth - kRight) << "\" y1=\"" << Num(y) << "\" y2=\""
          << Num(y) << "\" stroke=\"" << (v == 0 ? "#555" : "#ddd") << "\"/><text x=\"" << Num(kLeft - 6)
          << "\" y=\"" << Num(y + 4) << "\">" << CompactNumber(v) << "</text>";
    }
    h << "</g>";
}



std::vector<std::string> BandsOf(const LogReport& r) {
    std::vector<std::string> bands;
    for (const auto& c : r.contacts)
        if (std::find(bands.begin(), bands.end(), c.band) == bands.end()) bands.push_back(c.band);
    std::sort(bands.begin(), bands.end(), [](const std::string& a, const std::string& b) { return BandBefore(a, b); });
    return bands;
}

std::string Grouped(std::int64_t v) {
    std::string s;
    Html(s).Grouped(v);
    return s;
}


}  // namespace

std::string CompactNumber(std::int64_t v) {
    const std::int64_t a = v < 0 ? -v : v;
    auto scaled = [&](std::int64_t unit, char suffix) {
        // One decimal where it says something: 2.5M, 10M, 250k.
        const std::int64_t tenths = (a * 10 + unit / 2) / unit;
        std::string s = (v < 0 ? "\xE2\x88\x92" : "") + std::to_string(tenths / 10);
        if (tenths % 10 && tenths < 100) s += "." + std::to_string(tenths % 10);
        return s + suffix;
    };
    if (a >= 1'000'000) return scaled(1'000'000, 'M');
    if (a >= 10'000) return scaled(1'000, 'k');
    return Grouped(v);
}

std::int64_t RateBinMinutes(const LogReport& r) {
    std::int64_t length = 0;
    if (r.period) {
        length = r.period->second - r.period->first;
    } else if (!r.contacts.empty()) {
        const auto [lo, hi] = std::minmax_element(r.contacts.begin(), r.contacts.end(),
                                                  [](const Contact& a, const Contact& b) { return a.utc < b.utc; });
        length = hi->utc - lo->utc + 1;
    }
    if (length <= 6 * 60) return 10;
    if (length <= 12 * 60) return 30;
    return 60;
}

std::string Num(double v) { return Timeline::Num(v); }

void OpenSvg(Html& h, std::string_view id, std::string_view kind, double height, std::string_view title) {
    h << "<svg class=\"plot\" id=\"" << id << "\" data-plot=\"" << kind << "\" viewBox=\"0 0 " << Num(kWidth) << ' '
      << Num(height) << "\" role=\"img\" aria-labelledby=\"" << id << "-t " << id << "-d\" xmlns=\"http://www.w3.org/2000/svg\"";
    (void)title;
}

void TitleDesc(Html& h, std::string_view id, std::string_view title, std::string_view desc) {
    h << "<title id=\"" << id << "-t\">";
    h.Text(title) << "</title><desc id=\"" << id << "-d\">";
    h.Text(desc) << "</desc>";
}

void NoContacts(Html& h) { h << "<p class=\"empty\">No contacts to plot.</p>"; }

void HourlyPlot(Html& h, const LogReport& r) {
    if (r.contacts.empty()) return NoContacts(h);
    const auto bands = BandsOf(r);
    const std::int64_t bin = RateBinMinutes(r);
    std::map<std::int64_t, std::vector<std::int64_t>> hours;  // bin -> count per band
    std::vector<std::int64_t> perBand(bands.size());
    for (const auto& c : r.contacts) {
        auto& counts = hours[FloorDiv(c.utc, bin)];
        counts.resize(bands.size());
        const auto b = static_cast<std::size_t>(std::find(bands.begin(), bands.end(), c.band) - bands.begin());
        ++counts[b];
        ++perBand[b];
    }
    std::int64_t busiest = 0, busiestHour = 0;
    std::set<std::int64_t> keys;
    for (const auto& [hour, counts] : hours) {
        keys.insert(hour);
        std::int64_t n = 0;
        for (auto v : counts) n += v;
        if (n > busiest) { busiest = n; busiestHour = hour; }
    }
    const Timeline tl(keys, bin);
    const auto [max, step] = NiceAxis(busiest);
    const double top = 12, plotH = 170, legendY = top + plotH + 46;
    const std::string per = bin == 60 ? "hour" : std::to_string(bin) + " min";
    const double height = legendY + 22 * static_cast<double>((bands.size() + 5) / 6) + 4;

    std::string desc = Grouped(static_cast<std::int64_t>(r.contacts.size())) + " contacts in " +
                       std::to_string(hours.size()) + " active " + (bin == 60 ? "hours" : per + " spans") + ", " +
                       UtcText(hours.begin()->first * bin) + " to " + UtcText(hours.rbegin()->first * bin + bin - 1) +
                       " UTC; busiest " + per + " from " + UtcHourText(busiestHour * bin) + " UTC with " +
                       Grouped(busiest) + " contacts. By band:";
    for (std::size_t b = 0; b < bands.size(); ++b)
        desc += (b ? ", " : " ") + bands[b] + " " + std::to_string(perBand[b]);
    desc += '.';

    OpenSvg(h, "hourly", "hourly", height, "");
    h << " data-bars=\"";
    h.Int(static_cast<std::int64_t>(hours.size())) << "\" data-total=\"";
    h.Int(static_cast<std::int64_t>(r.contacts.size())) << "\" data-minutes=\"";
    h.Int(bin) << "\">";
    TitleDesc(h, "hourly", "Contacts per " + per + " by band", desc);
    ValueAxis(h, top, plotH, max, step, "contacts per " + per);
    const double barW = std::max(1.0, tl.SlotWidth() * 0.8);
    h << "<g class=\"bars\" stroke=\"#fff\" stroke-width=\"0.5\">";
    for (const auto& [hour, counts] : hours) {
        std::int64_t n = 0;
        for (auto v : counts) n += v;
        const double x = tl.X(hour) + (tl.SlotWidth() - barW) / 2;
        h << "<g class=\"bar\" data-hour=\"" << UtcText(hour * bin) << "\" data-count=\"";
        h.Int(n) << "\"><title>" << UtcText(hour * bin) << " UTC: ";
        h.Grouped(n) << " contacts (";
        bool first = true;
        for (std::size_t b = 0; b < bands.size(); ++b) {
            if (!counts[b]) continue;
            h << (first ? "" : ", ");
            h.Text(bands[b]) << ' ';
            h.Grouped(counts[b]);
            first = false;
        }
        h << ")</title>";
        double y = top + plotH;
        for (std::size_t b = 0; b < bands.size(); ++b) {
            if (!counts[b]) continue;
            const double hgt = plotH * static_cast<double>(counts[b]) / static_cast<double>(max);
            y -= hgt;
            h << "<rect data-band=\"";
            h.Text(bands[b]) << "\" data-count=\"";
            h.Int(counts[b]) << "\" x=\"" << Num(x) << "\" y=\"" << Num(y) << "\" width=\"" << Num(barW)
                             << "\" height=\"" << Num(hgt) << "\" fill=\"" << BandColour(bands[b]) << "\"/>";
        }
        h << "</g>";
    }
    h << "</g>";
    tl.Axis(h, top + plotH);
    // Legend: colour and the band's name with its count, so no colour has to be matched by eye alone.
    h << "<g class=\"legend\" font-size=\"13\">";
    for (std::size_t b = 0; b < bands.size(); ++b) {
        const double x = kLeft + static_cast<double>(b % 6) * 110, y = legendY + 22 * static_cast<double>(b / 6);
        h << "<rect x=\"" << Num(x) << "\" y=\"" << Num(y - 11) << "\" width=\"12\" height=\"12\" fill=\""
          << BandColour(bands[b]) << "\" stroke=\"#333\" stroke-width=\"0.5\"/><text x=\"" << Num(x + 17) << "\" y=\""
          << Num(y) << "\">";
        h.Text(bands[b]) << ' ';
        h.Grouped(perBand[b]) << "</text>";
    }
    h << "</g></svg>";
}

void ActivityMap(Html& h, const LogReport& r) {
    if (r.contacts.empty()) return NoContacts(h);
    const auto bands = BandsOf(r);
    std::map<std::pair<std::size_t, std::int64_t>, std::int64_t> cells;  // (band, quarter hour) -> contacts
    std::set<std::int64_t> keys;
    for (const auto& c : r.contacts) {
        const auto b = static_cast<std::size_t>(std::find(bands.begin(), bands.end(), c.band) - bands.begin());
        const std::int64_t q = FloorDiv(c.utc, 15);
        ++cells[{b, q}];
        keys.insert(q);
    }
    std::int64_t max = 0;
    for (const auto& [key, n] : cells) max = std::max(max, n);
    const Timeline tl(keys, 15);
    const double top = 8, rowH = 22.0, gridH = rowH * static_cast<double>(bands.size());
    const double legendY = top + gridH + 48, height = legendY + 10;

    std::vector<std::int64_t> activeCells(bands.size());
    for (const auto& [key, n] : cells) ++activeCells[key.first];
    std::string desc = "Activity in 15-minute cells: " + std::to_string(cells.size()) + " active cells on " +
                       std::to_string(bands.size()) + (bands.size() == 1 ? " band" : " bands") +
                       ", at most " + std::to_string(max) + " contacts in one cell. Active quarter hours per band:";
    for (std::size_t b = 0; b < bands.size(); ++b)
        desc += (b ? ", " : " ") + bands[b] + " " + std::to_string(activeCells[b]);
    desc += '.';

    OpenSvg(h, "activity", "activity", height, "");
    h << " data-cells=\"";
    h.Int(static_cast<std::int64_t>(cells.size())) << "\" data-total=\"";
    h.Int(static_cast<std::int64_t>(r.contacts.size())) << "\">";
    TitleDesc(h, "activity", "Activity by band and time", desc);
    h << "<g font-size=\"12\" text-anchor=\"end\">";
    for (std::size_t b = 0; b < bands.size(); ++b) {
        const double y = top + rowH * static_cast<double>(b);
        h << "<rect x=\"" << Num(kLeft) << "\" y=\"" << Num(y + 1) << "\" width=\"" << Num(kPlotW) << "\" height=\""
          << Num(rowH - 2) << "\" fill=\"#f2f2f2\"/><text x=\"" << Num(kLeft - 6) << "\" y=\"" << Num(y + rowH / 2 + 4)
          << "\">";
        h.Text(bands[b]) << "</text>";
    }
    h << "</g>";
    // Four shades of one hue, darker for busier. A band's cells are drawn as one path per
    // shade (a page holds hundreds of cells; one element each would double its size),
    // and the row carries every cell as "minute:count" (the quarter hour's first minute
    // since 1970) in data-cells, and its number of contacts in data-count.
    static constexpr std::array<std::string_view, 4> kShades{".25", ".5", ".75", "1"};
    const double cellW = std::max(1.0, tl.SlotWidth());
    auto it = cells.begin();
    while (it != cells.end()) {
        const std::size_t band = it->first.first;
        std::array<std::string, 4> paths;
        std::string list;
        std::int64_t rowCount = 0;
        const double y = top + rowH * static_cast<double>(band) + 1;
        for (; it != cells.end() && it->first.first == band; ++it) {
            const std::int64_t n = it->second;
            const auto level = std::min<std::size_t>(3, static_cast<std::size_t>((n * 4 - 1) / max));
            auto& d = paths[level];
            d += 'M';
            d += Num(tl.X(it->first.second));
            d += ' ';
            d += Num(y);
            d += 'h';
            d += Num(cellW);
            d += "v20h-";
            d += Num(cellW);
            d += 'z';
            if (!list.empty()) list += ' ';
            list += std::to_string(it->first.second * 15);
            list += ':';
            list += std::to_string(n);
            rowCount += n;
        }
        h << "<g class=\"row\" data-band=\"";
        h.Text(bands[band]) << "\" data-count=\"";
        h.Int(rowCount) << "\" data-cells=\"" << list << "\" fill=\"#0072B2\"><title>";
        h.Text(bands[band]) << ": ";
        h.Int(rowCount) << " contacts in ";
        h.Int(activeCells[band]) << " quarter hours</title>";
        for (std::size_t l = 0; l < paths.size(); ++l)
            if (!paths[l].empty()) h << "<path fill-opacity=\"" << kShades[l] << "\" d=\"" << paths[l] << "\"/>";
        h << "</g>";
    }
    tl.Axis(h, top + gridH);
    h << "<g class=\"legend\" font-size=\"12\"><text x=\"" << Num(kLeft) << "\" y=\"" << Num(legendY)
      << "\">contacts per 15 min:</text>";
    for (std::size_t l = 0; l < kShades.size(); ++l) {
        const std::int64_t lo = static_cast<std::int64_t>(l) * max / 4 + 1, hi = static_cast<std::int64_t>(l + 1) * max / 4;
        if (hi < lo) continue;
        const double x = kLeft + 150 + static_cast<double>(l) * 80;
        h << "<rect x=\"" << Num(x) << "\" y=\"" << Num(legendY - 11) << "\" width=\"14\" height=\"14\" fill=\"#0072B2\" fill-opacity=\""
          << kShades[l] << "\"/><text x=\"" << Num(x + 19) << "\" y=\"" << Num(legendY) << "\">";
        h.Int(lo);
        if (hi > lo) { h << "\xE2\x80\x93"; h.Int(hi); }
        h << "</text>";
    }
    h << "</g></svg>";
}

void ScorePlot(Html& h, const LogReport& r) {
    if (r.contacts.empty()) return NoContacts(h);
    std::int64_t first = r.contacts.front().utc, last = first, maxScore = 0;
    bool inOrder = true;
    for (std::size_t i = 0; i < r.contacts.size(); ++i) {
        const auto& c = r.contacts[i];
        first = std::min(first, c.utc);
        last = std::max(last, c.utc);
        maxScore = std::max(maxScore, c.runningScore);
        if (i && c.utc < r.contacts[i - 1].utc) inOrder = false;
    }
    // Time across when the log runs forward in a sensible span, else the contact's number.
    const bool byTime = inOrder && last - first <= 7 * 1440 && last > first;
    const auto [max, step] = NiceAxis(maxScore);
    const double top = 12, plotH = 170, height = top + plotH + 46;
    const std::int64_t finalValue = r.contacts.back().runningScore;

    // Half of the final score: when was it reached?
    std::string half;
    for (const auto& c : r.contacts)
        if (finalValue > 0 && c.runningScore * 2 >= finalValue) { half = UtcText(c.utc); break; }
    std::string desc = "Running score over " + std::to_string(r.contacts.size()) + " contacts, from " +
                       UtcText(first) + " to " + UtcText(last) + " UTC: " + Grouped(finalValue) +
                       " after the last contact";
    if (maxScore != finalValue) desc += ", highest " + Grouped(maxScore);
    if (!half.empty()) desc += "; half of it reached at " + half + " UTC";
    desc += '.';

    OpenSvg(h, "score", "score", height, "");
    h << " data-final=\"";
    h.Int(finalValue) << "\" data-max=\"";
    h.Int(maxScore) << "\" data-points=\"";
    h.Int(static_cast<std::int64_t>(r.contacts.size())) << "\">";
    TitleDesc(h, "score", "Running score", desc);
    ValueAxis(h, top, plotH, max, step, "score (points)");
    // One point per horizontal unit is all the eye can see; the last value in each is kept.
    std::string pts;
    double lastX = -1;
    auto xOf = [&](std::size_t i) {
        if (byTime) return kLeft + kPlotW * static_cast<double>(r.contacts[i].utc - first) / static_cast<double>(last - first);
        return kLeft + kPlotW * (r.contacts.size() > 1 ? static_cast<double>(i) / static_cast<double>(r.contacts.size() - 1) : 0.0);
    };
    auto yOf = [&](std::int64_t v) { return top + plotH - plotH * static_cast<double>(v) / static_cast<double>(max); };
    std::string pending;
    for (std::size_t i = 0; i < r.contacts.size(); ++i) {
        const double x = std::round(xOf(i) * 2) / 2;
        const std::string p = Num(x) + "," + Num(yOf(r.contacts[i].runningScore)) + " ";
        if (x != lastX && !pending.empty()) pts += pending;
        pending = p;
        lastX = x;
    }
    pts += pending;
    h << "<polyline fill=\"none\" stroke=\"#0072B2\" stroke-width=\"2\" points=\"" << pts << "\"/>";
    const double fx = xOf(r.contacts.size() - 1), fy = yOf(finalValue);
    // The final score beside its point, below it where the top edge would cut it.
    const double labelY = fy - 8 < top + 10 ? fy + 18 : fy - 8;
    h << "<circle cx=\"" << Num(fx) << "\" cy=\"" << Num(fy) << "\" r=\"3.5\" fill=\"#0072B2\"/><text x=\""
      << Num(fx - 6) << "\" y=\"" << Num(labelY) << "\" font-size=\"13\" text-anchor=\"end\">" << Grouped(finalValue)
      << "</text>";
    if (byTime) {
        std::set<std::int64_t> hours;
        for (std::int64_t m = FloorDiv(first, 60); m <= FloorDiv(last, 60); ++m) hours.insert(m);
        // The time axis of the score runs by minute; labels on whole hours.
        h << "<g class=\"axis\" font-size=\"12\" text-anchor=\"middle\">";
        std::int64_t stepH = 1;
        for (std::int64_t s : {1, 2, 3, 4, 6, 12, 24, 48}) {
            stepH = s;
            if (kPlotW * static_cast<double>(s * 60) / static_cast<double>(last - first) >= 56) break;
        }
        std::string lastDay;
        for (std::int64_t hr = FloorDiv(first + 59, 60); hr * 60 <= last; hr += 1) {
            if (hr % stepH) continue;
            const double x = kLeft + kPlotW * static_cast<double>(hr * 60 - first) / static_cast<double>(last - first);
            const std::string when = UtcText(hr * 60);
            h << "<text x=\"" << Num(x) << "\" y=\"" << Num(top + plotH + 14) << "\">" << when.substr(11, 2) << "h</text>";
            if (when.substr(0, 10) != lastDay) {
                lastDay = when.substr(0, 10);
                h << "<text x=\"" << Num(x) << "\" y=\"" << Num(top + plotH + 28) << "\" fill=\"#555\">"
                  << lastDay.substr(5) << "</text>";
            }
        }
        h << "<text class=\"axis-title\" x=\"" << Num(kWidth - kRight) << "\" y=\"" << Num(top + plotH + 28)
          << "\" text-anchor=\"end\">UTC</text></g>";
    } else {
        h << "<text class=\"axis-title\" x=\"" << Num(kLeft + kPlotW / 2) << "\" y=\"" << Num(top + plotH + 16)
          << "\" font-size=\"12\" text-anchor=\"middle\">contacts in log order</text>";
    }
    h << "</svg>";
}

}  // namespace yol::webreport::detail
