// Cookies in a progress file of 1,000 cookies: set (read, rewrite whole
// under the lock, flush, rename), chip append and get.
//
// Each write is flushed to the device before it replaces the old file, so a
// set costs at least one flush of the device that holds the file. The
// "/memory" variants keep the file in /dev/shm, where a flush costs nothing,
// and so show the program's own share; the others use $TMPDIR (or /tmp).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "norwin/host/progress_file.h"
#include "norwin/platform/registry.h"

namespace {

namespace fs = std::filesystem;
using norwin::host::ProgressStore;

constexpr int kCookies = 1000;

// A temporary folder below `base`, removed at the end.
class BenchFolder {
 public:
  explicit BenchFolder(const fs::path& base) {
    std::string templ = (base / "norwin-bench-XXXXXX").string();
    if (!mkdtemp(templ.data())) abort();
    path_ = templ;
  }
  ~BenchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

fs::path Base(const benchmark::State& state) {
  return state.range(0) == 1 ? fs::path("/dev/shm") : fs::temp_directory_path();
}

void Fill(ProgressStore& store) {
  for (int i = 0; i < kCookies; ++i) {
    if (!store.Set("cookie" + std::to_string(i), "lesson " + std::to_string(i) + " done|~").ok())
      abort();
  }
}

void BM_SetCookie(benchmark::State& state) {
  BenchFolder folder(Base(state));
  ProgressStore store({.program_folder = folder.path()});
  Fill(store);
  int round = 0;
  for (auto _ : state) {
    // A cookie from the middle of the file, so that half of it moves.
    if (!store.Set("cookie" + std::to_string(kCookies / 2 + round % 100), std::to_string(round))
             .ok())
      state.SkipWithError("set failed");
    ++round;
  }
}
BENCHMARK(BM_SetCookie)->ArgName("memory")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_AppendChip(benchmark::State& state) {
  BenchFolder folder(Base(state));
  ProgressStore store({.program_folder = folder.path()});
  Fill(store);
  int round = 0;
  for (auto _ : state) {
    if (!store.AppendChip("cookie" + std::to_string(round % kCookies), std::to_string(round)).ok())
      state.SkipWithError("append failed");
    ++round;
  }
}
BENCHMARK(BM_AppendChip)->ArgName("memory")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_GetCookie(benchmark::State& state) {
  BenchFolder folder(Base(state));
  ProgressStore store({.program_folder = folder.path()});
  Fill(store);
  int round = 0;
  for (auto _ : state) {
    auto value = store.Get("cookie" + std::to_string(round++ % kCookies));
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(BM_GetCookie)->ArgName("memory")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The folder from the registry's "Path" value, read at every operation.
void BM_SetCookieInPathFolder(benchmark::State& state) {
  BenchFolder prefix(Base(state));
  setenv("NORWIN_PREFIX", prefix.path().c_str(), 1);
  {
    auto registry = norwin::platform::Registry::OpenDefault();
    if (!registry.ok() || !(*registry)
                               ->SetValue("HKEY_CURRENT_USER\\Software\\Bench", "Path",
                                          norwin::platform::RegValue::String(
                                              (prefix.path() / "progress" / "course").string()))
                               .ok())
      abort();
  }
  ProgressStore store({.program_folder = prefix.path()});
  store.SetKey("Software\\Bench");
  Fill(store);
  int round = 0;
  for (auto _ : state) {
    if (!store.Set("cookie" + std::to_string(kCookies / 2), std::to_string(round++)).ok())
      state.SkipWithError("set failed");
  }
  unsetenv("NORWIN_PREFIX");
}
BENCHMARK(BM_SetCookieInPathFolder)
    ->ArgName("memory")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
