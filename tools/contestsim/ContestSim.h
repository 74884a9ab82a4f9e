// A whole YOL contest simulated, seeded: stations, the contacts they really
// made, and the errors their operators put into their logs, each error
// recorded. The same options give the same contest. No file or console I/O
// here: ContestSimWrite.h turns it into log files and the truth CSV.
//
// The contest runs from 2026-12-12 12:00 to 2026-12-13 12:00 UTC (24 hours).
// Home stations (UA1, UA2, UA9) send "599" and their district ("MO05"),
// foreign stations "599" and a serial number ("001", counting their contacts
// in time order); on SSB the report is "59".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "contestsim/Generator.h"

namespace yol::contestsim {

// UTC minutes since 1970-01-01 of 2026-12-12 12:00, and the contest's length.
inline constexpr std::int64_t kSimStart = 29'951'280;
inline constexpr int kSimMinutes = 24 * 60;

struct SimOptions {
    std::size_t stations = 100;
    std::uint64_t seed = 1;
    double contactsPerLog = 680;  // mean contacts per station aimed at (busy stations far more)
    // Operator errors, each a share of log lines (a line has at most one).
    double bustedCall = 0.02;     // the other's call logged wrong
    double exchange = 0.02;       // the received exchange miscopied
    double missing = 0.01;        // the contact left out of this log
    // Shares of true contacts.
    double dupe = 0.005;          // worked again on the same band and mode, both logs
    double outside = 0.002;       // made just before the start or after the end
    double jitter = 0.1;          // share of lines logged a minute early or late
    // Shares of stations.
    double clock = 0.05;          // clock off by 1 to clockMinutes minutes either way
    int clockMinutes = 10;
    double noLog = 0.05;          // worked, but sent no log
    double checkLog = 0.02;       // sent a checklog
    double adif = 0.15;           // sent ADIF (.adi) rather than Cabrillo
    double portable = 0.03;       // operating portable ("/P")
};

enum class SimLogKind { Log, CheckLog, NoLog };

struct SimStation {
    std::string call;              // as sent, "/P" included
    std::string exchange;          // the second token sent: district "MO05", or "" (serial)
    const GeneratorCountry* country = nullptr;
    SimLogKind log = SimLogKind::Log;
    bool adif = false;
    int clockOffset = 0;           // minutes the station's clock is ahead (negative: behind)
    int from = 0, to = kSimMinutes;  // minutes of the contest it operated, [from, to)
};

// What happened to one side of a true contact.
enum class SimError { None, BustedCall, Exchange, Missing, Dupe, Period };
std::string_view SimErrorName(SimError error) noexcept;  // "ok", "busted_call", ...

// One side of a true contact: a line of a station's log (or the line it
// should have had, for SimError::Missing).
struct SimLine {
    std::uint32_t qso = 0;          // the true contact, the same on both sides
    std::uint32_t other = 0;        // the other station's index
    SimError error = SimError::None;
    std::int64_t time = 0;          // true UTC minutes
    std::int64_t loggedTime = 0;    // as this station's clock showed it
    std::string_view band, mode;    // "14", "CW"
    std::string frequency;          // kHz, the same on both sides
    std::string call;               // the call as logged
    std::string sent;               // this station's sent exchange, "599 MO05"
    std::string trueReceived;       // what the other station sent
    std::string received;           // as logged
};

class ContestSim {
public:
    explicit ContestSim(const SimOptions& options);
    ContestSim(const ContestSim&) = delete;  // calls_ views the stations' calls
    ContestSim& operator=(const ContestSim&) = delete;
    ContestSim(ContestSim&&) noexcept = default;

    const SimOptions& Options() const noexcept { return options_; }
    const std::vector<SimStation>& Stations() const noexcept { return stations_; }
    // True contacts (dupes and those outside the period included).
    std::size_t ContactCount() const noexcept { return qsos_.size(); }

    // Station `s`'s side of every true contact it made, in true time order:
    // the lines of its log and those it left out. Built on demand, so that a
    // contest of any size is written one station at a time.
    std::vector<SimLine> Log(std::size_t s) const;

    // The index of a call, or Stations().size().
    std::size_t Find(std::string_view call) const;

private:
    struct Qso {                // 12 bytes: millions of them
        std::uint32_t a, b;     // stations, a < b
        std::int16_t minute;    // true time, minutes from the start
        std::uint8_t band;      // index into the bands; the flags below above it
        std::uint8_t mode;      // 0 CW, 1 SSB
    };
    // kRepeated: made again later (kRepeat), and logged without error on both
    // sides, so that the repeat is a dupe in both logs.
    static constexpr std::uint8_t kRepeated = 0x20, kRepeat = 0x40, kOutside = 0x80, kBandMask = 0x0F;

    void MakeStations();
    void MakeContacts();
    void AddRepeatsAndOutside();
    void IndexStations();
    std::uint64_t Hash(std::uint64_t a, std::uint64_t b) const noexcept;
    std::string Sent(std::uint32_t station, std::uint32_t qso, std::uint8_t mode) const;
    std::uint32_t Serial(std::uint32_t station, std::uint32_t qso) const;
    SimError SideError(std::uint32_t qso, bool sideB) const;

    SimOptions options_;
    std::vector<SimStation> stations_;
    std::vector<double> target_;          // lines aimed at per station
    std::vector<Qso> qsos_;
    std::vector<std::uint32_t> byStation_;  // contact ids, grouped by station, time order
    std::vector<std::size_t> first_;        // station s: byStation_[first_[s], first_[s + 1])
    std::vector<std::uint32_t> rank_;       // contact q: its place in a's list (2q), in b's (2q + 1)
    std::vector<std::pair<std::string_view, std::uint32_t>> calls_;  // sorted, for Find
};

// One busted form of a call: a Morse confusion (E/T, I/S, A/N, D/B, 5/H, ...),
// a dropped or added character, or a lost "/P". `r` picks; never the call itself.
std::string BustCall(std::string_view call, std::uint64_t r);
// The exchange token miscopied: a digit or letter changed, or two digits
// swapped. Never the token itself.
std::string MiscopyExchange(std::string_view token, std::uint64_t r);

}  // namespace yol::contestsim
