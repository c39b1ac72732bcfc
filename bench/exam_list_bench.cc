// What a teacher's exam-list page waits for: listing a folder of exam lists
// (each file opened for its title) and loading a list whose exams are looked
// for in a list of folders.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "norwin/automation/collection.h"
#include "norwin/automation/object.h"
#include "norwin/datalayer/exam_list.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

namespace fs = std::filesystem;

void WriteText(const fs::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

// `count` exam lists of ten exams each, beside as many other files.
void BM_GetExamLists(benchmark::State& state) {
  testing::TempPrefix prefix;
  const int count = static_cast<int>(state.range(0));
  for (int i = 0; i < count; ++i) {
    std::string list = "<examList><title>List " + std::to_string(i) + "</title><pref/>";
    for (int e = 0; e < 10; ++e) list += "<examFile>u" + std::to_string(e) + "_pmxm.xml</examFile>";
    WriteText(prefix.path() / ("l" + std::to_string(i) + "_pmxl.xml"), list + "</examList>");
    WriteText(prefix.path() / ("u" + std::to_string(i) + "_pmxm.xml"), "<exam><title/></exam>");
  }
  auto lists = automation::MakeRef<ExamList>();
  const std::string folder = prefix.path().string();
  for (auto _ : state) {
    if (lists->GetExamLists(folder)->size() != static_cast<size_t>(count))
      state.SkipWithError("lists missing");
  }
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_GetExamLists)->Arg(20)->Arg(200)->Unit(benchmark::kMillisecond);

// A list of `count` exams that all lie in the second of two folders.
void BM_LoadExamList(benchmark::State& state) {
  testing::TempPrefix prefix;
  const int count = static_cast<int>(state.range(0));
  fs::create_directory(prefix.path() / "a");
  fs::create_directory(prefix.path() / "b");
  std::string list = "<examList><title>Term</title><pref><timeLimit>40</timeLimit></pref>";
  for (int e = 0; e < count; ++e) {
    const std::string name = "u" + std::to_string(e) + "_pmxm.xml";
    list += "<examFile>" + name + "</examFile>";
    WriteText(prefix.path() / "b" / name,
              "<exam><title>Unit " + std::to_string(e) + "</title><pref/></exam>");
  }
  WriteText(prefix.path() / "term_pmxl.xml", list + "</examList>");
  const std::string file = (prefix.path() / "term_pmxl.xml").string();
  const std::string folders = (prefix.path() / "a").string() + ";" + (prefix.path() / "b").string();
  for (auto _ : state) {
    auto exam_list = automation::MakeRef<ExamList>();
    if (!exam_list->Load(file, folders) || exam_list->Exams()->size() != static_cast<size_t>(count))
      state.SkipWithError("the list did not load");
  }
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_LoadExamList)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace norwin::datalayer
