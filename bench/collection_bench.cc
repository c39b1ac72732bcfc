// Look-up in a Collection by key and by position: both must take the same
// time whatever the size, because the record classes look students and
// courses up one at a time in rosters of any size. Sizes 100, 10,000 and
// 1,000,000; the C++ face and the script face (Item through dispatch).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "norwin/automation/collection.h"
#include "norwin/automation/dispatch.h"

namespace norwin::automation {
namespace {

std::string KeyOf(int64_t i) { return "SID" + std::to_string(i); }

Ref<Collection> Filled(int64_t size) {
  Ref<Collection> c = MakeCollection();
  for (int64_t i = 0; i < size; ++i) c->AddKeyed(KeyOf(i), Variant(static_cast<int32_t>(i)));
  return c;
}

// Keys spread over the whole collection, in an order that defeats caches of
// the last look-up.
std::vector<std::string> Probes(int64_t size) {
  std::vector<std::string> keys;
  for (int64_t i = 0; i < 1024; ++i) keys.push_back(KeyOf((i * 7919) % size));
  return keys;
}

void BM_FindByKey(benchmark::State& state) {
  Ref<Collection> c = Filled(state.range(0));
  const std::vector<std::string> keys = Probes(state.range(0));
  size_t n = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(c->Find(keys[n++ & 1023]));
  }
}
BENCHMARK(BM_FindByKey)->Arg(100)->Arg(10'000)->Arg(1'000'000);

void BM_ItemByKeyThroughDispatch(benchmark::State& state) {
  Ref<Collection> c = Filled(state.range(0));
  std::vector<Variant> keys;
  for (const std::string& k : Probes(state.range(0))) keys.emplace_back(k);
  const DispId item = c->FindMember("Item");
  size_t n = 0;
  Variant result;
  for (auto _ : state) {
    c->Invoke(item, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {&keys[n++ & 1023], 1}, &result);
    benchmark::DoNotOptimize(result);
  }
}
BENCHMARK(BM_ItemByKeyThroughDispatch)->Arg(100)->Arg(10'000)->Arg(1'000'000);

void BM_ItemByPositionThroughDispatch(benchmark::State& state) {
  const int64_t size = state.range(0);
  Ref<Collection> c = Filled(size);
  std::vector<Variant> positions;
  for (int64_t i = 0; i < 1024; ++i) {
    positions.emplace_back(static_cast<int32_t>((i * 7919) % size + 1));
  }
  const DispId item = c->FindMember("Item");
  size_t n = 0;
  Variant result;
  for (auto _ : state) {
    c->Invoke(item, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {&positions[n++ & 1023], 1}, &result);
    benchmark::DoNotOptimize(result);
  }
}
BENCHMARK(BM_ItemByPositionThroughDispatch)->Arg(100)->Arg(10'000)->Arg(1'000'000);

// Adding at the end, the way a roster is loaded.
void BM_AddKeyed(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(Filled(state.range(0)));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_AddKeyed)->Arg(100)->Arg(10'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace norwin::automation
