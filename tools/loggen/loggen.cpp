// Writes a realistic YOL contest log into a SQLite table with the columns the
// recalculation reads. Seeded, so the same arguments give the same log.
//
//   yolloggen --db log.sqlite [--table Log] [--rows 5000] [--seed 1]
//             [--no-mainprefix] [--append]
#include <sqlite3.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Country {
    const char* dxcc;       // the host's DXCC prefix
    const char* main;       // main prefix
    const char* continent;
    const char* callStems;  // space-separated call-sign prefixes
    int weight;
};

// Home stations dominate a YOL contest log; the rest are a DX mix.
constexpr std::array<Country, 18> kCountries{{
    {"UA1", "UA1", "EU", "UA1 RA1 RN1 RW1 RZ1 UA3 RA3 RK3 RU6 UA4", 30},
    {"UA2", "UA2", "EU", "UA2 RA2 RN2", 4},
    {"UA9", "UA9", "AS", "UA9 RA9 RW9 RZ9 UA0 RA0 RK0", 16},
    {"DL", "DL", "EU", "DL DK DJ DF", 8},
    {"SP", "SP", "EU", "SP SQ SO", 5},
    {"OK", "OK", "EU", "OK OL", 4},
    {"UR", "UR", "EU", "UR UT UX US", 6},
    {"EU", "EU", "EU", "EU EW", 4},
    {"F", "F", "EU", "F", 3},
    {"G", "G", "EU", "G M", 3},
    {"I", "I", "EU", "I IK IZ", 3},
    {"HA", "HA", "EU", "HA HG", 2},
    {"UN", "UN", "AS", "UN UP", 3},
    {"JA", "JA", "AS", "JA JH JR", 2},
    {"K", "W", "NA", "W K N AA", 4},
    {"VE", "VE", "NA", "VE VA", 1},
    {"PY", "PY", "SA", "PY PU", 1},
    {"VK", "VK", "OC", "VK", 1},
}};

constexpr std::array<const char*, 6> kBands{"1.8", "3.5", "7", "14", "21", "28"};
constexpr std::array<int, 6> kBandWeights{6, 14, 25, 30, 15, 10};
constexpr std::array<const char*, 24> kDistrictAreas{
    "MO", "SP", "LO", "NV", "KR", "SV", "NS", "OM", "TO", "KE", "AL", "PM",
    "BA", "TA", "CB", "VO", "RO", "KD", "ST", "SA", "UL", "PE", "NN", "VL"};

struct Generator {
    explicit Generator(std::uint32_t seed) : rng(seed) {}

    int Pick(int n) { return static_cast<int>(rng() % static_cast<std::uint32_t>(n)); }
    template <std::size_t N>
    int Weighted(const std::array<int, N>& w) {
        int total = 0;
        for (int x : w) total += x;
        int r = Pick(total);
        for (std::size_t i = 0; i < N; ++i) {
            if (r < w[i]) return static_cast<int>(i);
            r -= w[i];
        }
        return 0;
    }

    std::vector<std::string> Words(const char* text) {
        std::vector<std::string> out;
        std::string cur;
        for (const char* p = text;; ++p) {
            if (*p == ' ' || *p == 0) {
                if (!cur.empty()) out.push_back(cur);
                cur.clear();
                if (*p == 0) break;
            } else {
                cur += *p;
            }
        }
        return out;
    }

    std::string Call(const Country& c) {
        const auto stems = Words(c.callStems);
        std::string call = stems[static_cast<std::size_t>(Pick(static_cast<int>(stems.size())))];
        if (call.back() < '0' || call.back() > '9') call += static_cast<char>('0' + Pick(10));
        const int letters = 1 + Pick(3);
        for (int i = 0; i < letters; ++i) call += static_cast<char>('A' + Pick(26));
        if (Pick(60) == 0) call += "/P";
        if (Pick(200) == 0) call += "/p";
        return call;
    }

    std::string Report(bool home) {
        std::string rst = Pick(3) == 0 ? "59" : "599";
        if (!home && Pick(4) != 0) return rst + " " + std::to_string(1 + Pick(40));  // serial
        const std::string area = kDistrictAreas[static_cast<std::size_t>(Pick(kDistrictAreas.size()))];
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02d", 1 + Pick(60));
        switch (Pick(40)) {  // the occasional malformed exchange
            case 0: return rst + " " + area + "-" + digits;
            case 1: return rst;
            case 2: return "";
            case 3: return rst + " " + area + digits[0];
            case 4: return rst + " " + std::string(1, static_cast<char>(area[0] + 32)) +
                           static_cast<char>(area[1] + 32) + digits;  // lower case
            default: return rst + " " + area + digits;
        }
    }

    std::mt19937 rng;
};

[[noreturn]] void Fail(const std::string& what, sqlite3* db) {
    std::fprintf(stderr, "yolloggen: %s: %s\n", what.c_str(), db ? sqlite3_errmsg(db) : "");
    std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
    std::string path, table = "Log";
    long long rows = 5000;
    std::uint32_t seed = 1;
    bool withMain = true, append = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "yolloggen: %s needs a value\n", argv[i]);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--db") path = value();
        else if (a == "--table") table = value();
        else if (a == "--rows") rows = std::atoll(value().c_str());
        else if (a == "--seed") seed = static_cast<std::uint32_t>(std::strtoul(value().c_str(), nullptr, 10));
        else if (a == "--no-mainprefix") withMain = false;
        else if (a == "--append") append = true;
        else {
            std::fprintf(stderr,
                         "usage: yolloggen --db FILE [--table Log] [--rows N] [--seed S] "
                         "[--no-mainprefix] [--append]\n");
            return 2;
        }
    }
    if (path.empty() || rows < 0) {
        std::fprintf(stderr, "yolloggen: --db FILE is required and --rows must not be negative\n");
        return 2;
    }

    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) Fail("cannot open " + path, db);
    auto exec = [&](const std::string& sql) {
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql, db);
    };
    exec("PRAGMA journal_mode=OFF");
    exec("PRAGMA synchronous=OFF");
    if (!append) exec("DROP TABLE IF EXISTS \"" + table + "\"");
    exec("CREATE TABLE IF NOT EXISTS \"" + table +
         "\" (Id INTEGER PRIMARY KEY, CallSign TEXT, DigiBand TEXT, QSOMode TEXT,"
         " QSOReportRecived TEXT, DXCCPrefix TEXT, " + (withMain ? "MainPrefix TEXT, " : "") +
         "Continent TEXT)");
    exec("BEGIN");
    sqlite3_stmt* insert = nullptr;
    const std::string sql = "INSERT INTO \"" + table +
                            "\" (CallSign, DigiBand, QSOMode, QSOReportRecived, DXCCPrefix, " +
                            (withMain ? "MainPrefix, " : "") + "Continent) VALUES (?,?,?,?,?,?" +
                            (withMain ? ",?" : "") + ")";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &insert, nullptr) != SQLITE_OK) Fail(sql, db);

    Generator gen(seed);
    std::array<int, kCountries.size()> weights{};
    for (std::size_t i = 0; i < kCountries.size(); ++i) weights[i] = kCountries[i].weight;
    struct Logged {
        std::string call, band, mode, report, dxcc, main, continent;
    };
    std::vector<Logged> recent;
    for (long long n = 0; n < rows; ++n) {
        Logged q;
        if (!recent.empty() && gen.Pick(50) == 0) {
            q = recent[static_cast<std::size_t>(gen.Pick(static_cast<int>(recent.size())))];  // a duplicate
        } else {
            const Country& c = kCountries[static_cast<std::size_t>(gen.Weighted(weights))];
            const bool home = std::string_view(c.dxcc).substr(0, 2) == "UA";
            q = {gen.Call(c), kBands[static_cast<std::size_t>(gen.Weighted(kBandWeights))],
                 gen.Pick(3) == 0 ? "SSB" : "CW", gen.Report(home), c.dxcc, c.main, c.continent};
            if (gen.Pick(100) == 0) q.continent = std::string(1, static_cast<char>(c.continent[0] + 32)) +
                                                  static_cast<char>(c.continent[1] + 32);
            if (recent.size() < 1000) recent.push_back(q);
            else recent[static_cast<std::size_t>(gen.Pick(1000))] = q;
        }
        int col = 1;
        for (const std::string* v : {&q.call, &q.band, &q.mode, &q.report, &q.dxcc}) {
            sqlite3_bind_text(insert, col++, v->c_str(), static_cast<int>(v->size()), SQLITE_TRANSIENT);
        }
        if (withMain) sqlite3_bind_text(insert, col++, q.main.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, col, q.continent.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(insert) != SQLITE_DONE) Fail("insert", db);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    exec("COMMIT");
    // The recalculation reads in call-sign order; an index keeps that cheap.
    exec("CREATE INDEX IF NOT EXISTS \"" + table + "_CallSign\" ON \"" + table + "\" (CallSign)");
    sqlite3_close(db);
    std::printf("%s: %lld rows in table %s (seed %u)\n", path.c_str(), rows, table.c_str(), seed);
    return 0;
}
