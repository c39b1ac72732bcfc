// Reading whole tables of a content database for check and list: the
// schema's columns of a table, row by row, with Null kept apart from empty
// text; and sets of IDs compared as the content classes compare keys
// (without regard to case).
#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "content_file.h"
#include "content_tables.h"
#include "norwin/automation/key_compare.h"

namespace norwin::content_tool {

using Cell = std::optional<std::string>;
using Row = std::vector<Cell>;

// How many times each ID occurs, keyed as the pools key their members.
template <typename T>
using ById = std::unordered_map<std::string, T, automation::TextKeyHash, automation::TextKeyEqual>;

// The rows of `table` with its schema columns in schema order. Fails when
// the table or one of its columns is missing, saying which.
Result<std::vector<Row>> ReadContentTable(ContentFile& db, const ContentTable& table);

}  // namespace norwin::content_tool
