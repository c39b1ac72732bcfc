// The XML DOM on a large class roster (10,000 students, about 2.5 MB), next
// to pugixml used directly: what the DOM adds to reading, querying and
// writing a record.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <pugixml.hpp>
#include <string>

#include "norwin/datalayer/xml_dom.h"

namespace {

using norwin::datalayer::XmlDocument;
using norwin::datalayer::XmlNode;

constexpr int kStudents = 10000;

// A roster as the record classes write it, indented as files edited by hand are.
const std::string& Roster() {
  static const std::string xml = [] {
    const char* firsts[] = {"Ann", "Jos\u00E9", "Mohammed", "Li", "Katarzyna", "Sam"};
    const char* lasts[] = {"Lee", "O'Brien", "Nakamura", "Smith", "Kowalska", "Ng"};
    std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<students autoStudentID=\"" +
                    std::to_string(kStudents) + "\">\n";
    char id[16];
    for (int i = 1; i <= kStudents; ++i) {
      std::snprintf(id, sizeof id, "SID%05d", i);
      s += "  <student>\n    <id>";
      s += id;
      s += "</id>\n    <name>\n      <first>";
      s += firsts[i % 6];
      s += "</first>\n";
      if (i % 3 == 0) s += "      <middle>Q</middle>\n";
      s += "      <last>";
      s += lasts[i % 6];
      s += "</last>\n    </name>\n    <classRef>" + std::to_string(i % 7) +
           "</classRef>\n    <sectionRef>" + std::to_string(i % 4) +
           "</sectionRef>\n    <username>user" + std::to_string(i) + "</username>\n";
      s += "    <password>5f4dcc3b5aa765d61d8327deb882cf99</password>\n  </student>\n";
    }
    s += "</students>\n";
    return s;
  }();
  return xml;
}

const std::filesystem::path& RosterFile() {
  static const std::filesystem::path path = [] {
    auto p = std::filesystem::temp_directory_path() /
             ("norwin-xml-bench-" + std::to_string(getpid()) + ".xml");
    std::ofstream(p, std::ios::binary) << Roster();
    return p;
  }();
  return path;
}

void BM_PugixmlParse(benchmark::State& state) {
  const std::string& xml = Roster();
  for (auto _ : state) {
    pugi::xml_document doc;
    void* buffer = pugi::get_memory_allocation_function()(xml.size());
    std::memcpy(buffer, xml.data(), xml.size());
    benchmark::DoNotOptimize(doc.load_buffer_inplace_own(buffer, xml.size()));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(xml.size()));
}
BENCHMARK(BM_PugixmlParse)->Unit(benchmark::kMillisecond);

void BM_LoadXml(benchmark::State& state) {
  const std::string& xml = Roster();
  for (auto _ : state) {
    XmlDocument doc;
    if (!doc.LoadXml(xml).ok()) state.SkipWithError("LoadXml failed");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(xml.size()));
  state.counters["bytes"] = static_cast<double>(xml.size());
}
BENCHMARK(BM_LoadXml)->Unit(benchmark::kMillisecond);

void BM_PugixmlLoadFile(benchmark::State& state) {
  const std::string path = RosterFile().string();
  for (auto _ : state) {
    pugi::xml_document doc;
    benchmark::DoNotOptimize(doc.load_file(path.c_str()));
  }
}
BENCHMARK(BM_PugixmlLoadFile)->Unit(benchmark::kMillisecond);

void BM_LoadFile(benchmark::State& state) {
  const auto& path = RosterFile();
  for (auto _ : state) {
    XmlDocument doc;
    if (!doc.Load(path).ok()) state.SkipWithError("Load failed");
  }
}
BENCHMARK(BM_LoadFile)->Unit(benchmark::kMillisecond);

void BM_TextOfEveryStudent(benchmark::State& state) {
  XmlDocument doc;
  if (!doc.LoadXml(Roster()).ok()) return state.SkipWithError("LoadXml failed");
  const XmlNode root = doc.DocumentElement();
  for (auto _ : state) {
    size_t total = 0;
    for (XmlNode student : root.ChildNodes()) total += student.Text().size();
    benchmark::DoNotOptimize(total);
  }
}
BENCHMARK(BM_TextOfEveryStudent)->Unit(benchmark::kMillisecond);

// What Students.LoadFromXMLNode does: every child, then its fields by XPath.
void BM_ReadRosterFields(benchmark::State& state) {
  XmlDocument doc;
  if (!doc.LoadXml(Roster()).ok()) return state.SkipWithError("LoadXml failed");
  const XmlNode root = doc.DocumentElement();
  for (auto _ : state) {
    size_t total = 0;
    const auto list = root.ChildNodes();
    for (size_t i = 0; i < list.Length(); ++i) {
      const XmlNode student = list.Item(i);
      for (const char* field : {"id", "name/first", "name/middle", "name/last", "classRef",
                                "sectionRef", "username", "password"}) {
        total += student.SelectSingleNode(field)->Text().size();
      }
    }
    benchmark::DoNotOptimize(total);
  }
}
BENCHMARK(BM_ReadRosterFields)->Unit(benchmark::kMillisecond);

void BM_PugixmlReadRosterFields(benchmark::State& state) {
  pugi::xml_document doc;
  doc.load_string(Roster().c_str());
  const pugi::xml_node root = doc.document_element();
  for (auto _ : state) {
    size_t total = 0;
    for (pugi::xml_node student : root.children()) {
      for (const char* field : {"id", "name/first", "name/middle", "name/last", "classRef",
                                "sectionRef", "username", "password"}) {
        total += std::strlen(student.select_node(field).node().child_value());
      }
    }
    benchmark::DoNotOptimize(total);
  }
}
BENCHMARK(BM_PugixmlReadRosterFields)->Unit(benchmark::kMillisecond);

void BM_SelectNodes(benchmark::State& state) {
  XmlDocument doc;
  if (!doc.LoadXml(Roster()).ok()) return state.SkipWithError("LoadXml failed");
  for (auto _ : state) {
    auto students = doc.SelectNodes("/students/student[classRef='3']");
    benchmark::DoNotOptimize(students->Length());
  }
}
BENCHMARK(BM_SelectNodes)->Unit(benchmark::kMillisecond);

void BM_PugixmlSelectNodes(benchmark::State& state) {
  pugi::xml_document doc;
  doc.load_string(Roster().c_str());
  const pugi::xpath_query query("/students/student[classRef='3']");
  for (auto _ : state) benchmark::DoNotOptimize(query.evaluate_node_set(doc).size());
}
BENCHMARK(BM_PugixmlSelectNodes)->Unit(benchmark::kMillisecond);

void BM_Xml(benchmark::State& state) {
  XmlDocument doc;
  if (!doc.LoadXml(Roster()).ok()) return state.SkipWithError("LoadXml failed");
  for (auto _ : state) benchmark::DoNotOptimize(doc.Xml().size());
}
BENCHMARK(BM_Xml)->Unit(benchmark::kMillisecond);

// Save writes a temporary file, flushes it to disk and renames it.
void BM_Save(benchmark::State& state) {
  XmlDocument doc;
  if (!doc.LoadXml(Roster()).ok()) return state.SkipWithError("LoadXml failed");
  const auto path = RosterFile().string() + ".saved";
  for (auto _ : state) {
    if (!doc.Save(path).ok()) state.SkipWithError("Save failed");
  }
  std::filesystem::remove(path);
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond);

// pugixml writes in place, without flushing to disk.
void BM_PugixmlSave(benchmark::State& state) {
  pugi::xml_document doc;
  doc.load_string(Roster().c_str());
  const auto path = RosterFile().string() + ".pugi";
  for (auto _ : state) benchmark::DoNotOptimize(doc.save_file(path.c_str(), "  "));
  std::filesystem::remove(path);
}
BENCHMARK(BM_PugixmlSave)->Unit(benchmark::kMillisecond);

struct RemoveRosterFile {
  ~RemoveRosterFile() {
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::temp_directory_path() /
                                ("norwin-xml-bench-" + std::to_string(getpid()) + ".xml"),
                            ignored);
  }
} remove_roster_file;

}  // namespace
