// Writes a realistic YOL contest log: into a SQLite table with the columns
// the recalculation reads, or as a Cabrillo or ADIF file holding the same
// contacts. Seeded, so the same arguments give the same log.
#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "contestlog/Generator.h"
#include "contestlog/LogWriter.h"

namespace {

constexpr const char* kUsage =
    "usage: yolloggen --db FILE [--table Log] [--rows N] [--seed S] [--no-mainprefix] [--append]\n"
    "       yolloggen --format cabrillo|adi|adx --out FILE [--rows N] [--seed S] [--call CALL]\n"
    "  --format F       sqlite (default), cabrillo, adi or adx; the same seed gives the same\n"
    "                   contacts in every format\n"
    "  --db FILE        the SQLite database (--format sqlite); --out is the same\n"
    "  --out FILE       the file to write (any format)\n"
    "  --table T        the log table (default Log), dropped first unless --append\n"
    "  --rows N         contacts (default 5000)\n"
    "  --seed S         the generator's seed (default 1)\n"
    "  --no-mainprefix  a table without the MainPrefix column, as older logs have\n"
    "  --call CALL      the log's own call sign in Cabrillo and ADIF (default UA1AAA)\n";

[[noreturn]] void Usage(const std::string& message) {
    std::fprintf(stderr, "yolloggen: %s\n%s", message.c_str(), kUsage);
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace yol::contestlog;
    std::string path, table = "Log", format = "sqlite";
    long long rows = 5000;
    std::uint32_t seed = 1;
    bool withMain = true, append = false;
    Station station;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) Usage(std::string(a) + " needs a value");
            return argv[++i];
        };
        auto number = [&](const std::string& text) {
            char* end = nullptr;
            const long long n = std::strtoll(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || n < 0) Usage(std::string(a) + ": not a number: " + text);
            return n;
        };
        if (a == "--db" || a == "--out") path = value();
        else if (a == "--table") table = value();
        else if (a == "--format") format = value();
        else if (a == "--rows") rows = number(value());
        else if (a == "--seed") seed = static_cast<std::uint32_t>(number(value()));
        else if (a == "--call") station.call = value();
        else if (a == "--no-mainprefix") withMain = false;
        else if (a == "--append") append = true;
        else if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else Usage("unknown option " + std::string(a));
    }
    if (path.empty()) Usage("--db FILE or --out FILE is required");

    LogFormat kind = LogFormat::Sqlite;
    if (format == "cabrillo") kind = LogFormat::Cabrillo;
    else if (format == "adi") kind = LogFormat::Adi;
    else if (format == "adx") kind = LogFormat::Adx;
    else if (format != "sqlite") Usage("--format is sqlite, cabrillo, adi or adx, not " + format);

    LogGenerator generator(seed);
    try {
        if (kind == LogFormat::Sqlite) {
            sqlite3* db = nullptr;
            if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
                std::fprintf(stderr, "yolloggen: cannot open %s: %s\n", path.c_str(), sqlite3_errmsg(db));
                sqlite3_close(db);
                return 1;
            }
            std::unique_ptr<sqlite3, int (*)(sqlite3*)> close(db, sqlite3_close);
            sqlite3_exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
            if (!append) DropLogTable(db, table);
            CreateLogTable(db, table, {.mainPrefix = withMain});
            {
                SqliteLogWriter writer(db, table, {.mainPrefix = withMain});
                for (long long n = 0; n < rows; ++n) writer.Write(generator.Next());
                writer.Finish();
            }
            // The recalculation reads in call-sign order; an index keeps that cheap.
            CreateCallSignIndex(db, table);
            std::printf("%s: %lld rows in table %s (seed %u)\n", path.c_str(), rows, table.c_str(), seed);
        } else {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            if (!out) {
                std::fprintf(stderr, "yolloggen: cannot write %s\n", path.c_str());
                return 1;
            }
            const auto writer = MakeFileLogWriter(kind, out, station);
            for (long long n = 0; n < rows; ++n) writer->Write(generator.Next());
            writer->Finish();
            out.flush();
            if (!out) {
                std::fprintf(stderr, "yolloggen: writing %s failed\n", path.c_str());
                return 1;
            }
            std::printf("%s: %lld contacts as %s (seed %u)\n", path.c_str(), rows,
                        std::string(FormatName(kind)).c_str(), seed);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "yolloggen: %s\n", e.what());
        return 1;
    }
    return 0;
}
