#include "content_tables.h"

#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>

#include "norwin/datalayer/content_schema.h"
#include "norwin/platform/case_fold.h"

namespace norwin::content_tool {

namespace {

[[noreturn]] void SchemaBroken(sqlite3* db) {
  fprintf(stderr, "lumo-content: the built-in content schema is broken: %s\n", sqlite3_errmsg(db));
  abort();
}

// Runs the schema in a database in memory and reads back what it made, so
// that the program knows exactly the tables and defaults the file defines.
std::vector<ContentTable> ReadSchema() {
  sqlite3* db = nullptr;
  if (sqlite3_open(":memory:", &db) != SQLITE_OK) SchemaBroken(db);
  if (sqlite3_exec(db, std::string(datalayer::kContentSchemaSql).c_str(), nullptr, nullptr,
                   nullptr) != SQLITE_OK) {
    SchemaBroken(db);
  }
  std::vector<ContentTable> tables;
  sqlite3_stmt* list = nullptr;
  if (sqlite3_prepare_v2(db,
                         "SELECT name, sql FROM sqlite_master WHERE type = 'table' ORDER BY rowid",
                         -1, &list, nullptr) != SQLITE_OK) {
    SchemaBroken(db);
  }
  while (sqlite3_step(list) == SQLITE_ROW) {
    ContentTable table;
    table.name = reinterpret_cast<const char*>(sqlite3_column_text(list, 0));
    table.create_sql = reinterpret_cast<const char*>(sqlite3_column_text(list, 1));
    tables.push_back(std::move(table));
  }
  sqlite3_finalize(list);
  for (ContentTable& table : tables) {
    sqlite3_stmt* info = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT name, dflt_value FROM pragma_table_info(?)", -1, &info,
                           nullptr) != SQLITE_OK) {
      SchemaBroken(db);
    }
    sqlite3_bind_text(info, 1, table.name.c_str(), -1, SQLITE_STATIC);
    while (sqlite3_step(info) == SQLITE_ROW) {
      ContentColumn column;
      column.name = reinterpret_cast<const char*>(sqlite3_column_text(info, 0));
      column.absent_is_null = sqlite3_column_type(info, 1) == SQLITE_NULL;
      column.required =
          column.name == "id" || column.name == "questionID" || column.name == "answer";
      table.columns.push_back(std::move(column));
    }
    sqlite3_finalize(info);
  }
  sqlite3_close(db);
  return tables;
}

}  // namespace

const ContentColumn* ContentTable::Find(std::string_view column) const {
  for (const ContentColumn& c : columns) {
    if (platform::EqualsIgnoringCase(c.name, column)) return &c;
  }
  return nullptr;
}

const std::vector<ContentTable>& ContentTables() {
  static const std::vector<ContentTable> tables = ReadSchema();
  return tables;
}

const ContentTable* FindContentTable(std::string_view name) {
  for (const ContentTable& table : ContentTables()) {
    if (platform::EqualsIgnoringCase(table.name, name)) return &table;
  }
  return nullptr;
}

std::string ContentTableNames() {
  std::string names;
  for (const ContentTable& table : ContentTables()) {
    if (!names.empty()) names += ", ";
    names += table.name;
  }
  return names;
}

}  // namespace norwin::content_tool
