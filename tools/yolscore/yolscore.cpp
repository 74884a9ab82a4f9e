// Prints the statistics report of a SQLite log through the scoring core alone,
// as the module would show it after a recalculation.
//
//   yolscore --db log.sqlite [--table Log] [--my-prefix UA1] [--my-continent EU]
#include <sqlite3.h>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "logdb/Recalc.h"
#include "logdb/SqliteLogQuery.h"
#include "scoring/Report.h"

namespace {
struct NoEvents : yol::EventPump {
    void DeliverPendingEvents() override {}
};
}  // namespace

int main(int argc, char** argv) {
    std::string path, table = "Log", prefix = "UA1", continent = "EU";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view a = argv[i];
        if (a == "--db") path = argv[i + 1];
        else if (a == "--table") table = argv[i + 1];
        else if (a == "--my-prefix") prefix = argv[i + 1];
        else if (a == "--my-continent") continent = argv[i + 1];
    }
    if (path.empty()) {
        std::fprintf(stderr, "usage: yolscore --db FILE [--table Log] [--my-prefix UA1] [--my-continent EU]\n");
        return 2;
    }
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "yolscore: cannot open %s\n", path.c_str());
        return 1;
    }
    auto current = std::make_unique<yol::ContactRecord>();
    yol::StoreShortText(current->TableName, table);
    yol::StoreShortText(current->MyDXCCPrefix, prefix);
    yol::StoreShortText(current->MyContinent, continent);
    yol::TScoreBook book;
    int rc = 0;
    {
        yol::SqliteLogQuery query(db);
        NoEvents pump;
        try {
            yol::RecalcFromLog(query, pump, *current, book, {});
            std::printf("%s\n", yol::BuildReport(book.Tallies()).c_str());
        } catch (const yol::LogQueryError& e) {
            std::fprintf(stderr, "yolscore: %s\n", e.what());
            rc = 1;
        }
    }
    sqlite3_close(db);
    return rc;
}
