// What a registry read and a registry write cost: a read is one indexed
// lookup; a write is one transaction, flushed to disk before it returns.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "norwin/platform/registry.h"

namespace {

using norwin::platform::RegEdit;
using norwin::platform::Registry;
using norwin::platform::RegValue;

constexpr const char* kKey = "HKEY_LOCAL_MACHINE\\Software\\Norwin Interactive\\Pellam\\Bench";
constexpr int kValues = 1000;

// A registry in a fresh temporary folder with kValues values in kKey,
// removed when the benchmark ends.
class BenchRegistry {
 public:
  BenchRegistry() {
    std::string templ = (std::filesystem::temp_directory_path() / "norwin-bench-XXXXXX").string();
    if (!mkdtemp(templ.data())) abort();
    dir_ = templ;
    auto opened = Registry::Open(dir_ / "registry.db");
    if (!opened.ok()) abort();
    reg_ = std::move(*opened);
    std::vector<RegEdit> edits;
    for (int i = 0; i < kValues; ++i) {
      edits.push_back(RegEdit::SetValue(kKey, Name(i), RegValue::String("value " + Name(i))));
    }
    if (!reg_->Apply(edits).ok()) abort();
  }
  ~BenchRegistry() {
    reg_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  static std::string Name(int i) { return "Value" + std::to_string(i); }
  Registry& reg() { return *reg_; }

 private:
  std::filesystem::path dir_;
  std::unique_ptr<Registry> reg_;
};

void BM_GetValue(benchmark::State& state) {
  BenchRegistry bench;
  std::vector<std::string> names;
  for (int i = 0; i < kValues; ++i) names.push_back(BenchRegistry::Name(i));
  size_t i = 0;
  for (auto _ : state) {
    auto value = bench.reg().GetValue(kKey, names[i++ % names.size()]);
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(BM_GetValue);

void BM_GetValueMissing(benchmark::State& state) {
  BenchRegistry bench;
  for (auto _ : state) {
    auto value = bench.reg().GetValue(kKey, "NoSuchValue");
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(BM_GetValueMissing);

void BM_SetValue(benchmark::State& state) {
  BenchRegistry bench;
  uint32_t n = 0;
  for (auto _ : state) {
    if (!bench.reg().SetValue(kKey, "Counter", RegValue::Dword(n++)).ok()) abort();
  }
}
BENCHMARK(BM_SetValue)->Unit(benchmark::kMicrosecond);

// A hundred values in one Apply: the flush is paid once.
void BM_ApplyHundredValues(benchmark::State& state) {
  BenchRegistry bench;
  std::vector<RegEdit> edits;
  for (int i = 0; i < 100; ++i) {
    edits.push_back(RegEdit::SetValue(kKey, BenchRegistry::Name(i), RegValue::Dword(i)));
  }
  for (auto _ : state) {
    if (!bench.reg().Apply(edits).ok()) abort();
  }
  state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_ApplyHundredValues)->Unit(benchmark::kMicrosecond);

}  // namespace
