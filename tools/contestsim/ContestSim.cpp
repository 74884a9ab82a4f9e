#include "contestsim/ContestSim.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <unordered_set>

namespace yol::contestsim {
using namespace contestlog;
namespace {

constexpr std::array<std::string_view, 6> kBands{"1.8", "3.5", "7", "14", "21", "28"};
constexpr std::array<std::string_view, 2> kModes{"CW", "SSB"};
// Band segments (kHz) a contact's frequency is drawn from: CW, then SSB.
constexpr std::array<std::array<int, 4>, 6> kSegments{{
    {1810, 1838, 1840, 1990},
    {3510, 3580, 3600, 3790},
    {7010, 7040, 7060, 7190},
    {14010, 14070, 14150, 14340},
    {21010, 21080, 21150, 21440},
    {28010, 28080, 28400, 28900},
}};
// Band weights by time of day (UTC): the low bands at night, the high ones by day.
constexpr std::array<int, 6> kDay{2, 8, 25, 35, 20, 10};
constexpr std::array<int, 6> kNight{15, 35, 35, 12, 2, 1};
constexpr std::array<int, 6> kTwilight{6, 20, 35, 25, 10, 4};

// District areas by home country; the two digits follow.
constexpr std::array<std::string_view, 16> kAreasUa1{"MO", "SP", "LO", "NV", "KR", "VO", "RO", "KD",
                                                     "ST", "SA", "UL", "PE", "NN", "VL", "TA", "BA"};
constexpr std::array<std::string_view, 1> kAreasUa2{"KA"};
constexpr std::array<std::string_view, 8> kAreasUa9{"SV", "NS", "OM", "TO", "KE", "AL", "PM", "CB"};

// Morse confusions, both ways.
constexpr std::array<std::string_view, 14> kConfusions{"ET", "IS", "AN", "DB", "5H", "SH", "UV",
                                                       "6B", "KR", "GW", "4V", "MO", "1J", "2U"};

std::uint64_t Mix(std::uint64_t x) noexcept {  // SplitMix64's finaliser
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

double Unit(std::uint64_t r) noexcept { return static_cast<double>(r >> 11) * 0x1.0p-53; }

// A small random stream (SplitMix64) from one hash.
class Rng {
public:
    explicit Rng(std::uint64_t state) : state_(state) {}
    std::uint64_t Next() noexcept { return Mix(state_ += 0x9E3779B97F4A7C15ull); }
    double Uniform() noexcept { return Unit(Next()); }
    int Below(int n) noexcept { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }
    double Normal() noexcept {
        const double u = 1.0 - Uniform(), v = Uniform();
        return std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * v);
    }

private:
    std::uint64_t state_;
};

template <class Weights>
std::size_t Weighted(int r, const Weights& weights) {
    for (std::size_t i = 0; i < weights.size(); ++i) {
        if (r < weights[i]) return i;
        r -= weights[i];
    }
    return weights.size() - 1;
}

const std::array<int, 6>& BandWeights(int minute) noexcept {
    const int hour = ((minute % kSimMinutes + kSimMinutes) % kSimMinutes / 60 + 12) % 24;  // UTC
    if (hour >= 5 && hour < 14) return kDay;
    if (hour >= 17 || hour < 2) return kNight;
    return kTwilight;
}

std::string ThreeDigits(std::uint32_t n) {
    char text[16];
    std::snprintf(text, sizeof text, "%03u", n);
    return text;
}

}  // namespace

std::string_view SimErrorName(SimError error) noexcept {
    switch (error) {
        case SimError::None: return "ok";
        case SimError::BustedCall: return "busted_call";
        case SimError::Exchange: return "exchange";
        case SimError::Missing: return "missing";
        case SimError::Dupe: return "dupe";
        case SimError::Period: return "period";
    }
    return "?";
}

std::string BustCall(std::string_view call, std::uint64_t r) {
    std::string base(call), suffix;
    if (const std::size_t slash = base.find('/'); slash != std::string::npos) {
        suffix = base.substr(slash);
        base.resize(slash);
    }
    if (!suffix.empty() && r % 3 == 0) return base;  // the /P lost
    const unsigned op = static_cast<unsigned>((r >> 8) % 10);
    const std::size_t at = static_cast<std::size_t>(r >> 16);
    const auto pick = static_cast<std::size_t>(r >> 40);
    if (op < 6) {  // a Morse confusion
        std::vector<std::size_t> places;
        for (std::size_t i = 0; i < base.size(); ++i)
            for (std::string_view pair : kConfusions)
                if (pair.find(base[i]) != std::string_view::npos) places.push_back(i);
        if (!places.empty()) {
            const std::size_t i = places[at % places.size()];
            std::vector<char> partners;
            for (std::string_view pair : kConfusions)
                if (const std::size_t k = pair.find(base[i]); k != std::string_view::npos)
                    partners.push_back(pair[1 - k]);
            base[i] = partners[pick % partners.size()];
            return base + suffix;
        }
    }
    if (op < 8 && base.size() > 3) {  // a character dropped
        base.erase(at % base.size(), 1);
        return base + suffix;
    }
    // A character added: a letter doubled or a stray dit or dah.
    const std::size_t i = at % (base.size() + 1);
    constexpr std::string_view kStray = "ETIS";
    const char added = pick % 2 == 0 && i > 0 ? base[i - 1] : kStray[pick / 2 % kStray.size()];
    base.insert(base.begin() + static_cast<std::ptrdiff_t>(i), added);
    return base + suffix;
}

std::string MiscopyExchange(std::string_view token, std::uint64_t r) {
    std::string t(token);
    std::vector<std::size_t> digits, letters;
    for (std::size_t i = 0; i < t.size(); ++i) (t[i] >= '0' && t[i] <= '9' ? digits : letters).push_back(i);
    const std::size_t pick = static_cast<std::size_t>(r >> 16);
    if (r % 10 < 3) {  // two neighbouring digits swapped
        for (std::size_t k = 0; k + 1 < digits.size(); ++k) {
            const std::size_t i = digits[(pick + k) % (digits.size() - 1)];
            if (i + 1 < t.size() && t[i] != t[i + 1] && t[i + 1] >= '0' && t[i + 1] <= '9') {
                std::swap(t[i], t[i + 1]);
                return t;
            }
        }
    }
    if (!letters.empty() && (digits.empty() || r % 10 >= 8)) {  // a letter misheard
        const std::size_t i = letters[pick % letters.size()];
        for (std::string_view pair : kConfusions)
            if (const std::size_t k = pair.find(t[i]); k != std::string_view::npos && pair[1 - k] >= 'A') {
                t[i] = pair[1 - k];
                return t;
            }
        t[i] = static_cast<char>(t[i] == 'Z' ? 'A' : t[i] + 1);
        return t;
    }
    if (digits.empty()) return t + "1";
    const std::size_t i = digits[pick % digits.size()];
    t[i] = static_cast<char>('0' + (t[i] - '0' + 1 + static_cast<int>((r >> 40) % 9)) % 10);
    return t;
}

ContestSim::ContestSim(const SimOptions& options) : options_(options) {
    if (options_.stations < 2) throw std::invalid_argument("a contest needs at least two stations");
    if (options_.stations > 1'000'000) throw std::invalid_argument("at most 1000000 stations");
    MakeStations();
    MakeContacts();
    AddRepeatsAndOutside();
    IndexStations();
}

std::uint64_t ContestSim::Hash(std::uint64_t a, std::uint64_t b) const noexcept {
    return Mix(Mix(options_.seed * 0x2545F4914F6CDD1Dull ^ a) + b);
}

void ContestSim::MakeStations() {
    const auto countries = GeneratorCountries();
    std::vector<int> weights;
    int total = 0;
    for (const GeneratorCountry& c : countries) total += c.weight, weights.push_back(c.weight);
    Rng rng(Hash(1, 0));
    LogGenerator generator(static_cast<std::uint32_t>(options_.seed ^ (options_.seed >> 32)));
    std::unordered_set<std::string> taken;
    const std::size_t n = options_.stations;
    stations_.resize(n);
    target_.resize(n);
    double sum = 0;
    for (std::size_t s = 0; s < n; ++s) {
        SimStation& st = stations_[s];
        st.country = &countries[Weighted(rng.Below(total), weights)];
        do st.call = generator.CallOf(*st.country);
        while (!taken.insert(st.call).second);
        if (rng.Uniform() < options_.portable) st.call += "/P";
        if (st.country->home) {
            const std::string_view dxcc = st.country->dxcc;
            const std::string_view area =
                dxcc == "UA2"   ? kAreasUa2[0]
                : dxcc == "UA9" ? kAreasUa9[static_cast<std::size_t>(rng.Below(kAreasUa9.size()))]
                                : kAreasUa1[static_cast<std::size_t>(rng.Below(kAreasUa1.size()))];
            char digits[8];
            std::snprintf(digits, sizeof digits, "%02d", 1 + rng.Below(60));
            st.exchange = std::string(area) + digits;
        }
        const double u = rng.Uniform();
        st.log = u < options_.noLog                      ? SimLogKind::NoLog
                 : u < options_.noLog + options_.checkLog ? SimLogKind::CheckLog
                                                         : SimLogKind::Log;
        // ADIF has no category: checklogs come as Cabrillo.
        st.adif = rng.Uniform() < options_.adif && st.log != SimLogKind::CheckLog;
        if (rng.Uniform() < options_.clock) st.clockOffset = (1 + rng.Below(options_.clockMinutes)) * (rng.Below(2) ? 1 : -1);
        // Two stations in five stay the whole contest; the rest operate 3 to 18 hours.
        if (rng.Below(5) >= 2) {
            const int hours = 3 + rng.Below(16);
            st.from = rng.Below(kSimMinutes - hours * 60 + 1);
            st.to = st.from + hours * 60;
        }
        const double share = static_cast<double>(st.to - st.from) / kSimMinutes;
        target_[s] = std::exp(0.8 * rng.Normal()) * std::pow(share, 0.7);
        if (st.log == SimLogKind::CheckLog) target_[s] *= 0.3;
        sum += target_[s];
    }
    // Scaled to the mean asked for; nobody beyond 2.5 contacts a minute.
    const double scale = options_.contactsPerLog * static_cast<double>(n) / sum;
    for (std::size_t s = 0; s < n; ++s)
        target_[s] = std::min(target_[s] * scale, 2.5 * (stations_[s].to - stations_[s].from));
    calls_.reserve(n);
    for (std::size_t s = 0; s < n; ++s) calls_.emplace_back(stations_[s].call, static_cast<std::uint32_t>(s));
    std::sort(calls_.begin(), calls_.end());
}

void ContestSim::MakeContacts() {
    const std::size_t n = stations_.size();
    double sum = 0;
    std::vector<double> rate(n);
    for (std::size_t s = 0; s < n; ++s) {
        sum += target_[s];
        rate[s] = target_[s] / (stations_[s].to - stations_[s].from);
    }
    qsos_.reserve(static_cast<std::size_t>(sum / 2 * 1.05) + 16);
    const double perMinute = kSimMinutes / sum;
    constexpr int kSlots = 12;  // 6 bands x 2 modes: one contact each at most
    for (std::uint32_t a = 0; a < n; ++a) {
        const SimStation& sa = stations_[a];
        for (std::uint32_t b = a + 1; b < n; ++b) {
            const SimStation& sb = stations_[b];
            const int from = std::max(sa.from, sb.from), to = std::min(sa.to, sb.to);
            if (to <= from) continue;
            const double p = std::min(0.75, rate[a] * rate[b] * (to - from) * perMinute / kSlots);
            const std::uint64_t h = Hash(a, b);
            // Whether any of the slots succeeds (1 - (1 - p)^12 <= 12 p, so that
            // most pairs are passed over without a power), then the slots given
            // that one does.
            const double u = Unit(h);
            if (u >= kSlots * p || u >= 1 - std::pow(1 - p, kSlots)) continue;
            Rng rng(h);
            unsigned used = 0;
            bool any = false;
            for (int slot = 0; slot < kSlots; ++slot) {
                const double chance = any ? p : p / (1 - std::pow(1 - p, kSlots - slot));
                if (rng.Uniform() >= chance) continue;
                any = true;
                const int minute = from + rng.Below(to - from);
                for (int tries = 0; tries < 8; ++tries) {
                    const auto& w = BandWeights(minute);
                    const auto band = Weighted(rng.Below(100), w);
                    const unsigned mode = rng.Below(100) < 35 ? 1 : 0;
                    const unsigned bit = 1u << (band * 2 + mode);
                    if (used & bit) continue;
                    used |= bit;
                    qsos_.push_back({a, b, static_cast<std::int16_t>(minute), static_cast<std::uint8_t>(band),
                                     static_cast<std::uint8_t>(mode)});
                    break;
                }
            }
        }
    }
}

void ContestSim::AddRepeatsAndOutside() {
    const std::size_t n = qsos_.size();
    for (std::size_t q = 0; q < n; ++q) {
        Rng rng(Hash(q, 7));
        Qso& c = qsos_[q];
        if (rng.Uniform() < options_.outside) {
            // Just before the start or just after the end.
            c.minute = static_cast<std::int16_t>(rng.Below(2) ? -1 - rng.Below(30) : kSimMinutes + rng.Below(30));
            c.band |= kOutside;
            continue;
        }
        if (rng.Uniform() < options_.dupe) {
            // The same two stations again, later, on the same band and mode.
            const int to = std::min(stations_[c.a].to, stations_[c.b].to);
            if (c.minute + 1 >= to) continue;
            Qso again = c;
            again.minute = static_cast<std::int16_t>(c.minute + 1 + rng.Below(to - c.minute - 1));
            again.band |= kRepeat;
            c.band |= kRepeated;
            qsos_.push_back(again);  // c is no longer valid
        }
    }
}

void ContestSim::IndexStations() {
    const std::size_t n = stations_.size();
    first_.assign(n + 1, 0);
    for (const Qso& q : qsos_) ++first_[q.a + 1], ++first_[q.b + 1];
    for (std::size_t s = 0; s < n; ++s) first_[s + 1] += first_[s];
    byStation_.resize(first_[n]);
    std::vector<std::size_t> next(first_.begin(), first_.end() - 1);
    for (std::uint32_t id = 0; id < qsos_.size(); ++id) {
        byStation_[next[qsos_[id].a]++] = id;
        byStation_[next[qsos_[id].b]++] = id;
    }
    for (std::size_t s = 0; s < n; ++s)
        std::sort(byStation_.begin() + static_cast<std::ptrdiff_t>(first_[s]),
                  byStation_.begin() + static_cast<std::ptrdiff_t>(first_[s + 1]),
                  [this](std::uint32_t x, std::uint32_t y) {
                      return qsos_[x].minute != qsos_[y].minute ? qsos_[x].minute < qsos_[y].minute : x < y;
                  });
    // Each side's place, so that a serial costs one look-up.
    rank_.resize(2 * qsos_.size());
    for (std::size_t s = 0; s < n; ++s)
        for (std::size_t k = first_[s]; k < first_[s + 1]; ++k) {
            const std::uint32_t id = byStation_[k];
            rank_[2 * id + (qsos_[id].b == s)] = static_cast<std::uint32_t>(k - first_[s]);
        }
}

std::uint32_t ContestSim::Serial(std::uint32_t station, std::uint32_t qso) const {
    return rank_[2 * qso + (qsos_[qso].b == station)] + 1;
}

std::string ContestSim::Sent(std::uint32_t station, std::uint32_t qso, std::uint8_t mode) const {
    const std::string rst = mode == 1 ? "59" : "599";
    const SimStation& s = stations_[station];
    return rst + " " + (s.exchange.empty() ? ThreeDigits(Serial(station, qso)) : s.exchange);
}

SimError ContestSim::SideError(std::uint32_t qso, bool sideB) const {
    const double u = Unit(Hash(qso, sideB ? 12 : 11));
    double edge = options_.bustedCall;
    if (u < edge) return SimError::BustedCall;
    if (u < (edge += options_.exchange)) return SimError::Exchange;
    if (u < (edge += options_.missing)) {
        // Never missing from both logs: such a contact left no trace.
        if (sideB && SideError(qso, false) == SimError::Missing) return SimError::None;
        return SimError::Missing;
    }
    return SimError::None;
}

std::vector<SimLine> ContestSim::Log(std::size_t s) const {
    std::vector<SimLine> lines;
    lines.reserve(first_[s + 1] - first_[s]);
    const SimStation& me = stations_[s];
    for (std::size_t k = first_[s]; k < first_[s + 1]; ++k) {
        const std::uint32_t id = byStation_[k];
        const Qso& q = qsos_[id];
        const bool sideB = q.b == s;
        SimLine line;
        line.qso = id;
        line.other = sideB ? q.a : q.b;
        line.error = (q.band & kRepeat)    ? SimError::Dupe
                     : (q.band & kOutside) ? SimError::Period
                     : (q.band & kRepeated) ? SimError::None
                                            : SideError(id, sideB);
        line.time = kSimStart + q.minute;
        const double jitter = Unit(Hash(id, sideB ? 22 : 21));
        const int off = jitter < options_.jitter / 2 ? -1 : jitter < options_.jitter ? 1 : 0;
        line.loggedTime = line.time + me.clockOffset + off;
        const std::size_t band = q.band & kBandMask;
        line.band = kBands[band];
        line.mode = kModes[q.mode];
        const auto& seg = kSegments[band];
        const std::uint64_t f = Hash(id, 5);
        const int lo = seg[q.mode * 2], hi = seg[q.mode * 2 + 1];
        line.frequency = std::to_string(lo + static_cast<int>(f % static_cast<std::uint64_t>(hi - lo + 1)));
        const std::string& otherCall = stations_[line.other].call;
        line.call = line.error == SimError::BustedCall ? BustCall(otherCall, Hash(id, sideB ? 32 : 31))
                                                       : otherCall;
        line.sent = Sent(static_cast<std::uint32_t>(s), id, q.mode);
        line.trueReceived = Sent(line.other, id, q.mode);
        line.received = line.trueReceived;
        if (line.error == SimError::Exchange) {
            const std::size_t space = line.received.find(' ');
            line.received = line.received.substr(0, space + 1) +
                            MiscopyExchange(line.received.substr(space + 1), Hash(id, sideB ? 42 : 41));
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

std::size_t ContestSim::Find(std::string_view call) const {
    const auto it = std::lower_bound(calls_.begin(), calls_.end(), call,
                                     [](const auto& entry, std::string_view c) { return entry.first < c; });
    return it != calls_.end() && it->first == call ? it->second : stations_.size();
}

}  // namespace yol::contestsim
