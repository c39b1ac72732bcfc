// Saving and reloading a record of about 1 MB through the local path and
// through the record pages of a loopback server.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "norwin/datalayer/record_storage.h"
#include "norwin/datalayer/record_xml.h"
#include "support/record_server.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

const RecordKind kStudents{"Students", RequestShape::kB};

// A roster of `count` students, about 100 bytes each.
void BuildRoster(XmlDocument& doc, int count) {
  XmlNode root = NewRecordRoot(doc, "students");
  SetAttributeText(root, "autoStudentID", std::to_string(count));
  for (int i = 0; i < count; ++i) {
    XmlNode student = AppendElement(root, "student");
    AppendTextElement(student, "id", "SID" + std::to_string(10000 + i));
    XmlNode name = AppendElement(student, "name");
    AppendTextElement(name, "first", "Firstname");
    AppendTextElement(name, "last", "Lastname" + std::to_string(i));
    AppendTextElement(student, "username", "user" + std::to_string(i));
    AppendTextElement(student, "password", "d41d8cd98f00b204e9800998ecf8427e");
  }
}

constexpr int kStudentsInOneMegabyte = 5600;

enum class Step { kSave, kReload, kBoth };

// Saves and/or reloads the record at `location` once an iteration.
void Run(benchmark::State& state, const std::string& location, Step step) {
  XmlDocument doc;
  BuildRoster(doc, kStudentsInOneMegabyte);
  const size_t bytes = doc.Xml().size();
  (void)SaveRecord(doc, location, kStudents);
  XmlDocument loaded;
  for (auto _ : state) {
    if (step != Step::kReload) (void)SaveRecord(doc, location, kStudents);
    if (step != Step::kSave && !LoadRecord(loaded, location, kStudents))
      state.SkipWithError("the record did not load");
  }
  state.counters["record_bytes"] = static_cast<double>(bytes);
  const int64_t passes = step == Step::kBoth ? 2 : 1;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * passes *
                          static_cast<int64_t>(bytes));
}

void BM_Local(benchmark::State& state) {
  testing::TempDir dir;
  Run(state, (dir.path() / "roster.xml").string(), static_cast<Step>(state.range(0)));
}
// 0: save (written whole and flushed to disk), 1: reload, 2: both.
BENCHMARK(BM_Local)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_Server(benchmark::State& state) {
  testing::RecordServer server;
  Run(state, server.location("roster.xml"), static_cast<Step>(state.range(0)));
}
BENCHMARK(BM_Server)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace norwin::datalayer
