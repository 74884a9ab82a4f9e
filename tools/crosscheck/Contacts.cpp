// The submitted logs' compact contacts, and the names of verdicts and blame.
#include <algorithm>
#include <stdexcept>

#include "CheckTypes.h"

namespace yol::check {
namespace {

// Appends `text` to the pool, cut to `max` bytes; returns the size kept.
std::size_t Put(std::string& pool, std::string_view text, std::size_t max) {
    const std::size_t n = std::min(text.size(), max);
    pool.append(text.data(), n);
    return n;
}

// The texts one after another into `out`, their sizes into `c`.
void Store(CheckContact& c, const ContactTexts& t, std::string& out) {
    c.bandSize = static_cast<std::uint8_t>(Put(out, t.band, 255));
    c.modeSize = static_cast<std::uint8_t>(Put(out, t.mode, 255));
    c.frequencySize = static_cast<std::uint8_t>(Put(out, t.frequency, 255));
    c.ownCallSize = static_cast<std::uint8_t>(Put(out, t.ownCall, 255));
    c.callSize = static_cast<std::uint8_t>(Put(out, t.call, 255));
    c.sentSize = static_cast<std::uint16_t>(Put(out, t.sent, 0xFFFF));
    c.receivedSize = static_cast<std::uint16_t>(Put(out, t.report, 0xFFFF));
    c.dxccSize = static_cast<std::uint8_t>(Put(out, t.dxcc, 255));
    c.mainPrefixSize = static_cast<std::uint8_t>(Put(out, t.mainPrefix, 255));
    c.continentSize = static_cast<std::uint8_t>(Put(out, t.continent, 255));
}

void CheckRoom(const std::string& pool, const std::string& file) {
    if (pool.size() > 0xFFFC0000u) throw std::length_error("a log's texts exceed 4 GiB: " + file);
}

}  // namespace

void SubmittedLog::SetTexts(std::size_t i, const ContactTexts& t) {
    // Into a record of its own first: the texts may be views into this pool.
    std::string record;
    CheckContact& c = contacts[i];
    Store(c, t, record);
    const std::size_t recordSize = record.size();
    c.lineSize = static_cast<std::uint16_t>(Put(record, t.line, 0xFFFF));
    CheckRoom(pool, file);
    c.at = static_cast<std::uint32_t>(pool.size());
    c.lineAt = static_cast<std::uint32_t>(pool.size() + recordSize);
    c.lineInFile = false;
    pool += record;
}

void SubmittedLog::KeepLine(std::size_t i, std::string_view line) {
    CheckRoom(pool, file);
    CheckContact& c = contacts[i];
    c.lineAt = static_cast<std::uint32_t>(pool.size());
    c.lineSize = static_cast<std::uint16_t>(Put(pool, line, 0xFFFF));
    c.lineInFile = false;
}

void SubmittedLog::Add(std::int64_t time, std::size_t place, const ContactTexts& texts, std::size_t lineInFile) {
    CheckContact c;
    c.time = time;
    c.place = static_cast<std::uint32_t>(std::min<std::size_t>(place, 0xFFFFFFFFu));
    CheckRoom(pool, file);
    c.at = static_cast<std::uint32_t>(pool.size());
    Store(c, texts, pool);
    if (lineInFile != kLineInPool && lineInFile <= 0xFFFFFFFFu) {
        c.lineAt = static_cast<std::uint32_t>(lineInFile);
        c.lineSize = static_cast<std::uint16_t>(std::min<std::size_t>(texts.line.size(), 0xFFFF));
        c.lineInFile = true;
    } else {
        c.lineAt = static_cast<std::uint32_t>(pool.size());
        c.lineSize = static_cast<std::uint16_t>(Put(pool, texts.line, 0xFFFF));
    }
    contacts.push_back(c);
}

ContactTexts SubmittedLog::Texts(std::size_t i) const noexcept {
    const CheckContact& c = contacts[i];
    const char* p = pool.data() + c.at;
    auto next = [&p](std::size_t n) {
        const std::string_view v(p, n);
        p += n;
        return v;
    };
    ContactTexts t;
    t.band = next(c.bandSize);
    t.mode = next(c.modeSize);
    t.frequency = next(c.frequencySize);
    t.ownCall = next(c.ownCallSize);
    t.call = next(c.callSize);
    t.sent = next(c.sentSize);
    t.report = next(c.receivedSize);
    t.dxcc = next(c.dxccSize);
    t.mainPrefix = next(c.mainPrefixSize);
    t.continent = next(c.continentSize);
    if (!c.lineInFile) t.line = std::string_view(pool.data() + c.lineAt, c.lineSize);
    t.time = c.time;
    t.place = c.place;
    return t;
}

std::string_view VerdictCode(Verdict v) noexcept {
    static constexpr std::string_view codes[kVerdictCount] = {"OK",   "EXCHANGE", "BUSTED",  "NIL",
                                                              "UNIQUE", "NOLOG",  "DUPE",    "PERIOD",
                                                              "INVALID", "PARTNER", "CHECKLOG"};
    return codes[static_cast<std::size_t>(v)];
}

std::string_view VerdictHeading(Verdict v) noexcept {
    static constexpr std::string_view headings[kVerdictCount] = {
        "Confirmed",
        "Received exchange miscopied",
        "Busted calls",
        "Not in the other station's log",
        "Uniques (no log from the other station, not credited)",
        "No log from the other station (credited)",
        "Duplicates",
        "Outside the contest period",
        "Band or mode not allowed",
        "Taken off because the other station erred",
        "Checklog contacts",
    };
    return headings[static_cast<std::size_t>(v)];
}

std::string_view BlameCode(Blame b) noexcept {
    switch (b) {
        case Blame::Self: return "self";
        case Blame::Other: return "other";
        case Blame::None: break;
    }
    return "";
}

}  // namespace yol::check
