#include "HostLog.h"

#include <sqlite3.h>

#include <array>
#include <random>
#include <stdexcept>
#include <string_view>

namespace yol::host {
namespace {

struct Country {
    const char* dxcc;
    const char* continent;
    std::array<const char*, 4> stems;  // call-sign prefixes, nullptr-padded
    bool home;
    int weight;
};

constexpr std::array<Country, 12> kCountries{{
    {"UA1", "EU", {"UA1", "RA1", "RN3", "RW6"}, true, 32},
    {"UA2", "EU", {"UA2", "RA2", nullptr, nullptr}, true, 4},
    {"UA9", "AS", {"UA9", "RA9", "RZ0", "RK0"}, true, 16},
    {"DL", "EU", {"DL", "DK", "DJ", nullptr}, false, 9},
    {"SP", "EU", {"SP", "SQ", nullptr, nullptr}, false, 6},
    {"UR", "EU", {"UR", "UT", "US", nullptr}, false, 7},
    {"OK", "EU", {"OK", "OL", nullptr, nullptr}, false, 4},
    {"G", "EU", {"G", "M", nullptr, nullptr}, false, 3},
    {"UN", "AS", {"UN", "UP", nullptr, nullptr}, false, 4},
    {"JA", "AS", {"JA", "JH", nullptr, nullptr}, false, 3},
    {"K", "NA", {"W", "K", "N", "AA"}, false, 5},
    {"VK", "OC", {"VK", nullptr, nullptr, nullptr}, false, 1},
}};
constexpr std::array<const char*, 6> kBands{"1.8", "3.5", "7", "14", "21", "28"};
constexpr std::array<int, 6> kBandWeights{5, 14, 25, 32, 14, 10};
constexpr std::array<const char*, 16> kAreas{"MO", "SP", "LO", "NV", "KR", "SV", "NS", "OM",
                                             "TO", "KE", "AL", "PM", "BA", "TA", "RO", "VO"};

class Dice {
public:
    explicit Dice(std::uint32_t seed) : rng_(seed) {}
    int Below(int n) { return static_cast<int>(rng_() % static_cast<std::uint32_t>(n)); }
    template <class Weights>
    std::size_t Weighted(const Weights& weights) {
        int total = 0;
        for (int w : weights) total += w;
        int r = Below(total);
        for (std::size_t i = 0; i < weights.size(); ++i) {
            if (r < weights[i]) return i;
            r -= weights[i];
        }
        return 0;
    }

private:
    std::mt19937 rng_;
};

std::string Call(Dice& dice, const Country& c) {
    std::size_t stems = 0;
    while (stems < c.stems.size() && c.stems[stems] != nullptr) ++stems;
    std::string call = c.stems[static_cast<std::size_t>(dice.Below(static_cast<int>(stems)))];
    if (call.back() < '0' || call.back() > '9') call += static_cast<char>('0' + dice.Below(10));
    for (int i = 1 + dice.Below(3); i > 0; --i) call += static_cast<char>('A' + dice.Below(26));
    if (dice.Below(60) == 0) call += "/P";
    return call;
}

std::string Report(Dice& dice, bool home) {
    const std::string rst = dice.Below(3) == 0 ? "59" : "599";
    if (!home && dice.Below(4) != 0) return rst + " " + std::to_string(1 + dice.Below(300));
    std::string district = kAreas[static_cast<std::size_t>(dice.Below(static_cast<int>(kAreas.size())))];
    const int number = 1 + dice.Below(60);
    district += static_cast<char>('0' + number / 10);
    district += static_cast<char>('0' + number % 10);
    switch (dice.Below(40)) {  // the occasional untidy exchange
        case 0: return rst + " " + district.substr(0, 2) + "-" + district.substr(2);
        case 1: return rst;
        case 2: return rst + " " + district + "  ";
        case 3: {
            for (char& ch : district)
                if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch + 32);
            return rst + " " + district;
        }
        default: return rst + " " + district;
    }
}

void Check(sqlite3* db, int rc, const std::string& what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error(what + ": " + sqlite3_errmsg(db));
}

std::string Quoted(const std::string& table) {
    std::string q = "\"";
    for (char c : table) q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

}  // namespace

std::vector<LogContact> ParseContacts(std::istream& in) {
    std::vector<LogContact> contacts;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::array<std::string, 6> fields;
        std::size_t field = 0, start = 0;
        for (;;) {
            const std::size_t tab = line.find('\t', start);
            if (field < fields.size()) fields[field++] = line.substr(start, tab - start);
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        if (fields[0].empty()) throw std::runtime_error("contacts line " + std::to_string(number) + ": no call sign");
        contacts.push_back({fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]});
    }
    return contacts;
}

std::vector<LogContact> GenerateContacts(std::size_t count, std::uint32_t seed) {
    Dice dice(seed);
    std::array<int, kCountries.size()> weights{};
    for (std::size_t i = 0; i < kCountries.size(); ++i) weights[i] = kCountries[i].weight;

    std::vector<LogContact> contacts;
    contacts.reserve(count);
    while (contacts.size() < count) {
        if (!contacts.empty() && dice.Below(50) == 0) {  // worked twice: a duplicate
            contacts.push_back(contacts[static_cast<std::size_t>(dice.Below(static_cast<int>(contacts.size())))]);
            continue;
        }
        const Country& c = kCountries[dice.Weighted(weights)];
        LogContact q;
        q.call = Call(dice, c);
        q.band = kBands[dice.Weighted(kBandWeights)];
        q.mode = dice.Below(3) == 0 ? "SSB" : "CW";
        q.dxcc = c.dxcc;
        q.continent = c.continent;
        q.report = Report(dice, c.home);
        if (dice.Below(100) == 0)
            for (char& ch : q.continent) ch = static_cast<char>(ch + 32);  // "eu"
        contacts.push_back(std::move(q));
    }
    return contacts;
}

std::string LogTableSql(const std::string& table) {
    return "CREATE TABLE IF NOT EXISTS " + Quoted(table) +
           " (Id INTEGER PRIMARY KEY, CallSign TEXT, DigiBand TEXT, QSOMode TEXT, QSOReportRecived TEXT,"
           " DXCCPrefix TEXT, MainPrefix TEXT, Continent TEXT)";
}

void PrepareLogTable(sqlite3* db, const std::string& table, bool empty) {
    Check(db, sqlite3_exec(db, LogTableSql(table).c_str(), nullptr, nullptr, nullptr), "create " + table);
    const std::string index = "CREATE INDEX IF NOT EXISTS " + Quoted(table + "_CallSign") + " ON " +
                              Quoted(table) + " (CallSign)";
    Check(db, sqlite3_exec(db, index.c_str(), nullptr, nullptr, nullptr), "index " + table);
    if (empty) {
        const std::string sql = "DELETE FROM " + Quoted(table);
        Check(db, sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), sql);
    }
}

void AppendToLog(sqlite3* db, const std::string& table, const std::vector<LogContact>& contacts) {
    const std::string sql = "INSERT INTO " + Quoted(table) +
                            " (CallSign, DigiBand, QSOMode, DXCCPrefix, Continent, QSOReportRecived, MainPrefix)"
                            " VALUES (?,?,?,?,?,?,?)";
    sqlite3_stmt* insert = nullptr;
    Check(db, sqlite3_prepare_v2(db, sql.c_str(), -1, &insert, nullptr), "insert into " + table);
    auto bind = [&](int column, const std::string& text) {
        sqlite3_bind_text(insert, column, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
    };
    try {
        Check(db, sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), "begin");
        for (const LogContact& c : contacts) {
            bind(1, c.call);
            bind(2, c.band);
            bind(3, c.mode);
            bind(4, c.dxcc);
            bind(5, c.continent);
            bind(6, c.report);
            bind(7, c.dxcc);
            Check(db, sqlite3_step(insert), "insert into " + table);
            sqlite3_reset(insert);
        }
        Check(db, sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), "commit");
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_finalize(insert);
        throw;
    }
    sqlite3_finalize(insert);
}

}  // namespace yol::host
