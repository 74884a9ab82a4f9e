// The rules file's [categories] table, read by Rules.cpp (not installed:
// only the two files of the rules reader see toml++).
#pragma once

#include <string>

#include <toml++/toml.h>

#include "Categories.h"

namespace yol::check {

// Throws RulesError naming `file` and the line for unknown keys, wrong types,
// a class named twice and a default or an override naming no class.
CategoryRules ReadCategoryTable(const toml::node& node, const std::string& file);

}  // namespace yol::check
