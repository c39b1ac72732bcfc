// Two processes that change one progress file at the same time.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <string>

#include "norwin/host/progress_file.h"
#include "norwin/host/progress_format.h"
#include "support/temp_prefix.h"

namespace norwin::host {
namespace {

namespace fs = std::filesystem;

constexpr int kRounds = 40;

// Sets kRounds cookies of its own and adds as many chips to a shared list,
// one after the other, through a store of its own; true when all succeeded.
bool Work(const fs::path& folder, const std::string& who) {
  ProgressStore store({.program_folder = folder});
  for (int i = 0; i < kRounds; ++i) {
    const std::string n = std::to_string(i);
    if (!store.Set(who + n, "value of " + who + n).ok()) return false;
    if (!store.AppendChip("shared", who + n).ok()) return false;
  }
  return true;
}

TEST(ProgressFileIntegrationTest, TwoProcessesLoseNothing) {
  norwin::testing::TempPrefix prefix;
  norwin::testing::TempDir folder;
  std::vector<pid_t> children;
  for (const char* who : {"p", "q"}) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(Work(folder.path(), who) ? 0 : 1);
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  ProgressStore store({.program_folder = folder.path()});
  std::set<std::string> chips;
  Result<std::optional<std::string>> shared = store.Get("shared");
  ASSERT_TRUE(shared.ok() && *shared) << shared.message();
  std::string_view list = **shared;
  for (size_t end; (end = list.find(kChipSeparator)) != std::string_view::npos;
       list.remove_prefix(end + kChipSeparator.size()))
    chips.emplace(list.substr(0, end));
  EXPECT_EQ(list, "");
  for (const char* who : {"p", "q"}) {
    for (int i = 0; i < kRounds; ++i) {
      const std::string name = who + std::to_string(i);
      Result<std::optional<std::string>> value = store.Get(name);
      ASSERT_TRUE(value.ok()) << value.message();
      EXPECT_EQ(value->value_or("<lost>"), "value of " + name);
      EXPECT_EQ(chips.count(name), 1u) << name;
    }
  }
  EXPECT_EQ(chips.size(), 2u * kRounds);
}

}  // namespace
}  // namespace norwin::host
