#include "contestlog/LogWriter.h"

#include <array>
#include <cstdio>
#include <stdexcept>

#include "contestlog/Bands.h"
#include "contestlog/Text.h"

namespace yol::contestlog {
namespace {

// ADIF band names of the bands a host log holds; the host's name of each
// comes from the same table the readers use.
constexpr std::array<std::string_view, 17> kAdifBands{
    "2190m", "630m", "160m", "80m", "60m", "40m", "30m", "20m", "17m",
    "15m",   "12m",  "10m",  "6m",  "4m",  "2m",  "1.25m", "70cm"};

const BandInfo* BandOfHost(std::string_view band) noexcept {
    for (std::string_view name : kAdifBands)
        if (const BandInfo* b = BandFromAdif(name); b != nullptr && b->host == band) return b;
    return nullptr;
}

// Minutes since the contest's start (an arbitrary fixed date) as date and time.
struct Stamp {
    char date[16];  // YYYY-MM-DD
    char adif[16];  // YYYYMMDD
    char time[8];   // HHMM
};

Stamp StampOf(std::uint64_t minute) {
    // A month of 31 days starting 2024-05-04 is enough for a generated log;
    // longer logs wrap around within it.
    const unsigned total = static_cast<unsigned>(minute % (31ull * 24 * 60));
    const unsigned day = total / (24 * 60), hour = total / 60 % 24, min = total % 60;
    const unsigned dayOfMonth = 4 + day <= 31 ? 4 + day : day - 27;
    const unsigned month = 4 + day <= 31 ? 5 : 6;
    Stamp s{};
    std::snprintf(s.date, sizeof s.date, "2024-%02u-%02u", month, dayOfMonth);
    std::snprintf(s.adif, sizeof s.adif, "2024%02u%02u", month, dayOfMonth);
    std::snprintf(s.time, sizeof s.time, "%02u%02u", hour, min);
    return s;
}

// The contact's own time where it has one, else the next generated one.
Stamp StampFor(std::int64_t time, std::uint64_t& count) {
    const std::uint64_t generated = count++;
    if (time == kNoTime) return StampOf(generated);
    const std::string text = UtcText(time);  // YYYY-MM-DD HH:MM
    Stamp s{};
    std::snprintf(s.date, sizeof s.date, "%.10s", text.c_str());
    std::snprintf(s.adif, sizeof s.adif, "%.4s%.2s%.2s", text.c_str(), text.c_str() + 5, text.c_str() + 8);
    std::snprintf(s.time, sizeof s.time, "%.2s%.2s", text.c_str() + 11, text.c_str() + 14);
    return s;
}

void Put(std::ostream& out, std::string_view text) {
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

// ---- Cabrillo ---------------------------------------------------------------

class CabrilloWriter : public LogWriter {
public:
    CabrilloWriter(std::ostream& out, const Station& station) : out_(out), station_(station) {
        std::string header = "START-OF-LOG: 3.0\r\nCONTEST: " + station.contest + "\r\nCALLSIGN: " +
                             station.call + "\r\nCATEGORY-OPERATOR: " + station.category + "\r\n";
        if (station.claimedScore) header += "CLAIMED-SCORE: " + std::to_string(*station.claimedScore) + "\r\n";
        Put(out_, header + "CATEGORY-BAND: ALL\r\nCATEGORY-MODE: MIXED\r\nCREATED-BY: " + station.program +
                      "\r\n");
    }

    void Write(const ContactView& c) override {
        const Stamp s = StampFor(c.time, count_);
        std::string_view freq = c.frequency.empty() ? CabrilloFrequency(c.band) : c.frequency;
        if (freq.empty()) freq = c.band;
        // Without a sent exchange of its own, one with as many words as the
        // received one, so that the received exchange starts at the same
        // column in every line.
        std::string sent, received;
        std::size_t words = 0;
        for (std::size_t i = 0; i < c.report.size();) {
            while (i < c.report.size() && c.report[i] == ' ') ++i;
            if (i >= c.report.size()) break;
            const std::size_t end = std::min(c.report.find(' ', i), c.report.size());
            if (!received.empty()) received += ' ';
            received.append(c.report.substr(i, end - i));
            if (!sent.empty()) sent += ' ';
            sent += words == 0 ? "599" : "MO01";
            ++words;
            i = end;
        }
        if (!c.sent.empty()) sent.assign(c.sent);
        line_.assign("QSO: ");
        line_.append(freq).append(" ").append(c.mode == "SSB" ? "PH" : c.mode).append(" ");
        line_.append(s.date).append(" ").append(s.time).append(" ");
        line_.append(c.ownCall.empty() ? std::string_view(station_.call) : c.ownCall);
        if (!sent.empty()) line_.append(" ").append(sent);
        line_.append(" ").append(c.call);
        if (!received.empty()) line_.append(" ").append(received);
        line_.append("\r\n");
        Put(out_, line_);
    }

    void Finish() override { Put(out_, "END-OF-LOG:\r\n"); }

private:
    std::ostream& out_;
    Station station_;
    std::uint64_t count_ = 0;
    std::string line_;
};

// ---- ADIF (.adi and .adx) ------------------------------------------------------

// The fields of every record, the same in both forms of ADIF.
class AdifWriter : public LogWriter {
public:
    void Write(const ContactView& c) final {
        const Stamp s = StampFor(c.time, count_);
        BeginRecord();
        Field("STATION_CALLSIGN", c.ownCall.empty() ? std::string_view(station_.call) : c.ownCall);
        Field("CALL", c.call);
        Field("QSO_DATE", s.adif);
        Field("TIME_ON", s.time);
        const BandInfo* b = BandOfHost(c.band);
        Field("BAND", b ? b->adif : c.band);
        if (!c.frequency.empty()) Field("FREQ", MegahertzOfKilohertz(c.frequency, mhz_));
        Field("MODE", c.mode);
        Field("SRX_STRING", c.report);
        Field("STX_STRING", c.sent);
        if (station_.hostPrefixes) {
            Field("CONT", c.continent);
            AppField("DXCCPREFIX", c.dxcc);
            AppField("MAINPREFIX", c.mainPrefix);
        }
        EndRecord();
        Put(out_, record_);
    }

protected:
    AdifWriter(std::ostream& out, const Station& station) : out_(out), station_(station) {}
    virtual void BeginRecord() = 0;
    virtual void EndRecord() = 0;
    // Empty values are left out.
    virtual void Field(std::string_view name, std::string_view value) = 0;
    // An application field of program YOL.
    virtual void AppField(std::string_view name, std::string_view value) = 0;

    std::ostream& out_;
    Station station_;
    std::uint64_t count_ = 0;
    std::string record_, mhz_;
};

class AdiWriter final : public AdifWriter {
public:
    AdiWriter(std::ostream& out, const Station& station) : AdifWriter(out, station) {
        Field("ADIF_VER", "3.1.4");
        Field("PROGRAMID", station.program);
        Put(out_, "Contest log written by " + station.program + "\r\n" + record_ + "<EOH>\r\n");
    }
    void Finish() override {}

private:
    void BeginRecord() override { record_.clear(); }
    void EndRecord() override { record_ += "<EOR>\r\n"; }
    void Field(std::string_view name, std::string_view value) override {
        if (value.empty()) return;
        record_.append("<").append(name).append(":").append(std::to_string(value.size()));
        record_.append(">").append(value).append(" ");
    }
    void AppField(std::string_view name, std::string_view value) override {
        Field("APP_YOL_" + std::string(name), value);
    }
};

// Windows-1251 as UTF-8 XML text: markup characters escaped, control
// characters XML 1.0 does not allow as '?'.
void AppendXml(std::string& out, std::string_view text) {
    std::size_t plain = 0;  // start of the run not yet appended
    auto flush = [&](std::size_t end) { Append1251AsUtf8(text.substr(plain, end - plain), out); };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const char* replacement = c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : nullptr;
        if (!replacement && static_cast<unsigned char>(c) < 0x20 && c != '\t') replacement = "?";
        if (!replacement) continue;
        flush(i);
        out += replacement;
        plain = i + 1;
    }
    flush(text.size());
}

class AdxWriter final : public AdifWriter {
public:
    AdxWriter(std::ostream& out, const Station& station) : AdifWriter(out, station) {
        std::string head =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<ADX>\r\n<HEADER>\r\n"
            "<ADIF_VER>3.1.4</ADIF_VER>\r\n<PROGRAMID>";
        AppendXml(head, station.program);
        head += "</PROGRAMID>\r\n</HEADER>\r\n<RECORDS>\r\n";
        Put(out_, head);
    }
    void Finish() override { Put(out_, "</RECORDS>\r\n</ADX>\r\n"); }

private:
    void BeginRecord() override { record_ = "<RECORD>"; }
    void EndRecord() override { record_ += "</RECORD>\r\n"; }
    void Field(std::string_view name, std::string_view value) override {
        if (value.empty()) return;
        record_.append("<").append(name).append(">");
        AppendXml(record_, value);
        record_.append("</").append(name).append(">");
    }
    void AppField(std::string_view name, std::string_view value) override {
        if (value.empty()) return;
        record_.append("<APP PROGRAMID=\"YOL\" FIELDNAME=\"").append(name).append("\" TYPE=\"S\">");
        AppendXml(record_, value);
        record_.append("</APP>");
    }
};

}  // namespace

std::string_view CabrilloFrequency(std::string_view band) noexcept {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 10> kKHz{{
        {"1.8", "1800"}, {"3.5", "3500"}, {"5", "5350"}, {"7", "7000"}, {"10", "10100"},
        {"14", "14000"}, {"18", "18068"}, {"21", "21000"}, {"24", "24890"}, {"28", "28000"},
    }};
    for (const auto& [host, khz] : kKHz)
        if (host == band) return khz;
    if (const BandInfo* b = BandOfHost(band); b != nullptr && !b->cabrillo.empty()) return b->cabrillo;
    return {};
}

std::string_view AdifBand(std::string_view band) noexcept {
    const BandInfo* b = BandOfHost(band);
    return b ? b->adif : std::string_view();
}

std::unique_ptr<LogWriter> MakeFileLogWriter(LogFormat format, std::ostream& out,
                                             const Station& station) {
    switch (format) {
        case LogFormat::Cabrillo: return std::make_unique<CabrilloWriter>(out, station);
        case LogFormat::Adi: return std::make_unique<AdiWriter>(out, station);
        case LogFormat::Adx: return std::make_unique<AdxWriter>(out, station);
        case LogFormat::Sqlite:
        case LogFormat::Unknown: break;
    }
    throw std::invalid_argument("no file writer for " + std::string(FormatName(format)));
}

// ---- SQLite -------------------------------------------------------------------

namespace {
// The log columns this table has (MainPrefix only with options.mainPrefix).
template <typename Fn>
void ForEachColumn(const SqliteLogOptions& options, Fn&& fn) {
    for (std::string_view column : kLogColumns)
        if (options.mainPrefix || column != "MainPrefix") fn(column);
}
}  // namespace

std::string LogTableSql(const std::string& table, const SqliteLogOptions& options) {
    std::string sql = "CREATE TABLE IF NOT EXISTS " + QuotedName(table) + " (Id INTEGER PRIMARY KEY";
    ForEachColumn(options, [&](std::string_view column) { sql.append(", ").append(column).append(" TEXT"); });
    return sql + ")";
}

void CreateLogTable(sqlite3* db, const std::string& table, const SqliteLogOptions& options) {
    ExecSql(db, LogTableSql(table, options));
}

void CreateCallSignIndex(sqlite3* db, const std::string& table) {
    ExecSql(db, "CREATE INDEX IF NOT EXISTS " + QuotedName(table + "_CallSign") + " ON " +
                    QuotedName(table) + " (CallSign)");
}

void DropLogTable(sqlite3* db, const std::string& table) {
    ExecSql(db, "DROP TABLE IF EXISTS " + QuotedName(table));
}

void EmptyLogTable(sqlite3* db, const std::string& table) {
    ExecSql(db, "DELETE FROM " + QuotedName(table));
}

SqliteLogWriter::SqliteLogWriter(sqlite3* db, const std::string& table,
                                 const SqliteLogOptions& options)
    : db_(db), mainPrefix_(options.mainPrefix) {
    std::string columns, values;
    ForEachColumn(options, [&](std::string_view column) {
        columns.append(columns.empty() ? "" : ", ").append(column);
        values.append(values.empty() ? "?" : ",?");
    });
    const std::string sql = "INSERT INTO " + QuotedName(table) + " (" + columns + ") VALUES (" + values + ")";
    sqlite3_stmt* insert = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &insert, nullptr) != SQLITE_OK) {
        insert_.reset(insert);
        throw std::runtime_error("insert into " + table + ": " + sqlite3_errmsg(db_));
    }
    insert_.reset(insert);
    ExecSql(db_, "BEGIN");
    open_ = true;
}

SqliteLogWriter::~SqliteLogWriter() {
    if (open_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

void SqliteLogWriter::Write(const ContactView& c) {
    if (!open_) throw std::logic_error("SqliteLogWriter: written after Finish");
    sqlite3_stmt* insert = insert_.get();
    int column = 1;
    auto bind = [&](std::string_view text) { BindText(insert, column++, text, false); };
    bind(c.call);
    bind(c.band);
    bind(c.mode);
    bind(c.report);
    bind(c.dxcc);
    if (mainPrefix_) bind(c.mainPrefix);
    bind(c.continent);
    const int rc = sqlite3_step(insert);
    sqlite3_reset(insert);
    sqlite3_clear_bindings(insert);
    if (rc != SQLITE_DONE) throw std::runtime_error(std::string("insert: ") + sqlite3_errmsg(db_));
}

void SqliteLogWriter::Finish() {
    if (!open_) return;
    ExecSql(db_, "COMMIT");
    open_ = false;
    insert_.reset();  // the database can be closed from here on
}

}  // namespace yol::contestlog
