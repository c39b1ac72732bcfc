// create and import: a new database from the schema, and rows from CSV.
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <system_error>

#include "commands.h"
#include "content_file.h"
#include "content_tables.h"
#include "csv.h"
#include "norwin/platform/case_fold.h"
#include "norwin/platform/files.h"

namespace norwin::content_tool {

namespace {

// A CSV file bigger than this is no table an author typed.
constexpr size_t kMaxCsvBytes = size_t{512} << 20;

Status MakeSchema(const std::filesystem::path& file, const void*) {
  Result<std::unique_ptr<ContentFile>> db = ContentFile::Create(file);
  if (!db.ok()) return db.status();
  std::string sql = "BEGIN;";
  for (const ContentTable& table : ContentTables()) sql += table.create_sql + ";";
  sql += "COMMIT;";
  if (Status made = (*db)->Exec(sql); !made.ok()) return made;
  return (*db)->Close();
}

struct ImportColumn {
  std::string name;  // as the database names it
  bool absent_is_null = true;
  bool required = false;
};

Status ImportRows(ContentFile& db, const ContentTable& table, const std::string& csv_name,
                  const std::vector<CsvRecord>& records, size_t& imported) {
  auto bad = [&](size_t line, const std::string& what) {
    return Status::Error(csv_name + ":" + std::to_string(line) + ": " + what +
                         "; nothing was imported");
  };
  if (records.empty()) return Status::Error(csv_name + ": the file holds no header row");
  const CsvRecord& header = records.front();

  // The table as the database has it; made from the schema when missing
  // (a database copied from a desktop database may lack one).
  Result<std::vector<std::string>> existing = db.Columns(table.name);
  if (!existing.ok()) return existing.status();
  if (existing->empty()) {
    if (Status made = db.Exec(table.create_sql); !made.ok()) return made;
    existing = db.Columns(table.name);
    if (!existing.ok()) return existing.status();
  }

  std::vector<ImportColumn> columns;
  for (const std::string& cell : header.cells) {
    if (cell.empty()) return bad(header.line, "a column of the header row has no name");
    for (const ImportColumn& seen : columns) {
      if (platform::EqualsIgnoringCase(seen.name, cell)) {
        return bad(header.line, "the column '" + cell + "' is named twice");
      }
    }
    ImportColumn column;
    column.name = cell;
    bool found = false;
    for (const std::string& name : *existing) {
      if (platform::EqualsIgnoringCase(name, cell)) {
        column.name = name;
        found = true;
      }
    }
    if (const ContentColumn* known = table.Find(cell)) {
      column.absent_is_null = known->absent_is_null;
      column.required = known->required;
    }
    if (!found) {
      // Page references have one column per text book, named by its ID.
      if (!platform::EqualsIgnoringCase(table.name, kPageRefsTable)) {
        return bad(header.line, "the table " + table.name + " has no column '" + cell + "'");
      }
      if (Status added = db.Exec("ALTER TABLE " + QuoteName(table.name) + " ADD COLUMN " +
                                 QuoteName(cell) + " TEXT");
          !added.ok()) {
        return added;
      }
    }
    columns.push_back(std::move(column));
  }

  std::string sql = "INSERT INTO " + QuoteName(table.name) + " (";
  for (size_t i = 0; i < columns.size(); ++i) sql += (i ? ", " : "") + QuoteName(columns[i].name);
  sql += ") VALUES (";
  for (size_t i = 0; i < columns.size(); ++i) sql += i ? ", ?" : "?";
  sql += ")";
  Result<Statement> insert = db.Prepare(sql);
  if (!insert.ok()) return insert.status();

  for (size_t r = 1; r < records.size(); ++r) {
    const CsvRecord& record = records[r];
    if (record.cells.size() != columns.size()) {
      return bad(record.line, "the row has " + std::to_string(record.cells.size()) +
                                  " cells, the header " + std::to_string(columns.size()));
    }
    for (size_t i = 0; i < columns.size(); ++i) {
      const std::string& cell = record.cells[i];
      if (cell.empty()) {
        if (columns[i].required) return bad(record.line, "'" + columns[i].name + "' is blank");
        insert->Bind(static_cast<int>(i) + 1, columns[i].absent_is_null
                                                  ? std::nullopt
                                                  : std::optional<std::string_view>(""));
      } else {
        insert->Bind(static_cast<int>(i) + 1, cell);
      }
    }
    if (Result<bool> step = insert->Step(); !step.ok()) return bad(record.line, step.message());
    insert->Reset();
    ++imported;
  }
  return Status::Ok();
}

}  // namespace

Status BuildNewFile(const std::filesystem::path& target,
                    Status (*build)(const std::filesystem::path& file, const void* context),
                    const void* context) {
  std::error_code error;
  if (std::filesystem::exists(std::filesystem::symlink_status(target, error))) {
    return Status::Error(target.string() + ": the file exists already");
  }
  std::filesystem::path temporary = target;
  temporary += ".partial-" + std::to_string(std::random_device()());
  Status built = build(temporary, context);
  if (built.ok()) {
    // A hard link never replaces a file that appeared meanwhile; file
    // systems without links (a FAT memory stick) get a rename instead.
    if (link(temporary.c_str(), target.c_str()) == 0) {
      std::filesystem::remove(temporary, error);
    } else if (errno == EEXIST) {
      built = Status::Error(target.string() + ": the file exists already");
    } else {
      std::filesystem::rename(temporary, target, error);
      if (error) built = Status::Error(target.string() + ": " + error.message());
    }
  }
  if (!built.ok()) {
    std::filesystem::remove(temporary, error);
    std::filesystem::path journal = temporary;
    journal += "-journal";
    std::filesystem::remove(journal, error);
  }
  return built;
}

Status CreateDatabase(const std::filesystem::path& db) {
  if (Status made = BuildNewFile(db, MakeSchema, nullptr); !made.ok()) return made;
  printf("Created %s with the tables %s.\n", db.c_str(), ContentTableNames().c_str());
  return Status::Ok();
}

Status ImportCsv(const std::filesystem::path& db_path, std::string_view table_name,
                 const std::filesystem::path& csv) {
  const ContentTable* table = FindContentTable(table_name);
  if (!table) {
    return Status::Error("no table '" + std::string(table_name) +
                         "' in a content database; the tables are " + ContentTableNames());
  }
  Result<std::string> bytes = platform::ReadFileCapped(csv, kMaxCsvBytes);
  if (!bytes.ok()) return bytes.status();
  bool converted = false;
  const std::string text = CsvTextAsUtf8(std::move(*bytes), converted);
  if (converted) {
    fprintf(stderr, "lumo-content: %s is not UTF-8; read as Windows-1252\n", csv.c_str());
  }
  Result<std::vector<CsvRecord>> records = ParseCsv(text, csv.string());
  if (!records.ok()) return Status::Error(records.message() + "; nothing was imported");

  Result<std::unique_ptr<ContentFile>> db = ContentFile::Open(db_path, ContentFile::Access::kWrite);
  if (!db.ok()) return db.status();
  if (Status begun = (*db)->Exec("BEGIN IMMEDIATE"); !begun.ok()) return begun;
  size_t imported = 0;
  Status done = ImportRows(**db, *table, csv.string(), *records, imported);
  if (!done.ok()) {
    (void)(*db)->Exec("ROLLBACK");
    return done;
  }
  if (Status committed = (*db)->Exec("COMMIT"); !committed.ok()) return committed;
  if (Status closed = (*db)->Close(); !closed.ok()) return closed;
  printf("Imported %zu row%s into %s.\n", imported, imported == 1 ? "" : "s", table->name.c_str());
  return Status::Ok();
}

}  // namespace norwin::content_tool
