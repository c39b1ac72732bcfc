// A class roster of 10,000 students in a local file: loading it, saving it,
// authenticating a user in the loaded roster, adding a student under the
// roster lock, and sorting it for display. Loading also at 1,000 and 50,000
// students, beside its bare baseline: pugixml parsing the same file and
// walking every student's fields (scripts/bench --compare prints the ratio).
#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <cstring>
#include <map>
#include <string>

#include "norwin/datalayer/students.h"
#include "norwin/platform/heap.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

using automation::MakeRef;
using automation::Ref;

constexpr int kRosterSize = 10'000;

// lumo keeps the memory it frees for its next load (norwin/platform/heap.h);
// this process runs its loads as lumo does.
struct KeepFreedMemory {
  KeepFreedMemory() { platform::KeepFreedMemory(); }
} keep_freed_memory;

// The ID of the `i`th student. The roster's own counter is 16-bit, so rosters
// larger than it can number are written with IDs of their own.
std::string StudentId(int i, int count) {
  return count < 32767 ? StudentIdFromCounter(static_cast<int16_t>(i + 1))
                       : "B" + std::to_string(100000 + i);
}

// A roster file of `count` students, every one with a password.
std::string WriteRoster(const testing::TempDir& dir, int count) {
  const std::string file = (dir.path() / ("roster" + std::to_string(count) + ".xml")).string();
  Ref<Students> roster = MakeRef<Students>();
  for (int i = 0; i < count; ++i) {
    Ref<Student> student = NewStudent();
    student->SetField(StudentField::kStudentId, StudentId(i, count));
    student->SetField(StudentField::kFirstName, "First" + std::to_string(i % 97));
    student->SetField(StudentField::kLastName, "Last" + std::to_string((i * 7919) % kRosterSize));
    student->SetField(StudentField::kCourse, std::to_string(i % 12));
    student->SetField(StudentField::kSection, std::to_string(i % 3));
    student->SetField(StudentField::kUserName, "user" + std::to_string(i));
    student->SetEncryptedPassword("5ebe2294ecd0e0f08eab7690d2a6ee69");
    roster->Roster().AddKeyed(student->StudentID(), automation::Variant(student));
  }
  if (!roster->Save(file, nullptr)) std::abort();
  return file;
}

// The roster files of every size, written once for the run.
const std::string& RosterOf(int count) {
  static testing::TempDir dir;
  static std::map<int, std::string> files;
  std::string& file = files[count];
  if (file.empty()) file = WriteRoster(dir, count);
  return file;
}

void BM_Load(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const std::string& file = RosterOf(count);
  Ref<Students> roster = MakeRef<Students>();
  for (auto _ : state) {
    if (!roster->Load(file, nullptr)) state.SkipWithError("the roster did not load");
  }
  if (roster->Roster().Count() != count) state.SkipWithError("students missing");
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_Load)->Arg(1000)->Arg(kRosterSize)->Arg(50000)->Unit(benchmark::kMillisecond);

// The baseline: pugixml reads the same file and every field of every student
// is looked at, as little as a roster load can do.
void BM_BaselinePugixmlParseWalk(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const std::string& file = RosterOf(count);
  for (auto _ : state) {
    pugi::xml_document doc;
    if (!doc.load_file(file.c_str())) state.SkipWithError("the roster did not parse");
    size_t students = 0, text = 0;
    for (pugi::xml_node student : doc.document_element().children("student")) {
      ++students;
      text += std::strlen(student.child_value("id")) +
              std::strlen(student.child_value("username")) +
              std::strlen(student.child_value("password")) +
              std::strlen(student.child_value("classRef")) +
              std::strlen(student.child_value("sectionRef"));
      const pugi::xml_node name = student.child("name");
      text += std::strlen(name.child_value("first")) + std::strlen(name.child_value("last"));
    }
    if (students != static_cast<size_t>(count)) state.SkipWithError("students missing");
    benchmark::DoNotOptimize(text);
  }
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_BaselinePugixmlParseWalk)
    ->Arg(1000)
    ->Arg(kRosterSize)
    ->Arg(50000)
    ->Unit(benchmark::kMillisecond);

void BM_Save(benchmark::State& state) {
  testing::TempDir dir;
  const std::string file = WriteRoster(dir, kRosterSize);
  Ref<Students> roster = MakeRef<Students>();
  if (!roster->Load(file, nullptr)) std::abort();
  for (auto _ : state) benchmark::DoNotOptimize(roster->Save(file, nullptr));
  state.SetItemsProcessed(state.iterations() * kRosterSize);
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond);

// Loading the roster and checking one user's password, as a login page does.
void BM_LoadAndAuthenticate(benchmark::State& state) {
  testing::TempDir dir;
  const std::string file = WriteRoster(dir, kRosterSize);
  Ref<Students> roster = MakeRef<Students>();
  for (auto _ : state) {
    if (!roster->Load(file, nullptr) || !roster->Authenticate("user7777", "secret")) {
      state.SkipWithError("the user was not authenticated");
    }
  }
}
BENCHMARK(BM_LoadAndAuthenticate)->Unit(benchmark::kMillisecond);

// Authenticating in a roster already loaded: the index look-up and the digest.
void BM_Authenticate(benchmark::State& state) {
  testing::TempDir dir;
  const std::string file = WriteRoster(dir, kRosterSize);
  Ref<Students> roster = MakeRef<Students>();
  if (!roster->Load(file, nullptr)) std::abort();
  for (auto _ : state) benchmark::DoNotOptimize(roster->Authenticate("user7777", "secret"));
}
BENCHMARK(BM_Authenticate);

// One student added to the 10,000 under the lock: reload, add, write back.
void BM_AddStudent(benchmark::State& state) {
  testing::TempDir dir;
  const std::string file = WriteRoster(dir, kRosterSize);
  Ref<Students> roster = MakeRef<Students>();
  int added = 0;
  for (auto _ : state) {
    Ref<Student> student = NewStudent();
    student->SetField(StudentField::kUserName, "new" + std::to_string(added++));
    if (!roster->AddStudent(file, student.get(), nullptr)) state.SkipWithError("not added");
  }
}
BENCHMARK(BM_AddStudent)->Unit(benchmark::kMillisecond);

void BM_SortByCourseSectionName(benchmark::State& state) {
  testing::TempDir dir;
  const std::string file = WriteRoster(dir, kRosterSize);
  Ref<Students> roster = MakeRef<Students>();
  if (!roster->Load(file, nullptr)) std::abort();
  for (auto _ : state) benchmark::DoNotOptimize(roster->Sort("COURSE", "SECTION", "LASTNAME"));
}
BENCHMARK(BM_SortByCourseSectionName)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace norwin::datalayer
