// lumo-content as authors run it: the built program on real files. CSV
// imports that take a whole file or nothing, blank cells stored as the
// readers take "absent", check and list on real databases, and desktop
// databases copied through libmdb compared with what mdbtools' own programs
// print for the same files.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>

#include "support/run_program.h"
#include "support/temp_prefix.h"

namespace norwin::testing {
namespace {

const std::string kMdbFolder = std::string(NORWIN_SOURCE_DIR) + "/../shared/testdata/mdb/";

ProgramRun Tool(const std::vector<std::string>& args) {
  return RunProgram(std::string(NORWIN_BINARY_DIR) + "/bin/lumo-content", args);
}

// Every row of a query, cells as text and Null as nullopt.
using Rows = std::vector<std::vector<std::optional<std::string>>>;
Rows Query(const std::filesystem::path& db, const std::string& sql) {
  sqlite3* handle = nullptr;
  EXPECT_EQ(sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* statement = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(handle, sql.c_str(), -1, &statement, nullptr), SQLITE_OK)
      << sql << ": " << sqlite3_errmsg(handle);
  Rows rows;
  while (statement && sqlite3_step(statement) == SQLITE_ROW) {
    rows.emplace_back();
    for (int i = 0; i < sqlite3_column_count(statement); ++i) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
      if (sqlite3_column_type(statement, i) == SQLITE_NULL) {
        rows.back().push_back(std::nullopt);
      } else {
        rows.back().push_back(
            std::string(text, static_cast<size_t>(sqlite3_column_bytes(statement, i))));
      }
    }
  }
  sqlite3_finalize(statement);
  sqlite3_close(handle);
  return rows;
}

std::optional<std::string> Cell(const std::filesystem::path& db, const std::string& sql) {
  Rows rows = Query(db, sql);
  return rows.empty() || rows[0].empty() ? std::nullopt : rows[0][0];
}

// Whether the file is in rollback-journal mode: bytes 18 and 19 of the
// header are 1 (WAL makes them 2), so it opens from a read-only disc.
bool InRollbackMode(const std::filesystem::path& db) {
  std::ifstream in(db, std::ios::binary);
  char header[20] = {};
  in.read(header, sizeof header);
  return in && header[18] == 1 && header[19] == 1;
}

class LumoContentTest : public ::testing::Test {
 protected:
  std::filesystem::path Write(const std::string& name, std::string_view text) {
    const std::filesystem::path file = dir_.path() / name;
    std::ofstream(file, std::ios::binary) << text;
    return file;
  }
  // A new database with the schema.
  std::filesystem::path Create(const std::string& name = "title.db") {
    const std::filesystem::path db = dir_.path() / name;
    const ProgramRun run = Tool({"create", db});
    EXPECT_EQ(run.status, 0) << run.err;
    return db;
  }
  void Import(const std::filesystem::path& db, const std::string& table, std::string_view csv) {
    const ProgramRun run = Tool({"import", db, table, Write(table + ".csv", csv)});
    EXPECT_EQ(run.status, 0) << table << ": " << run.err;
  }

  TempDir dir_;
};

TEST_F(LumoContentTest, ABadRowIsReportedByLineAndNothingOfTheFileIsImported) {
  const std::filesystem::path db = Create();
  struct Case {
    std::string table, csv, error;
  } cases[] = {
      {"objective", "id,module\nW1,Word\nW2,Word,extra\n", ":3: the row has 3 cells, the header 2"},
      {"tblQuestions", "id,text\nQ1,\"first\nsecond\"\nQ2,\"open\n",
       ":4: a quoted cell has no closing quote"},
      {"task", "id,taskName\nT1,\"a\"b\n", ":2: text follows the closing quote"},
      {"task", "id,nosuch\nT1,x\n", ":1: the table task has no column 'nosuch'"},
      {"objective", "id,module\nW1,Word\n,Word\n", ":3: 'id' is blank"},
      {"tblFinalAnswer", "questionID,answer\nQ1,\n", ":2: 'answer' is blank"},
      {"objective", "id,ID\nW1,W2\n", ":1: the column 'ID' is named twice"},
  };
  for (const Case& c : cases) {
    const std::filesystem::path csv = Write("bad.csv", c.csv);
    const ProgramRun run = Tool({"import", db, c.table, csv});
    EXPECT_EQ(run.status, 1) << c.csv;
    EXPECT_NE(run.err.find(csv.string() + c.error), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("nothing was imported"), std::string::npos) << run.err;
    EXPECT_EQ(Cell(db, "SELECT count(*) FROM " + c.table), "0") << c.csv;
  }
  const ProgramRun unknown = Tool({"import", db, "questions", Write("q.csv", "id\nQ1\n")});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.err.find("no table 'questions'"), std::string::npos) << unknown.err;
}

TEST_F(LumoContentTest, BlankCellsBecomeWhatTheReadersTakeAsAbsent) {
  const std::filesystem::path db = Create();
  // Columns in any order and case; a quoted cell keeps its commas, quotes
  // and line ends.
  Import(db, "tblquestions",
         "ID,Text,hint,background,objectiveRef,taskRef\r\n"
         "Q1,\"Say \"\"hi\"\",\nthen go\",,,,\r\n");
  EXPECT_EQ(Query(db, "SELECT id, text, hint, background, objectiveRef, taskRef FROM tblQuestions"),
            (Rows{{"Q1", "Say \"hi\",\nthen go", "", "", std::nullopt, std::nullopt}}));
  Import(db, "tblFinalAnswer", "questionID,answer,background\nQ1,File>Open,\n");
  EXPECT_EQ(Cell(db, "SELECT background IS NULL FROM tblFinalAnswer"), "1");
  // Columns a file leaves out are absent too.
  Import(db, "task", "id,taskName\nT1,Type\n");
  EXPECT_EQ(Query(db, "SELECT app, view, objectiveRef FROM task"), (Rows{{"", "", ""}}));
  // Page references get a column per text book on first use; blank is Null.
  Import(db, "tblPageRefs", "questionID,TB1,TB2\nQ1,p. 12,\n");
  EXPECT_EQ(Query(db, "SELECT questionID, TB1, TB2 FROM tblPageRefs"),
            (Rows{{"Q1", "p. 12", std::nullopt}}));
  // A file that is not UTF-8 is Windows-1252, as spreadsheets save it.
  const ProgramRun latin =
      Tool({"import", db, "textBook", Write("tb.csv", "id,title\nTB1,Caf\xE9\n")});
  EXPECT_EQ(latin.status, 0) << latin.err;
  EXPECT_EQ(Cell(db, "SELECT title FROM textBook"), "Caf\xC3\xA9");
  EXPECT_TRUE(InRollbackMode(db));
}

TEST_F(LumoContentTest, CheckListsEverythingTheReadersWouldRefuse) {
  const std::filesystem::path db = Create();
  Import(db, "objective", "id,module\nW1,Word\nw1,Word\nE1,Excel\n");
  Import(db, "task", "id,taskName,objectiveRef\nT1,Type,W1\nT2,Sum,X9\n");
  Import(db, "tblQuestions",
         "id,text,objectiveRef,taskRef\nQ1,Open,W1,T1\nQ2,Sum,E7,T2\nQ3,Loose,,T8\nQ4,Fine,,\n");
  Import(db, "tblFinalAnswer", "questionID,answer\nQ1,Ctrl+O\nq1,Ctrl+O\nQ1,ctrl+o\nQ9,x\n");
  Import(db, "textBook", "id,title\nTB1,Word Basics\n");
  const ProgramRun run = Tool({"check", db});
  EXPECT_EQ(run.status, 1);
  for (const char* problem : {
           "objective: the ID 'w1' is used more than once\n",
           "task 'T2': objectiveRef 'X9' is no objective\n",
           "question 'Q2': objectiveRef 'E7' is no objective\n",
           "question 'Q3': taskRef 'T8' is no task\n",
           "tblFinalAnswer: the question 'q1' has the answer 'Ctrl+O' more than once\n",
           "tblFinalAnswer: the question 'Q9' of the answer 'x' does not exist\n",
           "the text book 'TB1' has no column in tblPageRefs",
       }) {
    EXPECT_NE(run.out.find(problem), std::string::npos) << problem << "\n" << run.out;
  }
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 7) << run.out;
  EXPECT_NE(run.err.find("7 problems"), std::string::npos) << run.err;

  // A Null where the pools read text (a copied desktop database may hold
  // one) stops their load.
  sqlite3* handle = nullptr;
  ASSERT_EQ(sqlite3_open(db.c_str(), &handle), SQLITE_OK);
  sqlite3_exec(handle, "INSERT INTO objective (id, module) VALUES ('N1', NULL)", nullptr, nullptr,
               nullptr);
  sqlite3_close(handle);
  const ProgramRun nulls = Tool({"check", db});
  EXPECT_NE(nulls.out.find("objective 'N1': module is Null (use an empty text)\n"),
            std::string::npos)
      << nulls.out;

  // A database without tables or columns.
  const std::filesystem::path other = dir_.path() / "other.db";
  ASSERT_EQ(sqlite3_open(other.c_str(), &handle), SQLITE_OK);
  sqlite3_exec(handle, "CREATE TABLE objective (id TEXT, module TEXT)", nullptr, nullptr, nullptr);
  sqlite3_close(handle);
  const ProgramRun broken = Tool({"check", other});
  EXPECT_EQ(broken.status, 1);
  EXPECT_NE(broken.out.find("the table objective lacks the column(s) skillset, objectiveLabel\n"),
            std::string::npos)
      << broken.out;
  EXPECT_NE(broken.out.find("the table tblQuestions is missing\n"), std::string::npos);
}

TEST_F(LumoContentTest, ListCountsTablesAndModulesAndAGoodDatabasePassesCheck) {
  const std::filesystem::path db = Create();
  Import(db, "objective",
         "id,module,skillset,objectiveLabel\nW1,Word,Edit,Edit\nW2,Word,Format,Format\nE1,Excel,"
         "Sum,Sum\n");
  Import(db, "task",
         "id,taskName,baseHREF,app,view,objectiveRef\nT1,Type,t1/,Word,Normal,W1\nT3,Sum,t3/"
         ",Excel,Sheet,E1\n");
  Import(db, "tblQuestions",
         "id,text,objectiveRef,taskRef\nQ1,Open,w1,T1\nQ2,Bold,W2,\nQ3,Sum,E1,t3\nQ4,Loose,,\n");
  Import(db, "tblPageRefs", "questionID,TB1\nQ1,p. 1\n");
  Import(db, "textBook", "id,title\nTB1,Word Basics\n");
  const ProgramRun check = Tool({"check", db});
  EXPECT_EQ(check.status, 0) << check.out;
  EXPECT_EQ(check.out, db.string() + ": no problems found.\n");

  const ProgramRun list = Tool({"list", db});
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.out,
            "Table                 Rows\n"
            "objective                3\n"
            "task                     2\n"
            "tblQuestions             4\n"
            "tblFinalAnswer           0\n"
            "tblDialogAnswer          0\n"
            "tblPartialAnswer         0\n"
            "tblPageRefs              1\n"
            "textBook                 1\n"
            "\n"
            "Module          Objectives     Tasks  Questions\n"
            "Word                     2         1          2\n"
            "Excel                    1         1          1\n"
            "(no objective)           0         0          1\n");
}

// mdb-export's output with unambiguous separators and no quoting: rows of
// cells, the header first.
std::vector<std::vector<std::string>> MdbExport(const std::string& file, const std::string& table) {
  const ProgramRun run = RunProgram(
      "/usr/bin/mdb-export", {"-Q", "-d", "\x1f", "-R", "\x1e", "-0", "\x1d", "-b", "hex", "-T",
                              "%Y-%m-%d %H:%M:%S", "-D", "%Y-%m-%d %H:%M:%S", file, table});
  EXPECT_EQ(run.status, 0) << run.err;
  std::vector<std::vector<std::string>> rows;
  size_t start = 0;
  while (start < run.out.size()) {
    size_t end = run.out.find('\x1e', start);
    if (end == std::string::npos) end = run.out.size();
    const std::string line = run.out.substr(start, end - start);
    std::vector<std::string> cells;
    size_t cell = 0;
    for (;;) {
      const size_t next = line.find('\x1f', cell);
      cells.push_back(line.substr(cell, next - cell));
      if (next == std::string::npos) break;
      cell = next + 1;
    }
    rows.push_back(std::move(cells));
    start = end + 1;
  }
  return rows;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    if (end > start) lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

TEST_F(LumoContentTest, ADesktopDatabaseIsCopiedAsMdbtoolsReadsIt) {
  size_t dates_libmdb_cannot_read = 0;
  for (const std::string name : {"nwind.mdb", "DateTestDatabase.mdb"}) {
    const std::string mdb = kMdbFolder + name;
    const std::filesystem::path db = dir_.path() / (name + ".db");
    const ProgramRun copy = Tool({"import-mdb", mdb, db});
    ASSERT_EQ(copy.status, 0) << copy.err;
    EXPECT_TRUE(InRollbackMode(db));

    const std::vector<std::string> tables =
        Lines(RunProgram("/usr/bin/mdb-tables", {"-1", mdb}).out);
    ASSERT_FALSE(tables.empty());
    std::vector<std::string> copied;
    for (const auto& row : Query(db, "SELECT name FROM sqlite_master WHERE type = 'table'")) {
      copied.push_back(*row[0]);
    }
    EXPECT_EQ(copied, tables) << name;

    // Column types as mdb-schema gives them for SQLite: "CREATE TABLE `T`"
    // and then a line "\t`Name`\t\t\tType, " per column.
    std::map<std::string, std::string> schema_types;  // "table.column" -> type
    std::string current;
    for (const std::string& line : Lines(RunProgram("/usr/bin/mdb-schema", {mdb, "sqlite"}).out)) {
      if (line.rfind("CREATE TABLE `", 0) == 0) {
        current = line.substr(14, line.find('`', 14) - 14);
        continue;
      }
      if (line.size() < 2 || line[0] != '\t' || line[1] != '`') continue;
      const size_t close = line.find('`', 2);
      const size_t type = line.find_first_not_of('\t', close + 1);
      if (close == std::string::npos || type == std::string::npos) continue;
      schema_types[current + "." + line.substr(2, close - 2)] =
          line.substr(type, line.find_last_not_of(", ") - type + 1);
    }

    for (const std::string& table : tables) {
      const auto exported = MdbExport(mdb, table);
      ASSERT_FALSE(exported.empty());
      const std::string quoted = "\"" + table + "\"";
      Rows info = Query(db, "SELECT name, type FROM pragma_table_info('" + table + "')");
      ASSERT_EQ(info.size(), exported[0].size()) << table;
      for (size_t c = 0; c < info.size(); ++c) {
        EXPECT_EQ(*info[c][0], exported[0][c]) << table;
        EXPECT_EQ(*info[c][1], schema_types[table + "." + *info[c][0]])
            << table << "." << *info[c][0];
      }
      std::string select = "SELECT ";
      for (size_t c = 0; c < info.size(); ++c) {
        select += (c ? ", " : "") + std::string("CASE typeof(\"") + *info[c][0] +
                  "\") WHEN 'blob' THEN hex(\"" + *info[c][0] +
                  "\") WHEN 'real' THEN printf('%.15g', \"" + *info[c][0] + "\") ELSE \"" +
                  *info[c][0] + "\" END";
      }
      const Rows rows = Query(db, select + " FROM " + quoted + " ORDER BY rowid");
      ASSERT_EQ(rows.size() + 1, exported.size()) << table;
      for (size_t r = 0; r < rows.size(); ++r) {
        for (size_t c = 0; c < info.size(); ++c) {
          const std::string& want = exported[r + 1][c];
          const std::optional<std::string>& got = rows[r][c];
          const std::string where = table + " row " + std::to_string(r + 1) + " " + exported[0][c];
          if (want == "\x1d") {  // Null, or an empty text: mdb-export prints both alike
            EXPECT_TRUE(!got || got->empty()) << where << ": " << *got;
          } else if (want == "1900-01-00 00:00:00") {
            // A date libmdb cannot convert (before 1900 or far ahead).
            ++dates_libmdb_cannot_read;
            ASSERT_TRUE(got) << where;
            EXPECT_TRUE(*got < "1900" || *got > "2700") << where << ": " << *got;
          } else if (*info[c][1] == "REAL") {
            ASSERT_TRUE(got) << where;
            EXPECT_DOUBLE_EQ(strtod(got->c_str(), nullptr), strtod(want.c_str(), nullptr)) << where;
          } else {
            ASSERT_TRUE(got) << where;
            EXPECT_EQ(*got, want) << where;
          }
        }
      }
    }
  }
  EXPECT_EQ(dates_libmdb_cannot_read, 8u);
  // Text beyond ASCII, in a table name and in values.
  const std::filesystem::path nwind = dir_.path() / "nwind.mdb.db";
  EXPECT_EQ(Cell(nwind, "SELECT CompanyName FROM Customers WHERE CustomerID = 'OCEAN'"),
            "Oc\xC3\xA9"
            "ano Atl\xC3\xA1ntico Ltda.");
  EXPECT_EQ(Cell(nwind, "SELECT count(*) FROM \"Ums\xC3\xA4tze\""), "830");
  const std::filesystem::path dates = dir_.path() / "DateTestDatabase.mdb.db";
  EXPECT_EQ(Cell(dates, "SELECT substr(DateTimeCol, 1, 4) FROM DateTest WHERE IDCol = 2"), "9999");
}

TEST_F(LumoContentTest, CommandLineAndFailuresLeaveNothingBehind) {
  const ProgramRun help = Tool({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: lumo-content COMMAND", 0), 0u) << help.out;
  EXPECT_EQ(Tool({"--version"}).out.rfind("lumo-content ", 0), 0u);
  for (const std::vector<std::string>& wrong :
       {std::vector<std::string>{}, {"frobnicate", "x"}, {"create"}, {"list", "a", "b"}, {"--x"}}) {
    const ProgramRun run = Tool(wrong);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("Try 'lumo-content --help'"), std::string::npos) << run.err;
  }
  const std::filesystem::path db = Create();
  const ProgramRun again = Tool({"create", db});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("exists already"), std::string::npos) << again.err;
  EXPECT_EQ(Tool({"list", dir_.path() / "none.db"}).status, 1);

  // A file that is no desktop database gives an error and no database.
  const std::filesystem::path junk = Write("junk.mdb", std::string(8192, 'x'));
  const ProgramRun copy = Tool({"import-mdb", junk, dir_.path() / "junk.db"});
  EXPECT_EQ(copy.status, 1);
  EXPECT_NE(copy.err.find("not a desktop database"), std::string::npos) << copy.err;
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
    files += !entry.path().empty();
  EXPECT_EQ(files, 2u);  // title.db and junk.mdb
}

}  // namespace
}  // namespace norwin::testing
