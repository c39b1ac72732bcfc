// Loading a large title from its content database: 5,000 questions with
// 20,000 answers and a page reference each, 200 tasks and 50 objectives,
// read into the pools as a course page reads them before an exam. The
// chained load (objectives, tasks, questions) against the loaded pools,
// and the question pool alone with Null pools, the latter also at 500 and
// 50,000 questions, so that a per-question cost that grows with the pool
// shows (scripts/bench --compare prints the ratios).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "norwin/automation/variant.h"
#include "norwin/datalayer/objectives.h"
#include "norwin/datalayer/question_pool.h"
#include "norwin/datalayer/task_pool.h"
#include "norwin/platform/heap.h"
#include "support/content_database_builder.h"

namespace {

using norwin::automation::MakeRef;
using norwin::automation::Variant;
using namespace norwin::datalayer;

constexpr int kQuestions = 5000;
constexpr int kTasks = 200;
constexpr int kObjectives = 50;

// The programs that load pools keep the memory they free for their next
// load (norwin/platform/heap.h); this process runs its loads as they do.
struct KeepFreedMemory {
  KeepFreedMemory() { norwin::platform::KeepFreedMemory(); }
} keep_freed_memory;

std::filesystem::path TitlePath(int questions) {
  return std::filesystem::temp_directory_path() /
         ("norwin-content-bench-" + std::to_string(getpid()) + "-" + std::to_string(questions) +
          ".db");
}

// A title of `questions` questions, written once on first use; it goes when
// the program ends.
const std::string& TitleFile(int questions = kQuestions) {
  static std::map<int, std::string> files;
  std::string& path = files[questions];
  if (!path.empty()) return path;
  const auto file = TitlePath(questions);
  norwin::testing::ContentDatabaseBuilder db(file, {"TB1", "TB2"});
  for (int i = 0; i < kObjectives; ++i) {
    db.AddObjective("O" + std::to_string(i), "Module " + std::to_string(i % 5),
                    "Skill " + std::to_string(i), "Objective number " + std::to_string(i));
  }
  for (int i = 0; i < kTasks; ++i) {
    db.AddTask("T" + std::to_string(i), "Task number " + std::to_string(i),
               "tasks/t" + std::to_string(i) + "/", "Word", "Normal",
               "O" + std::to_string(i % kObjectives));
  }
  for (int i = 0; i < questions; ++i) {
    const std::string id = "Q" + std::to_string(i);
    db.AddQuestion(id, "Question text number " + std::to_string(i) + ", as long as most are",
                   "A hint for the student", id + ".gif", "O" + std::to_string(i % kObjectives),
                   "T" + std::to_string(i % kTasks));
    db.AddFinalAnswer(id, "File>Open", "open.gif");
    db.AddFinalAnswer(id, "Ctrl+O", std::nullopt);
    db.AddDialogAnswer(id, "Open", std::to_string(1000 + i));
    db.AddPartialAnswer(id, "File", "file.gif");
    db.AddPageRefs(id, {"p. " + std::to_string(i % 300), "ch. " + std::to_string(i % 20)});
  }
  path = file.string();
  return path;
}

void BM_ChainedLoad(benchmark::State& state) {
  const std::string& file = TitleFile();
  for (auto _ : state) {
    auto objectives = MakeRef<Objectives>();
    auto tasks = MakeRef<TaskPool>();
    auto questions = MakeRef<QuestionPool>();
    if (!objectives->Load(file, Variant::Null()) ||
        !tasks->Load(file, Variant(objectives), Variant::Nothing()) ||
        !questions->Load(file, Variant(objectives), Variant(tasks), "TB1")) {
      state.SkipWithError("load failed");
    }
    benchmark::DoNotOptimize(questions->Questions()->size());
  }
  state.SetItemsProcessed(state.iterations() * kQuestions);
}
BENCHMARK(BM_ChainedLoad)->Unit(benchmark::kMillisecond);

void BM_QuestionPoolAlone(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const std::string& file = TitleFile(count);
  for (auto _ : state) {
    auto questions = MakeRef<QuestionPool>();
    if (!questions->Load(file, Variant::Null(), Variant::Null(), "")) {
      state.SkipWithError("load failed");
    }
    if (questions->Questions()->size() != static_cast<size_t>(count)) {
      state.SkipWithError("questions missing");
    }
  }
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_QuestionPoolAlone)
    ->Arg(500)
    ->Arg(kQuestions)
    ->Arg(50000)
    ->Unit(benchmark::kMillisecond);

struct RemoveTitleFiles {
  ~RemoveTitleFiles() {
    std::error_code ignored;
    for (int questions : {500, kQuestions, 50000})
      std::filesystem::remove(TitlePath(questions), ignored);
  }
} remove_title_files;

}  // namespace
