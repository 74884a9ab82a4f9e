// yolsitedemo: fills the results site's structs with a synthetic contest and
// writes the site to a folder, with the results table and the per-contact
// verdicts as CSV beside it (what the browser checks compare the pages with).
//
//   yolsitedemo --out DIR [--logs N] [--contacts M] [--seed S] [--no-csv]
//
// --logs: logs in the contest (default 7; the first few are fixed stations,
// some with Cyrillic names); --contacts: average contacts per log (default
// 300). Prints the time taken to write the site and the index's size. The log
// pages are made on two threads where the machine has two cores.
#include "WebReport.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <set>
#include <string>

#include "contestlog/Parallel.h"

namespace wr = yol::webreport;
namespace fs = std::filesystem;

// The file a station's log would come in: "dl1abc_p.log".
std::string PageFile(const std::string& call);

namespace {

constexpr std::int64_t kStart = 29941200;  // 2026-12-05 12:00 UTC, minutes since 1970
constexpr std::int64_t kLength = 24 * 60;

struct Options {
    fs::path out;
    int logs = 7;
    int contacts = 300;
    unsigned seed = 1;
    bool csv = true;
    bool write = true;  // --no-write: pages made but not stored (to time the writer alone)
};

struct Station {
    std::string call, name, category;
};

std::string Cabrillo(std::int64_t utc, const std::string& band, const std::string& mode, const std::string& own,
                     const std::string& sent, const std::string& call, const std::string& rcvd) {
    static const std::pair<const char*, const char*> kFreq[] = {{"160m", "1830"}, {"80m", "3550"}, {"40m", "7020"},
                                                                {"20m", "14025"}, {"15m", "21030"}, {"10m", "28030"}};
    std::string freq = "14025";
    for (const auto& [b, f] : kFreq)
        if (band == b) freq = f;
    const std::int64_t days = utc / 1440, inDay = utc % 1440;
    const std::chrono::year_month_day ymd{std::chrono::sys_days{std::chrono::days{days}}};
    char buf[200];
    std::snprintf(buf, sizeof buf, "QSO: %5s %s %04d-%02u-%02u %02d%02d %-13s %-10s %-13s %s", freq.c_str(),
                  mode.c_str(), static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                  static_cast<unsigned>(ymd.day()), static_cast<int>(inDay / 60), static_cast<int>(inDay % 60),
                  own.c_str(), sent.c_str(), call.c_str(), rcvd.c_str());
    return buf;
}

std::string CsvField(const std::string& s) {
    if (s.find_first_of(",\"\n") == std::string::npos) return s;
    std::string q = "\"";
    for (char c : s) {
        if (c == '"') q += '"';
        q += c;
    }
    return q + '"';
}

std::vector<Station> Stations(int n, std::mt19937& rng) {
    std::vector<Station> s = {
        {"UA3ABC", "Иван Петров", "SINGLE-OP ALL HIGH"},
        {"RK9XYZ", "Сергей Иванов", "SINGLE-OP ALL HIGH"},
        {"DL1ABC/P", "Jürgen Müller", "SINGLE-OP ALL LOW"},
        {"R3DEMO", "Ольга Смирнова", "ЮНИОРЫ"},
        {"OK2XX", "", "SINGLE-OP ALL LOW"},
        {"UR5ABC", "Тарас Шевченко", "MULTI-ONE"},
        {"K1AR", "", "SINGLE-OP ALL HIGH"},
    };
    s.resize(std::min<std::size_t>(s.size(), static_cast<std::size_t>(n)));
    static const char* kPrefixes[] = {"UA", "RA", "RK", "RW", "UR", "DL", "OK", "SP", "HA", "LY", "ES", "YL", "EW", "K", "W"};
    static const char* kCategories[] = {"SINGLE-OP ALL HIGH", "SINGLE-OP ALL LOW", "SINGLE-OP 20M", "MULTI-ONE",
                                        "MULTI-MULTI", "ЮНИОРЫ"};
    std::set<std::string> seen;
    for (const auto& st : s) seen.insert(st.call);
    std::uniform_int_distribution<int> letter(0, 25), digit(0, 9), three(0, 2);
    while (static_cast<int>(s.size()) < n) {
        std::string call = kPrefixes[rng() % std::size(kPrefixes)];
        call += static_cast<char>('0' + digit(rng));
        const int tail = 2 + (three(rng) ? 1 : 0);
        for (int i = 0; i < tail; ++i) call += static_cast<char>('A' + letter(rng));
        if (!seen.insert(call).second) continue;
        s.push_back({call, "", kCategories[rng() % std::size(kCategories)]});
    }
    return s;
}

wr::LogReport MakeLog(const Station& st, const std::vector<Station>& all, int mean, std::mt19937& rng) {
    static const std::string kBands[] = {"160m", "80m", "40m", "20m", "15m", "10m"};
    std::uniform_real_distribution<double> u(0, 1);
    wr::LogReport r;
    r.call = st.call;
    r.name = st.name;
    r.category = st.category;
    const bool oneBand = st.category == "SINGLE-OP 20M";
    // Active hours: the station sleeps a few hours and works the rest at its own rate.
    std::vector<int> rate(24);
    const double level = std::max(1.0, std::normal_distribution<double>(mean / 20.0, mean / 60.0)(rng));
    for (int h = 0; h < 24; ++h)
        rate[static_cast<std::size_t>(h)] = u(rng) < 0.2 ? 0 : static_cast<int>(level * (0.4 + u(rng) * 1.2));
    struct Q {
        std::int64_t utc;
        std::string band;
    };
    std::vector<Q> qs;
    for (int h = 0; h < 24; ++h) {
        const std::int64_t hourStart = kStart + h * 60;
        const int utcHour = static_cast<int>((hourStart / 60) % 24);
        const bool day = utcHour >= 6 && utcHour < 16;
        for (int i = 0; i < rate[static_cast<std::size_t>(h)]; ++i) {
            std::size_t b;
            if (oneBand) b = 3;
            else if (day) b = 2 + static_cast<std::size_t>(u(rng) * 4);
            else b = static_cast<std::size_t>(u(rng) * 4);
            qs.push_back({hourStart + static_cast<std::int64_t>(u(rng) * 60), kBands[std::min<std::size_t>(b, 5)]});
        }
    }
    std::sort(qs.begin(), qs.end(), [](const Q& a, const Q& b) { return a.utc < b.utc; });

    std::int64_t points = 0, rawPoints = 0, credited = 0, rawCredited = 0, blamed = 0;
    std::set<std::pair<std::string, int>> mults, rawMults;
    const std::string sent = "599 MO" + std::to_string(10 + (rng() % 80));
    for (std::size_t i = 0; i < qs.size(); ++i) {
        const auto& q = qs[i];
        const Station& other = all[rng() % all.size()];
        const std::string call = other.call == st.call ? "UA9AA" : other.call;
        const int district = static_cast<int>(rng() % 60);
        const std::string rcvd = "599 MO" + std::to_string(10 + district);
        const double x = u(rng);
        wr::Verdict v = wr::Verdict::Ok;
        if (x < 0.02) v = wr::Verdict::Exchange;
        else if (x < 0.035) v = wr::Verdict::Busted;
        else if (x < 0.05) v = wr::Verdict::Nil;
        else if (x < 0.06) v = wr::Verdict::Dupe;
        else if (x < 0.065) v = wr::Verdict::Unique;
        else if (x < 0.07) v = wr::Verdict::NoLog;
        const std::int64_t worth = (q.band == "160m" || q.band == "80m") ? 2 : 1;
        const std::string mode = u(rng) < 0.7 ? "CW" : "PH";
        if (v != wr::Verdict::Dupe) {
            rawPoints += worth;
            ++rawCredited;
            rawMults.insert({q.band, district});
        }
        std::int64_t earned = 0, lost = 0;
        if (v == wr::Verdict::Ok || v == wr::Verdict::NoLog) {
            earned = worth;
            ++credited;
            mults.insert({q.band, district});
        } else {
            lost = worth;
            if (v == wr::Verdict::Busted || v == wr::Verdict::Nil) lost += worth;  // penalty: once more
            if (v != wr::Verdict::Unique) ++blamed;
        }
        points += earned - (lost > worth ? lost - worth : 0);
        const std::int64_t score = std::max<std::int64_t>(0, points) * static_cast<std::int64_t>(mults.size());
        r.contacts.push_back({q.utc, q.band, v, earned, score});
        if (v == wr::Verdict::Ok || v == wr::Verdict::NoLog) continue;
        wr::RemovedContact rc;
        rc.verdict = v;
        rc.utc = q.utc;
        rc.band = q.band;
        rc.mode = mode;
        rc.call = call;
        rc.lost = lost;
        rc.ownPlace = PageFile(st.call) + ":" + std::to_string(20 + i);
        rc.ownLine = Cabrillo(q.utc, q.band, mode, st.call, sent, call, rcvd);
        const std::string otherFile = PageFile(call) + ":" + std::to_string(20 + (rng() % 900));
        switch (v) {
        case wr::Verdict::Exchange:
            rc.reason = "you copied MO" + std::to_string(11 + district) + " as MO" + std::to_string(10 + district);
            rc.otherPlace = otherFile;
            rc.otherLine = Cabrillo(q.utc + 1, q.band, mode, call, "599 MO" + std::to_string(11 + district), st.call, sent);
            break;
        case wr::Verdict::Busted: {
            std::string real = call;
            real.back() = real.back() == 'E' ? 'I' : 'E';  // a dot for a dash: a Morse confusion
            rc.reason = "busted call: the station worked was " + real;
            rc.otherPlace = PageFile(real) + ":" + std::to_string(30 + (rng() % 900));
            rc.otherLine = Cabrillo(q.utc, q.band, mode, real, "599 MO" + std::to_string(10 + district), st.call, sent);
            break;
        }
        case wr::Verdict::Nil:
            rc.reason = u(rng) < 0.5 ? std::string("not in the log of ") + call
                                     : "not in the log of " + call + "; it has the contact 9 minutes later";
            break;
        case wr::Verdict::Dupe: rc.reason = "worked before on " + q.band + " " + mode; break;
        case wr::Verdict::Unique: rc.reason = "no log from " + call + ", seen in no other log"; break;
        default: break;
        }
        r.removed.push_back(std::move(rc));
        if (r.removed.size() % 9 == 0) {
            wr::RemovedContact info = r.removed.back();
            info.verdict = wr::Verdict::Partner;
            info.reason = call + " logged you as " + st.call.substr(0, st.call.size() - 1) + "S";
            std::swap(info.ownLine, info.otherLine);
            std::swap(info.ownPlace, info.otherPlace);
            if (info.ownLine.empty()) {
                info.ownPlace = otherFile;
                info.ownLine = Cabrillo(q.utc, q.band, mode, call, rcvd, info.reason.substr(info.reason.rfind(' ') + 1), sent);
            }
            r.othersMiscopied.push_back(std::move(info));
        }
    }
    r.rawContacts = rawCredited;
    r.finalContacts = credited;
    r.points = std::max<std::int64_t>(0, points);
    r.multipliers = static_cast<std::int64_t>(mults.size());
    r.finalScore = r.contacts.empty() ? 0 : r.contacts.back().runningScore;
    r.rawScore = rawPoints * static_cast<std::int64_t>(rawMults.size());
    if (u(rng) < 0.85) r.claimed = r.rawScore + static_cast<std::int64_t>(static_cast<double>(r.rawScore) * u(rng) * 0.02);
    const double base = static_cast<double>(r.claimed ? *r.claimed : r.rawScore);
    r.reductionPercent = base > 0 ? 100.0 * (base - static_cast<double>(r.finalScore)) / base : 0;
    r.errorRatePercent = r.contacts.empty() ? 0 : 100.0 * static_cast<double>(blamed) / static_cast<double>(r.contacts.size());
    if (u(rng) < 0.3) r.clockOffsetMinutes = static_cast<double>(static_cast<int>(rng() % 15) - 7);
    else r.clockOffsetMinutes = 0.0;
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::cerr << "yolsitedemo: " << a << " needs a value\n";
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--out") o.out = value();
        else if (a == "--logs") o.logs = std::stoi(value());
        else if (a == "--contacts") o.contacts = std::stoi(value());
        else if (a == "--seed") o.seed = static_cast<unsigned>(std::stoul(value()));
        else if (a == "--no-csv") o.csv = false;
        else if (a == "--no-write") o.write = false;
        else {
            std::cerr << "usage: yolsitedemo --out DIR [--logs N] [--contacts M] [--seed S] [--no-csv]\n";
            return 2;
        }
    }
    if (o.out.empty() || o.logs < 1) {
        std::cerr << "usage: yolsitedemo --out DIR [--logs N] [--contacts M] [--seed S] [--no-csv]\n";
        return 2;
    }
    std::mt19937 rng(o.seed);
    const auto t0 = std::chrono::steady_clock::now();
    wr::Site site;
    site.title = "YOL Contest 2026 (synthetic)";
    site.generated = "Synthetic results written by yolsitedemo, seed " + std::to_string(o.seed) + ".";
    const auto stations = Stations(o.logs, rng);
    wr::CheckSummary sum;
    std::map<std::string, std::map<std::string, std::int64_t>> busted;
    std::int64_t confirmed = 0;
    for (const auto& st : stations) {
        site.logs.push_back(MakeLog(st, stations, o.contacts, rng));
        const auto& r = site.logs.back();
        site.results.push_back(wr::ResultRowOf(r));
        ++sum.logs;
        sum.contacts += static_cast<std::int64_t>(r.contacts.size());
        for (const auto& c : r.contacts) {
            switch (c.verdict) {
            case wr::Verdict::Ok: ++confirmed; break;
            case wr::Verdict::Busted: ++sum.busted; break;
            case wr::Verdict::Nil: ++sum.notInLog; break;
            case wr::Verdict::Exchange: ++sum.exchange; break;
            case wr::Verdict::Unique: ++sum.uniques; break;
            case wr::Verdict::Dupe: ++sum.dupes; break;
            default: break;
            }
        }
        for (const auto& rc : r.removed)
            if (rc.verdict == wr::Verdict::Busted) {
                std::string real = rc.call;
                real.back() = real.back() == 'E' ? 'I' : 'E';
                ++busted[real][rc.call];
            }
    }
    sum.checklogs = 2;
    sum.confirmedPercent = sum.contacts ? 100.0 * static_cast<double>(confirmed) / static_cast<double>(sum.contacts) : 0;
    sum.crossCheckedPercent = sum.contacts ? 100.0 - 100.0 * static_cast<double>(sum.uniques) / static_cast<double>(sum.contacts) : 0;
    for (const auto& [real, into] : busted) {
        wr::BustedCall b{real, 0, {}};
        for (const auto& [as, n] : into) {
            b.times += n;
            b.into.emplace_back(as, n);
        }
        std::sort(b.into.begin(), b.into.end(), [](const auto& x, const auto& y) { return x.second > y.second; });
        sum.mostBusted.push_back(std::move(b));
    }
    std::stable_sort(sum.mostBusted.begin(), sum.mostBusted.end(),
                     [](const wr::BustedCall& a, const wr::BustedCall& b) { return a.times > b.times; });
    if (sum.mostBusted.size() > 20) sum.mostBusted.resize(20);
    sum.seconds = 12.5;
    site.summary = sum;
    // Places as the check gives them: by final score in each category and overall.
    std::map<std::string, std::vector<wr::LogReport*>> byClass;
    std::vector<wr::LogReport*> all;
    for (auto& r : site.logs) {
        r.className = r.category;
        byClass[r.category].push_back(&r);
        all.push_back(&r);
    }
    auto place = [](std::vector<wr::LogReport*>& list, bool overall) {
        std::stable_sort(list.begin(), list.end(), [](auto* a, auto* b) { return a->finalScore > b->finalScore; });
        for (std::size_t k = 0; k < list.size(); ++k) {
            (overall ? list[k]->placeOverall : list[k]->placeInClass) = static_cast<std::uint32_t>(k + 1);
            (overall ? list[k]->overallSize : list[k]->classSize) = static_cast<std::uint32_t>(list.size());
        }
    };
    place(all, true);
    for (auto& [name, list] : byClass) place(list, false);
    site.results.clear();
    for (const auto& r : site.logs) site.results.push_back(wr::ResultRowOf(r));
    const auto t1 = std::chrono::steady_clock::now();

    fs::create_directories(o.out / "log");
    yol::contestlog::SetWorkerThreads(2);  // the log pages made on two threads, as yolcheck makes them
    std::uintmax_t indexSize = 0, total = 0;
    std::size_t files = 0;
    std::chrono::steady_clock::duration storing{};
    wr::WriteSite(site, [&](std::string_view name, std::string_view content) {
        if (name == "index.html") indexSize = content.size();
        total += content.size();
        ++files;
        if (!o.write) return;
        const auto storeStart = std::chrono::steady_clock::now();
        const fs::path path = o.out / fs::path(std::string(name));
        std::ofstream f(path, std::ios::binary);
        f.write(content.data(), static_cast<std::streamsize>(content.size()));
        f.close();
        if (!f) {
            std::cerr << "yolsitedemo: cannot write " << path << "\n";
            std::exit(1);
        }
        storing += std::chrono::steady_clock::now() - storeStart;
    });
    const auto t2 = std::chrono::steady_clock::now();
    // The operator's own page for the first log, as yolscore --html writes it.
    {
        // The scorer knows no other log: only its own dupes are taken off, nothing is
        // penalised or quoted from another log.
        wr::LogReport own = site.logs.front();
        own.crossChecked = false;
        own.othersMiscopied.clear();
        std::erase_if(own.removed, [](const wr::RemovedContact& c) { return c.verdict != wr::Verdict::Dupe; });
        std::int64_t score = 0;
        for (auto& c : own.contacts) {
            if (c.verdict != wr::Verdict::Dupe) {
                c.verdict = wr::Verdict::Ok;
                c.points = 1;
            }
            score += c.points;
            c.runningScore = score;
        }
        own.finalScore = score;
        own.points = score;
        own.multipliers = 1;
        own.finalContacts = score;
        std::ofstream(o.out / "own.html", std::ios::binary) << wr::LogPage(own, "YOL Contest 2026");
    }
    if (o.csv) {
        std::ofstream res(o.out / "results.csv", std::ios::binary);
        res << "call,category,claimed,raw_contacts,final_contacts,points,multipliers,score,reduction_pct,error_rate_pct\n";
        for (const auto& r : site.logs) {
            char red[32], err[32];
            std::snprintf(red, sizeof red, "%.1f", r.reductionPercent);
            std::snprintf(err, sizeof err, "%.1f", r.errorRatePercent);
            res << CsvField(r.call) << ',' << CsvField(r.category) << ',' << (r.claimed ? std::to_string(*r.claimed) : "")
                << ',' << r.rawContacts << ',' << r.finalContacts << ',' << r.points << ',' << r.multipliers << ','
                << r.finalScore << ',' << red << ',' << err << '\n';
        }
        std::ofstream ver(o.out / "verdicts.csv", std::ios::binary);
        ver << "log,file,line,utc,band,mode,call,verdict,blamed,other_call,other_line,minutes_off,points,detail\n";
        for (const auto& r : site.logs) {
            std::size_t line = 20;
            for (const auto& c : r.contacts) {
                const std::int64_t days = c.utc / 1440, m = c.utc % 1440;
                const std::chrono::year_month_day ymd{std::chrono::sys_days{std::chrono::days{days}}};
                char utc[32];
                std::snprintf(utc, sizeof utc, "%04d-%02u-%02u %02d:%02d", static_cast<int>(ymd.year()),
                              static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                              static_cast<int>(m / 60), static_cast<int>(m % 60));
                ver << CsvField(r.call) << ',' << CsvField(PageFile(r.call)) << ',' << line++ << ',' << utc << ','
                    << c.band << ",CW,," << wr::VerdictCode(c.verdict) << ",,,,," << c.points << ",\n";
            }
        }
    }
    const auto secs = [](auto a, auto b) { return std::chrono::duration<double>(b - a).count(); };
    std::printf("logs %d, contacts %lld, data made in %.2f s\n", o.logs, static_cast<long long>(sum.contacts), secs(t0, t1));
    const double stored = std::chrono::duration<double>(storing).count();
    std::printf("site written in %.2f s (waiting for pages %.2f s, storing %.2f s): %zu files, %.1f MB, index.html %llu bytes\n",
                secs(t1, t2), secs(t1, t2) - stored, stored, files, static_cast<double>(total) / 1e6,
                static_cast<unsigned long long>(indexSize));
    return 0;
}

std::string PageFile(const std::string& call) {
    std::string f;
    for (char c : call) f += c == '/' ? '_' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return f + ".log";
}
