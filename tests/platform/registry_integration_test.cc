// The registry against real database files: several processes at once,
// damaged and foreign files, failures inside a transaction.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "norwin/platform/prefix.h"
#include "norwin/platform/registry.h"
#include "support/temp_prefix.h"

namespace norwin::platform {
namespace {

using norwin::testing::ScopedEnv;
using norwin::testing::TempDir;
using norwin::testing::TempPrefix;

std::unique_ptr<Registry> OpenOrDie(const std::filesystem::path& file) {
  Result<std::unique_ptr<Registry>> opened = Registry::Open(file);
  EXPECT_TRUE(opened.ok()) << opened.message();
  return opened.ok() ? std::move(*opened) : nullptr;
}

// Runs SQL on the file through a connection of its own, as another program would.
void RawSql(const std::filesystem::path& file, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &error);
  EXPECT_EQ(rc, SQLITE_OK) << (error ? error : "");
  sqlite3_free(error);
  sqlite3_close(db);
}

void WriteBytes(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << bytes;
}

TEST(RegistryIntegrationTest, TwoProcessesWritingAtOnceLoseNothing) {
  TempPrefix prefix;
  constexpr int kPerProcess = 500;
  const char* kKey = "HKLM\\Software\\Shared";
  int barrier[2];
  ASSERT_EQ(pipe(barrier), 0);

  pid_t children[2];
  for (int p = 0; p < 2; ++p) {
    children[p] = fork();
    ASSERT_GE(children[p], 0);
    if (children[p] == 0) {
      // Both wait until the parent lets them go, so that they also race to
      // create the database itself.
      close(barrier[1]);
      char c;
      while (read(barrier[0], &c, 1) > 0) {
      }
      Result<std::unique_ptr<Registry>> reg = Registry::OpenDefault();
      if (!reg.ok()) {
        fprintf(stderr, "child %d: %s\n", p, reg.message().c_str());
        _exit(2);
      }
      for (int i = 0; i < kPerProcess; ++i) {
        const std::string name = "p" + std::to_string(p) + "-" + std::to_string(i);
        Status s = (*reg)->SetValue(kKey, name, RegValue::Dword(static_cast<uint32_t>(i)));
        if (!s.ok()) {
          fprintf(stderr, "child %d value %d: %s\n", p, i, s.message().c_str());
          _exit(3);
        }
      }
      _exit(0);
    }
  }
  close(barrier[0]);
  close(barrier[1]);  // both children start now
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }

  std::unique_ptr<Registry> reg = OpenOrDie(PrefixDir() / "registry.db");
  ASSERT_TRUE(reg);
  Result<std::vector<RegNamedValue>> values = reg->Values(kKey);
  ASSERT_TRUE(values.ok()) << values.message();
  ASSERT_EQ(values->size(), 2u * kPerProcess);
  // Each process's values keep the order it wrote them in.
  int next[2] = {0, 0};
  for (const RegNamedValue& v : *values) {
    const int p = v.name[1] - '0';
    ASSERT_TRUE(p == 0 || p == 1) << v.name;
    EXPECT_EQ(v.name, "p" + std::to_string(p) + "-" + std::to_string(next[p]));
    EXPECT_EQ(v.value, RegValue::Dword(static_cast<uint32_t>(next[p])));
    ++next[p];
  }
}

TEST(RegistryIntegrationTest, OpenDefaultMakesThePrefixAndUsesWriteAheadLogging) {
  TempDir dir;
  const std::filesystem::path prefix = dir.path() / "a" / "b";
  ScopedEnv env("NORWIN_PREFIX", prefix.string());
  {
    Result<std::unique_ptr<Registry>> reg = Registry::OpenDefault();
    ASSERT_TRUE(reg.ok()) << reg.message();
    ASSERT_TRUE((*reg)->SetValue("HKCU\\x", "v", RegValue::String("kept")).ok());
  }
  ASSERT_TRUE(std::filesystem::exists(prefix / "registry.db"));

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((prefix / "registry.db").c_str(), &db), SQLITE_OK);
  sqlite3_stmt* stmt = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &stmt, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "wal");
  sqlite3_finalize(stmt);
  sqlite3_close(db);

  std::unique_ptr<Registry> again = OpenOrDie(prefix / "registry.db");
  ASSERT_TRUE(again);
  EXPECT_EQ(*again->GetValue("HKCU\\x", "v"), RegValue::String("kept"));
}

TEST(RegistryIntegrationTest, FilesThatAreNotRegistriesAreReportedReadably) {
  TempDir dir;

  const std::filesystem::path garbage = dir.path() / "garbage.db";
  std::string bytes;
  for (int i = 0; i < 8192; ++i) bytes.push_back(static_cast<char>(i * 7 + 3));
  WriteBytes(garbage, bytes);
  Result<std::unique_ptr<Registry>> opened = Registry::Open(garbage);
  ASSERT_FALSE(opened.ok());
  EXPECT_EQ(opened.message(),
            garbage.string() + " is not a registry database (file is not a database)");

  const std::filesystem::path foreign = dir.path() / "foreign.db";
  RawSql(foreign, "CREATE TABLE people(name TEXT)");
  opened = Registry::Open(foreign);
  ASSERT_FALSE(opened.ok());
  EXPECT_EQ(opened.message(), foreign.string() + " is not a registry database");

  const std::filesystem::path newer = dir.path() / "newer.db";
  ASSERT_TRUE(OpenOrDie(newer));
  RawSql(newer, "PRAGMA user_version = 9");
  opened = Registry::Open(newer);
  ASSERT_FALSE(opened.ok());
  EXPECT_NE(opened.message().find("newer version"), std::string::npos) << opened.message();

  opened = Registry::Open(dir.path() / "no such folder" / "registry.db");
  ASSERT_FALSE(opened.ok());
  EXPECT_NE(opened.message().find("cannot open registry database"), std::string::npos)
      << opened.message();
}

TEST(RegistryIntegrationTest, DamagedPagesGiveErrorsNotCrashes) {
  TempDir dir;
  const std::filesystem::path file = dir.path() / "registry.db";
  {
    std::unique_ptr<Registry> reg = OpenOrDie(file);
    ASSERT_TRUE(reg);
    std::vector<RegEdit> edits;
    for (int i = 0; i < 3000; ++i) {
      edits.push_back(RegEdit::SetValue("HKLM\\Software\\K" + std::to_string(i % 50),
                                        "value " + std::to_string(i),
                                        RegValue::String(std::string(40, 'x'))));
    }
    ASSERT_TRUE(reg->Apply(edits).ok());
  }
  // Move everything into the main file, then scribble over all but its first page.
  RawSql(file, "PRAGMA wal_checkpoint(TRUNCATE)");
  const uintmax_t size = std::filesystem::file_size(file);
  ASSERT_GT(size, 16384u);
  {
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(4096);
    f << std::string(size - 4096, '\xA5');
  }

  // The first page, with the header and the schema, is whole, so the file
  // opens; every read and write of the damaged pages fails with the reason.
  Result<std::unique_ptr<Registry>> opened = Registry::Open(file);
  ASSERT_TRUE(opened.ok()) << opened.message();
  Registry& reg = **opened;
  Result<std::vector<RegKeyContents>> tree = reg.ReadTree("HKLM");
  ASSERT_FALSE(tree.ok());
  EXPECT_NE(tree.message().find(file.string()), std::string::npos) << tree.message();
  EXPECT_NE(tree.message().find("malformed"), std::string::npos) << tree.message();
  EXPECT_FALSE(reg.GetValue("HKLM\\Software\\K1", "value 1").ok());
  EXPECT_FALSE(reg.SetValue("HKLM\\Software\\K1", "new", RegValue::Dword(1)).ok());
}

TEST(RegistryIntegrationTest, AWriteBeyondTheFileSizeLimitFailsWithAMessage) {
  TempDir dir;
  const std::filesystem::path file = dir.path() / "registry.db";
  ASSERT_TRUE(Registry::Open(file).ok());
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_DFL);  // as in a process that has not written yet
    const rlimit small{64 << 10, 64 << 10};
    setrlimit(RLIMIT_FSIZE, &small);
    Result<std::unique_ptr<Registry>> registry = Registry::Open(file);
    if (!registry.ok()) _exit(2);
    const Status set =
        (*registry)->SetValue("HKCU\\Big", "v", RegValue::Binary(std::string(1 << 20, 'x')));
    _exit(!set.ok() && set.message().find("file-size limit") != std::string::npos ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(RegistryIntegrationTest, AFailureInsideATransactionUndoesAllOfIt) {
  TempDir dir;
  const std::filesystem::path file = dir.path() / "registry.db";
  std::unique_ptr<Registry> reg = OpenOrDie(file);
  ASSERT_TRUE(reg);
  ASSERT_TRUE(reg->SetValue("HKCU\\Keep", "v", RegValue::Dword(1)).ok());
  // Another program makes every write of a value named "boom" fail.
  RawSql(file,
         "CREATE TRIGGER boom BEFORE INSERT ON reg_values WHEN NEW.name = 'boom' "
         "BEGIN SELECT RAISE(ABORT, 'injected failure'); END");

  const std::vector<RegEdit> edits = {
      RegEdit::SetValue("HKCU\\New\\Deep", "a", RegValue::Dword(2)),
      RegEdit::DeleteTree("HKCU\\Keep"),
      RegEdit::SetValue("HKCU\\New", "boom", RegValue::Dword(3)),
  };
  Status s = reg->Apply(edits);
  ASSERT_FALSE(s.ok());
  EXPECT_NE(s.message().find("injected failure"), std::string::npos) << s.message();
  EXPECT_FALSE(*reg->KeyExists("HKCU\\New"));
  EXPECT_EQ(*reg->GetValue("HKCU\\Keep", "v"), RegValue::Dword(1));

  // A single SetValue that fails leaves no key behind either.
  EXPECT_FALSE(reg->SetValue("HKCU\\Other\\Key", "boom", RegValue::Dword(4)).ok());
  EXPECT_FALSE(*reg->KeyExists("HKCU\\Other"));
  // And the connection goes on working.
  EXPECT_TRUE(reg->SetValue("HKCU\\Other\\Key", "fine", RegValue::Dword(5)).ok());
}

}  // namespace
}  // namespace norwin::platform
