// The tables and columns of a title's content database, as the one content
// schema (norwin/datalayer/content_schema.h) defines them, and how a blank
// value of each column is stored.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "norwin/platform/status.h"

namespace norwin::content_tool {

struct ContentColumn {
  std::string name;
  // Whether "absent" is Null in this column (its DEFAULT is Null); otherwise
  // it is an empty text, because the readers stop at a Null there.
  bool absent_is_null = false;
  // Whether a row means nothing without a value here (an ID, the question an
  // answer belongs to, the answer itself).
  bool required = false;
};

struct ContentTable {
  std::string name;
  std::vector<ContentColumn> columns;
  // The statement that creates the table.
  std::string create_sql;

  // The column named `name`, without regard to case; nullptr when none.
  const ContentColumn* Find(std::string_view column) const;
};

// The text-book page references: one column per text book besides its
// questionID.
inline constexpr std::string_view kPageRefsTable = "tblPageRefs";

// Every table of the schema, in its order. Read from the compiled-in schema
// once; the schema is part of the program, so a failure to read it aborts.
const std::vector<ContentTable>& ContentTables();
// The table named `name`, without regard to case; nullptr when none.
const ContentTable* FindContentTable(std::string_view name);
// "objective, task, ..." for messages.
std::string ContentTableNames();

}  // namespace norwin::content_tool
