// check: everything in a content database that the content classes would
// refuse, listed at once, so that an author fixes them all in one pass.
#include <stdio.h>

#include <map>

#include "commands.h"
#include "content_rows.h"
#include "norwin/platform/case_fold.h"

namespace norwin::content_tool {

namespace {

class Checker {
 public:
  explicit Checker(ContentFile& db) : db_(db) {}

  std::vector<std::string> Run() {
    std::map<std::string, std::vector<Row>> tables;
    for (const ContentTable& table : ContentTables()) {
      Result<std::vector<Row>> rows = ReadContentTable(db_, table);
      if (!rows.ok()) {
        problems_.push_back(rows.message());
        continue;
      }
      CheckText(table, *rows);
      tables[table.name] = std::move(*rows);
    }
    auto has = [&](const char* name) { return tables.count(name) != 0; };
    ById<int> objectives, tasks, questions;
    if (has("objective")) objectives = Ids("objective", "objectives", tables["objective"]);
    if (has("task")) {
      tasks = Ids("task", "tasks", tables["task"]);
      if (has("objective")) {
        for (const Row& row : tables["task"]) {
          Reference("task", row[0], row[5], "objectiveRef", objectives, "objective");
        }
      }
    }
    if (has("tblQuestions")) {
      questions = Ids("tblQuestions", "questions", tables["tblQuestions"]);
      for (const Row& row : tables["tblQuestions"]) {
        if (has("objective"))
          Reference("question", row[0], row[4], "objectiveRef", objectives, "objective");
        if (has("task")) Reference("question", row[0], row[5], "taskRef", tasks, "task");
      }
      for (const char* answers : {"tblFinalAnswer", "tblDialogAnswer", "tblPartialAnswer"}) {
        if (has(answers)) Answers(answers, tables[answers], questions);
      }
      if (has("tblPageRefs")) {
        for (const Row& row : tables["tblPageRefs"]) {
          if (row[0] && !questions.count(*row[0])) {
            problems_.push_back("tblPageRefs: the question '" + *row[0] + "' does not exist");
          }
        }
      }
    }
    if (has("textBook")) {
      Ids("textBook", "text books", tables["textBook"]);
      Result<std::vector<std::string>> columns = db_.Columns(kPageRefsTable);
      const bool page_refs = columns.ok() && !columns->empty();  // else reported already
      ById<bool> reported;
      for (const Row& row : tables["textBook"]) {
        if (!page_refs || !row[0] || row[0]->empty()) continue;
        bool found = false;
        for (const std::string& column : *columns) {
          found |= platform::EqualsIgnoringCase(column, *row[0]);
        }
        if (!found && reported.emplace(*row[0], true).second) {
          problems_.push_back("the text book '" + *row[0] +
                              "' has no column in tblPageRefs (its page references cannot load)");
        }
      }
    }
    return std::move(problems_);
  }

 private:
  static std::string Label(const std::string& what, const Cell& id, size_t row) {
    if (id && !id->empty()) return what + " '" + *id + "'";
    return what + " in row " + std::to_string(row + 1);
  }

  // A Null where the classes read text stops their load.
  void CheckText(const ContentTable& table, const std::vector<Row>& rows) {
    if (table.name == "textBook" || table.name == kPageRefsTable) return;
    for (size_t r = 0; r < rows.size(); ++r) {
      for (size_t c = 0; c < table.columns.size(); ++c) {
        const ContentColumn& column = table.columns[c];
        if (column.absent_is_null || column.name == "questionID" || rows[r][c]) continue;
        problems_.push_back(Label(table.name, rows[r][0], r) + ": " + column.name +
                            " is Null (use an empty text)");
      }
    }
  }

  // The IDs of a pool table (column 0); empty, blank and repeated IDs are
  // problems, and so is a table without rows, which the pools refuse.
  ById<int> Ids(const std::string& table, const std::string& what, const std::vector<Row>& rows) {
    ById<int> ids;
    if (rows.empty() && table != "textBook") {
      problems_.push_back("the table " + table + " holds no rows (the " + what + " will not load)");
    }
    for (size_t r = 0; r < rows.size(); ++r) {
      if (!rows[r][0] || rows[r][0]->empty()) {
        problems_.push_back(table + " row " + std::to_string(r + 1) + " has no ID");
        continue;
      }
      if (++ids[*rows[r][0]] == 2) {
        problems_.push_back(table + ": the ID '" + *rows[r][0] + "' is used more than once");
      }
    }
    return ids;
  }

  void Reference(const std::string& what, const Cell& id, const Cell& ref,
                 const std::string& column, const ById<int>& targets, const std::string& target) {
    if (!ref || !id) return;  // Null: no reference; no ID: reported already
    if (!targets.count(*ref)) {
      problems_.push_back(what + " '" + *id + "': " + column + " '" + *ref + "' is no " + target);
    }
  }

  void Answers(const std::string& table, const std::vector<Row>& rows, const ById<int>& questions) {
    ById<std::map<std::string, int>> seen;
    for (const Row& row : rows) {
      if (!row[0]) continue;  // belongs to no question; the pool passes over it
      if (!questions.count(*row[0])) {
        problems_.push_back(table + ": the question '" + *row[0] + "' of the answer '" +
                            row[1].value_or("") + "' does not exist");
        continue;
      }
      // Answers are the keys of a dictionary, which compares them exactly.
      if (row[1] && ++seen[*row[0]][*row[1]] == 2) {
        problems_.push_back(table + ": the question '" + *row[0] + "' has the answer '" + *row[1] +
                            "' more than once");
      }
    }
  }

  ContentFile& db_;
  std::vector<std::string> problems_;
};

}  // namespace

Status CheckDatabase(const std::filesystem::path& path) {
  Result<std::unique_ptr<ContentFile>> db = ContentFile::Open(path, ContentFile::Access::kRead);
  if (!db.ok()) return db.status();
  const std::vector<std::string> problems = Checker(**db).Run();
  if (problems.empty()) {
    printf("%s: no problems found.\n", path.c_str());
    return Status::Ok();
  }
  for (const std::string& problem : problems) printf("%s\n", problem.c_str());
  return Status::Error(path.string() + ": " + std::to_string(problems.size()) +
                       (problems.size() == 1 ? " problem" : " problems"));
}

}  // namespace norwin::content_tool
