// Costs of the system layer's file-name work: resolving a Windows path that
// exists as written (one stat per call, no listing), one whose case differs
// (a listing of the folder that holds the mismatched name), and reading a
// settings file value.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "norwin/platform/drives.h"
#include "norwin/platform/profile.h"

namespace {

namespace fs = std::filesystem;

// A prefix with drive d: holding a course folder of 1000 pages.
class Disc {
 public:
  Disc() {
    std::string templ = (fs::temp_directory_path() / "norwin-bench-XXXXXX").string();
    if (!mkdtemp(templ.data())) abort();
    root_ = templ;
    fs::create_directories(root_ / "prefix" / "drives");
    fs::create_directories(root_ / "disc" / "course");
    for (int i = 0; i < 1000; ++i)
      std::ofstream(root_ / "disc" / "course" / ("page" + std::to_string(i) + ".htm")) << "x";
    fs::create_directory_symlink(root_ / "disc", root_ / "prefix" / "drives" / "d");
    std::ofstream(root_ / "course.cfg") << "[general]\r\nrun=\\course\\page1.htm\r\ncx=1024\r\n"
                                           "cy=768\r\ntitle=Benchmark course\r\n";
    setenv("NORWIN_PREFIX", (root_ / "prefix").c_str(), 1);
  }
  ~Disc() { fs::remove_all(root_); }
  const fs::path& root() const { return root_; }

 private:
  fs::path root_;
};

Disc& TheDisc() {
  static Disc disc;
  return disc;
}

void BM_ResolveExactPath(benchmark::State& state) {
  TheDisc();
  for (auto _ : state) {
    auto path = norwin::platform::ResolveWindowsPath("d:\\course\\page500.htm");
    benchmark::DoNotOptimize(path);
  }
}
BENCHMARK(BM_ResolveExactPath);

void BM_ResolveMismatchedCase(benchmark::State& state) {
  TheDisc();
  for (auto _ : state) {
    auto path = norwin::platform::ResolveWindowsPath("D:\\COURSE\\Page500.HTM");
    benchmark::DoNotOptimize(path);
  }
}
BENCHMARK(BM_ResolveMismatchedCase);

void BM_ReadSettingsValue(benchmark::State& state) {
  const fs::path cfg = TheDisc().root() / "course.cfg";
  for (auto _ : state) {
    auto title = norwin::platform::GetPrivateProfileString("general", "title", "", 258, cfg);
    benchmark::DoNotOptimize(title);
  }
}
BENCHMARK(BM_ReadSettingsValue);

}  // namespace
