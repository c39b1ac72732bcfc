// The cost of one call through dispatch by name: the path every script call
// takes (find the member, convert the arguments, call, wrap the result).
#include <benchmark/benchmark.h>

#include "norwin/automation/binder.h"
#include "norwin/automation/dispatch.h"

namespace norwin::automation {
namespace {

class Target : public Object {
 public:
  NORWIN_BOUND_CLASS();
  bool setCookie(const std::string& name, const std::string& value) {
    return name.size() + value.size() > 0;
  }
  int32_t Count() const { return 3; }
  std::string Padding1() const { return {}; }
  std::string Padding2() const { return {}; }
  std::string Padding3() const { return {}; }
  std::string Padding4() const { return {}; }
};

NORWIN_CLASS(Target) {
  Property("Padding1", &Target::Padding1);
  Property("Padding2", &Target::Padding2);
  Method("setCookie", &Target::setCookie);
  Property("Count", &Target::Count);
  Property("Padding3", &Target::Padding3);
  Property("Padding4", &Target::Padding4);
}

// Arguments made once; the call finds the member by name each time.
void BM_CallByNameTwoStrings(benchmark::State& state) {
  Ref<Target> target = MakeRef<Target>();
  const Variant args[] = {Variant("LessonProgress"), Variant("3;4;5;completed")};
  for (auto _ : state) {
    Variant result = CallByName(*target, "SETCOOKIE", DISPATCH_METHOD, args);
    benchmark::DoNotOptimize(result);
  }
}
BENCHMARK(BM_CallByNameTwoStrings);

// As a bridge sees it: the argument Variants are made from fresh strings.
void BM_CallByNameMakingArguments(benchmark::State& state) {
  Ref<Target> target = MakeRef<Target>();
  const std::string name = "LessonProgress";
  const std::string value = "3;4;5;completed, and some more text";
  for (auto _ : state) {
    const Variant args[] = {Variant(name), Variant(value)};
    Variant result = CallByName(*target, "setCookie", DISPATCH_METHOD, args);
    benchmark::DoNotOptimize(result);
  }
}
BENCHMARK(BM_CallByNameMakingArguments);

void BM_InvokeByDispid(benchmark::State& state) {
  Ref<Target> target = MakeRef<Target>();
  const DispId id = target->FindMember("Count");
  Variant result;
  for (auto _ : state) {
    target->Invoke(id, DISPATCH_PROPERTYGET, {}, &result);
    benchmark::DoNotOptimize(result);
  }
}
BENCHMARK(BM_InvokeByDispid);

void BM_FormatNumber(benchmark::State& state) {
  double d = 2.0 / 3.0;
  for (auto _ : state) {
    std::string text = FormatNumber(d);
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_FormatNumber);

}  // namespace
}  // namespace norwin::automation
