// The contest's own classes: what a log declares (Cabrillo 3.0 CATEGORY-*
// headers, Cabrillo 2.0's one CATEGORY: line, an ADIF header field named as
// Cabrillo's) read into fields, each log put into one class of the rules'
// [categories] table, and its place in its class and overall.
//
//   Declared d = ReadDeclared(log.declared);       // fields and what was not understood
//   ClassOf(rules.categories, log.call, d)          // -> index into classes, notes
//   AssignClasses(logs, rules, result);             // all of it, places included
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "CheckTypes.h"
#include "contestlog/Text.h"

namespace yol::check {

// What a category declaration says, field by field (the Cabrillo 3.0 headers'
// names without "CATEGORY-"; location is the LOCATION: header).
enum class CategoryField : std::uint8_t { Operator, Assisted, Band, Mode, Power, Station, Transmitter, Overlay, Time, Location };
inline constexpr std::size_t kCategoryFields = 10;
// "operator", "assisted", ... (the rules' keys); the header's name ("CATEGORY-POWER").
std::string_view CategoryKey(CategoryField f) noexcept;
std::string_view CategoryHeader(CategoryField f) noexcept;

struct Declared {
    std::array<std::string, kCategoryFields> value;  // upper case; empty: not declared
    std::array<std::string, kCategoryFields> from;   // the header it came from ("CATEGORY")
    std::vector<std::string> notes;                  // unknown words, conflicts: for the log's report
    bool Any() const noexcept;
};

// The log's category headers, in file order, as LogSink::Header hands them:
// CATEGORY-* and CATEGORY (a Cabrillo 2.0 line whose words are sorted into
// fields by what they are: SINGLE-OP-ASSISTED is operator and assisted), and
// LOCATION. Other names are ignored. A field said twice with different values
// keeps the first and notes the conflict.
Declared ReadDeclared(const std::vector<std::pair<std::string, std::string>>& headers);

// One class of the contest: a log is in it when each field the class names
// is declared with one of its values.
struct CategoryClass {
    std::string name;   // short, as the tables show it ("SO-LP")
    std::string title;  // for people ("Single operator, low power"); may be empty
    std::array<std::vector<std::string>, kCategoryFields> when;  // upper case; empty: any
};

struct CategoryRules {
    std::vector<CategoryClass> classes;  // in the order the results show them; empty: one table
    std::size_t defaultClass = 0;        // for a log that declares nothing or fits no class
    std::map<std::string, std::size_t> calls;  // the committee's word: call (upper case) -> class
    std::size_t Find(std::string_view name) const noexcept;  // kNone when no class has the name
};

// The committee's word on single logs in a small file beside the rules
// (yolcheck --classes FILE): one "CALL CLASS" a line, blank lines and '#'
// comments ignored; the class a name of the rules' classes. Put into
// `rules.calls`, over what the rules' [categories.calls] says of the same
// call. Throws RulesError naming the file and line: a line without a class, a
// class the rules do not define, a call given twice; rules without classes.
void ReadClassOverrides(std::string_view text, const std::string& file, CategoryRules& rules);
// The same from the file at `path` (RulesError where it cannot be read).
void LoadClassOverrides(const std::string& path, CategoryRules& rules);

// The class of one log and why, in words, where it is not what it declared
// (the first class that takes it; an override; the default with a note).
struct Placement {
    std::size_t index = kNone;  // into CategoryRules::classes; kNone when there are none
    std::vector<std::string> notes;
};
Placement ClassOf(const CategoryRules& rules, std::string_view call, const Declared& declared);

// Sets every LogResult's class (className, classIndex, category = the class's
// name, categoryNotes) and places: in its class and overall, by final score,
// ties sharing a place; checklogs get none.
void AssignClasses(const std::vector<SubmittedLog>& logs, const CategoryRules& rules, CheckResult& result);

using contestlog::Ordinal;
// "2nd of 12 in SO-LP, 7th (tie) of 40 overall"; "" for a log without a place.
std::string PlaceText(const LogResult& r);

}  // namespace yol::check
