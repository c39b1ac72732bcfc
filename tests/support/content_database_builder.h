// Test helper: writes a title's content database, a real SQLite file made
// from the one content schema (norwin/datalayer/content_schema.h, the tables
// the content classes read), with a tblPageRefs column per text book. Values
// are bound, so any text (quotes included) goes in as it is; std::nullopt
// stores Null. Failures abort the test with the engine's message.
// Header-only; link SQLite (the automation runtime brings it) and
// norwin-content-schema.
#pragma once

#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>

#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "norwin/datalayer/content_schema.h"

namespace norwin::testing {

using OptionalText = std::optional<std::string>;

class ContentDatabaseBuilder {
 public:
  // Creates the file at `path` (replacing one there) with every table;
  // tblPageRefs gets a column for each of `text_books`. Leave tables out
  // with Omit, before adding rows.
  explicit ContentDatabaseBuilder(const std::filesystem::path& path,
                                  std::vector<std::string> text_books = {"TB1"})
      : text_books_(std::move(text_books)) {
    std::filesystem::remove(path);
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) Die("open");
    Exec("PRAGMA journal_mode=OFF");
    Exec("PRAGMA synchronous=OFF");
    Exec("BEGIN");
    Exec(std::string(datalayer::kContentSchemaSql));
    for (const std::string& book : text_books_) {
      Exec("ALTER TABLE tblPageRefs ADD COLUMN " + Quoted(book) + " TEXT");
    }
  }
  ~ContentDatabaseBuilder() { Close(); }
  ContentDatabaseBuilder(const ContentDatabaseBuilder&) = delete;
  ContentDatabaseBuilder& operator=(const ContentDatabaseBuilder&) = delete;

  // Drops a table, for tests of a database that lacks it.
  void Omit(std::string_view table) { Exec("DROP TABLE " + Quoted(table)); }
  void Exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      fprintf(stderr, "content database: %s: %s\n", sql.c_str(), error ? error : "?");
      abort();
    }
  }

  void AddObjective(OptionalText id, OptionalText module, OptionalText skill_set,
                    OptionalText label) {
    Insert("objective", {id, module, skill_set, label});
  }
  void AddTask(OptionalText id, OptionalText name, OptionalText base_href, OptionalText app,
               OptionalText view, OptionalText objective_ref) {
    Insert("task", {id, name, base_href, app, view, objective_ref});
  }
  void AddQuestion(OptionalText id, OptionalText text, OptionalText hint, OptionalText background,
                   OptionalText objective_ref, OptionalText task_ref) {
    Insert("tblQuestions", {id, text, hint, background, objective_ref, task_ref});
  }
  void AddFinalAnswer(OptionalText question, OptionalText answer, OptionalText background) {
    Insert("tblFinalAnswer", {question, answer, background});
  }
  void AddDialogAnswer(OptionalText question, OptionalText answer, OptionalText dialog) {
    Insert("tblDialogAnswer", {question, answer, dialog});
  }
  void AddPartialAnswer(OptionalText question, OptionalText answer, OptionalText background) {
    Insert("tblPartialAnswer", {question, answer, background});
  }
  // One row of tblPageRefs: the question and a value per text book, in the
  // order of the constructor's list.
  void AddPageRefs(OptionalText question, std::vector<OptionalText> refs) {
    refs.insert(refs.begin(), std::move(question));
    Insert("tblPageRefs", refs);
  }
  void AddTextBook(OptionalText id, OptionalText title, OptionalText author) {
    Insert("textBook", {id, title, author});
  }

  // Commits and closes the file; the destructor does it too.
  void Close() {
    if (!db_) return;
    Exec("COMMIT");
    sqlite3_close(db_);
    db_ = nullptr;
  }

 private:
  static std::string Quoted(std::string_view name) { return datalayer::QuoteContentName(name); }

  void Insert(std::string_view table, const std::vector<OptionalText>& values) {
    std::string sql = "INSERT INTO " + Quoted(table) + " VALUES (";
    for (size_t i = 0; i < values.size(); ++i) sql += i ? ", ?" : "?";
    sql += ")";
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) Die(sql);
    for (size_t i = 0; i < values.size(); ++i) {
      const int index = static_cast<int>(i) + 1;
      if (values[i]) {
        sqlite3_bind_text(statement, index, values[i]->data(), static_cast<int>(values[i]->size()),
                          SQLITE_TRANSIENT);
      } else {
        sqlite3_bind_null(statement, index);
      }
    }
    if (sqlite3_step(statement) != SQLITE_DONE) Die(sql);
    sqlite3_finalize(statement);
  }

  [[noreturn]] void Die(std::string_view what) {
    fprintf(stderr, "content database: %.*s: %s\n", static_cast<int>(what.size()), what.data(),
            sqlite3_errmsg(db_));
    abort();
  }

  sqlite3* db_ = nullptr;
  std::vector<std::string> text_books_;
};

}  // namespace norwin::testing
