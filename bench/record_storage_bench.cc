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

void SaveAndReload(benchmark::State& state, const std::string& location) {
  XmlDocument doc;
  BuildRoster(doc, kStudentsInOneMegabyte);
  const size_t bytes = doc.Xml().size();
  XmlDocument loaded;
  for (auto _ : state) {
    SaveRecord(doc, location, kStudents);
    if (!LoadRecord(loaded, location, kStudents)) state.SkipWithError("the record did not load");
  }
  state.counters["record_bytes"] = static_cast<double>(bytes);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes * 2));
}

void BM_LocalSaveAndReload(benchmark::State& state) {
  testing::TempDir dir;
  SaveAndReload(state, (dir.path() / "roster.xml").string());
}
BENCHMARK(BM_LocalSaveAndReload)->Unit(benchmark::kMillisecond);

void BM_ServerSaveAndReload(benchmark::State& state) {
  testing::RecordServer server;
  SaveAndReload(state, server.location("roster.xml"));
}
BENCHMARK(BM_ServerSaveAndReload)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace norwin::datalayer
