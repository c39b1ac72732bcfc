#include "content_rows.h"

#include "norwin/platform/case_fold.h"

namespace norwin::content_tool {

Result<std::vector<Row>> ReadContentTable(ContentFile& db, const ContentTable& table) {
  Result<std::vector<std::string>> present = db.Columns(table.name);
  if (!present.ok()) return present.status();
  if (present->empty()) return Status::Error("the table " + table.name + " is missing");
  std::string missing;
  std::string sql = "SELECT ";
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const std::string& name = table.columns[i].name;
    bool found = false;
    for (const std::string& column : *present) found |= platform::EqualsIgnoringCase(column, name);
    if (!found) missing += (missing.empty() ? "" : ", ") + name;
    sql += (i ? ", " : "") + QuoteName(name);
  }
  if (!missing.empty()) {
    return Status::Error("the table " + table.name + " lacks the column(s) " + missing);
  }
  sql += " FROM " + QuoteName(table.name);
  Result<Statement> query = db.Prepare(sql);
  if (!query.ok()) return query.status();
  std::vector<Row> rows;
  for (;;) {
    Result<bool> step = query->Step();
    if (!step.ok()) return db.EngineError("reading " + table.name);
    if (!*step) break;
    Row row;
    for (int i = 0; i < query->ColumnCount(); ++i) row.push_back(query->OptionalText(i));
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace norwin::content_tool
