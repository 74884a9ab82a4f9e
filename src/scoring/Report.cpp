#include "scoring/Report.h"

#include <cstdint>

#include "scoring/Text.h"

namespace yol {

std::string PadLeft(std::string text, std::size_t width) {
    if (text.size() < width) text.insert(0, width - text.size(), ' ');
    return text;
}

std::string BuildReport(const std::vector<TStatistic>& tallies) {
    constexpr std::size_t kBandWidth = 4;
    constexpr std::size_t kCountWidth = 6;
    auto num = [](std::int64_t v) { return PadLeft(std::to_string(v), kCountWidth); };

    std::string text = "  Band\t  QSOs\tPoints\t   YOL\t  DXCC\t\r\n";
    // Totals and the score are summed wide: the score is a product and would
    // wrap in 32 bits long before any single counter does.
    std::int64_t qsos = 0, points = 0, districts = 0, countries = 0;
    for (const TStatistic& t : tallies) {
        text += PadLeft(t.Band, kBandWidth) + '\t';
        text += num(t.QSOs) + '\t' + num(t.Points) + '\t' + num(t.Districts) + '\t' +
                num(t.Countries) + "\t\r\n";
        qsos += t.QSOs;
        points += t.Points;
        districts += t.Districts;
        countries += t.Countries;
    }
    text += "Total\t" + num(qsos) + '\t' + num(points) + '\t' + num(districts) + '\t' +
            num(countries) + "\r\n";
    text += " Score: " + std::to_string(points) + "*(" + std::to_string(districts) + "+" +
            std::to_string(countries) + ")=" + std::to_string((districts + countries) * points) +
            "\r\n";
    return std::string(TrimControls(text));
}

}  // namespace yol
