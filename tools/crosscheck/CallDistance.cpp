#include "CallDistance.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <vector>

namespace yol::check {
namespace {

char Up(char c) noexcept { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

// Pairs heard or typed for each other most often.
constexpr std::string_view kMorsePairs[] = {
    "EI", "IS", "SH", "H5", "TM", "MO", "O0", "AW", "UV", "V4", "NA", "ND", "DB", "B6", "KC",
    "GZ", "J1", "12", "23", "34", "45", "56", "67", "78", "89", "90", "WJ", "RL", "UF", "XY",
    "KY", "PJ", "GQ", "U2", "V3", "B7", "Z7", "D6", "AR", "AU", "NK", "NG", "TN", "EA", "IU",
};
constexpr std::string_view kKeyboardRows[] = {"1234567890", "QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};

struct Table {
    std::array<std::array<bool, 128>, 128> cheap{};
    Table() {
        auto set = [&](char a, char b) {
            cheap[static_cast<unsigned char>(a)][static_cast<unsigned char>(b)] = true;
            cheap[static_cast<unsigned char>(b)][static_cast<unsigned char>(a)] = true;
        };
        for (std::string_view p : kMorsePairs) set(p[0], p[1]);
        for (std::string_view row : kKeyboardRows)
            for (std::size_t i = 0; i + 1 < row.size(); ++i) set(row[i], row[i + 1]);
    }
};

double SubstitutionCost(char a, char b) noexcept {
    static const Table table;
    if (a == b) return 0;
    const auto ua = static_cast<unsigned char>(a), ub = static_cast<unsigned char>(b);
    if (ua < 128 && ub < 128 && table.cheap[ua][ub]) return 0.5;
    return 1;
}

double Edit(std::string_view a, std::string_view b) {
    const std::size_t n = a.size(), m = b.size();
    // Three rows for the neighbour swap.
    std::vector<double> prev2(m + 1), prev(m + 1), cur(m + 1);
    for (std::size_t j = 0; j <= m; ++j) prev[j] = static_cast<double>(j);
    for (std::size_t i = 1; i <= n; ++i) {
        cur[0] = static_cast<double>(i);
        for (std::size_t j = 1; j <= m; ++j) {
            double best = std::min(prev[j] + 1, cur[j - 1] + 1);
            best = std::min(best, prev[j - 1] + SubstitutionCost(a[i - 1], b[j - 1]));
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1] && a[i - 1] != a[i - 2])
                best = std::min(best, prev2[j - 2] + 0.75);
            cur[j] = best;
        }
        std::swap(prev2, prev);
        std::swap(prev, cur);
    }
    return prev[m];
}

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = Up(c);
    return out;
}

bool HasDigit(std::string_view s) noexcept {
    return std::any_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::string_view BaseCall(std::string_view call) noexcept {
    // The longest part between slashes that holds a digit and letters is the
    // call; the others are designators and prefixes.
    std::string_view best;
    std::size_t start = 0;
    while (start <= call.size()) {
        std::size_t slash = call.find('/', start);
        if (slash == std::string_view::npos) slash = call.size();
        const std::string_view part = call.substr(start, slash - start);
        if (part.size() > best.size() && (HasDigit(part) || best.empty())) best = part;
        start = slash + 1;
    }
    return best.empty() ? call : best;
}

double CallDistance(std::string_view a, std::string_view b) {
    const std::string ua = Upper(a), ub = Upper(b);
    if (ua == ub) return 0;
    const std::string_view ba = BaseCall(ua), bb = BaseCall(ub);
    if (ba == bb) return 0.5;
    double d = Edit(ua, ub);
    if (ba.size() != ua.size() || bb.size() != ub.size()) d = std::min(d, 0.5 + Edit(ba, bb));
    return d;
}

}  // namespace yol::check
