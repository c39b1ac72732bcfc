// Costs of script calling automation objects through the bridge, in a real
// JavaScriptCore context: a bare native call for comparison, property reads
// and writes, method calls, object creation and enumeration. Each iteration
// runs a script loop of 1000 operations; the `per_op` counter is the time of
// one. BM_EncryptionEncrypt calls the record library's Encryption, which it
// registers in a temporary prefix first.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <jsc/jsc.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "norwin/automation/activation.h"
#include "norwin/automation/binder.h"
#include "norwin/automation/dispatch.h"
#include "norwin/bridge/js_bridge.h"
#include "norwin/bridge/object_server.h"

namespace {

using norwin::automation::MakeRef;
using norwin::automation::Object;
using norwin::automation::Ref;
using norwin::automation::Variant;
using norwin::bridge::GObjectPtr;

constexpr int kOpsPerIteration = 1000;

// A record-shaped class: a few properties, a small method, a collection.
class BenchRecord : public Object {
 public:
  NORWIN_BOUND_CLASS();
  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  int32_t Count() const { return 1000; }
  std::string Encrypt(const std::string& text) const {
    uint64_t hash = 1469598103934665603ull;
    for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
    return digits;
  }
  Ref<norwin::automation::Enumerator> NewEnum() const {
    std::vector<Variant> items;
    for (int i = 0; i < kOpsPerIteration; ++i) items.emplace_back(i);
    return norwin::automation::MakeSnapshotEnumerator(std::move(items));
  }

 private:
  std::string name_ = "Student Name";
};

NORWIN_CLASS(BenchRecord) {
  PropertyRW("Name", &BenchRecord::Name, &BenchRecord::SetName);
  Property("Count", &BenchRecord::Count);
  Method("Encrypt", &BenchRecord::Encrypt);
  NewEnum(&BenchRecord::NewEnum);
}

Ref<Object> CreateBenchObject(std::string_view progid) {
  if (progid == "Bench.Record") return MakeRef<BenchRecord>();
  return norwin::automation::CreateObject(progid);
}

// libnorwin2003.so registered in a temporary prefix, for the benchmarks of
// its classes; nullptr when it cannot be.
class RecordLibrary {
 public:
  RecordLibrary() {
    char folder[] = "/tmp/norwin-script-bench-XXXXXX";
    if (!mkdtemp(folder)) return;
    folder_ = folder;
    setenv("NORWIN_PREFIX", folder, 1);
    library_ = dlopen(NORWIN2003_LIBRARY, RTLD_NOW);
    if (!library_) return;
    using Register = norwin::automation::HResult (*)();
    auto reg = reinterpret_cast<Register>(dlsym(library_, "DllRegisterServer"));
    registered_ = reg && reg() == norwin::automation::S_OK;
  }
  ~RecordLibrary() {
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
  }
  bool registered() const { return registered_; }

 private:
  std::string folder_;
  void* library_ = nullptr;
  bool registered_ = false;
};

int Bare() { return 1; }
JSCValue* BareValue(gpointer context) {
  return jsc_value_new_number(static_cast<JSCContext*>(context), 1);
}
// The baseline of a property read: a native function that hands script a
// string as long as the record's name.
JSCValue* BareString(gpointer context) {
  return jsc_value_new_string(static_cast<JSCContext*>(context), "Student Name");
}

// A context with the bridge and the loop `body` as function `run`.
class Fixture {
 public:
  Fixture(const std::string& body, int loops, const std::string& setup = "")
      : context_(jsc_context_new()) {
    bridge_ = norwin::bridge::JsBridge::Install(context_.get(), &server_).value();
    JSCValue* bare = jsc_value_new_function(context_.get(), "bare", G_CALLBACK(Bare), nullptr,
                                            nullptr, G_TYPE_INT, 0);
    jsc_context_set_value(context_.get(), "bare", bare);
    g_object_unref(bare);
    JSCValue* bare_value =
        jsc_value_new_function(context_.get(), "bareValue", G_CALLBACK(BareValue), context_.get(),
                               nullptr, JSC_TYPE_VALUE, 0);
    jsc_context_set_value(context_.get(), "bareValue", bare_value);
    g_object_unref(bare_value);
    JSCValue* bare_string =
        jsc_value_new_function(context_.get(), "bareString", G_CALLBACK(BareString), context_.get(),
                               nullptr, JSC_TYPE_VALUE, 0);
    jsc_context_set_value(context_.get(), "bareString", bare_string);
    g_object_unref(bare_string);
    const std::string code = "var o = new ActiveXObject('Bench.Record'); var sink;" + setup +
                             "function run() { for (var i = 0; i < " + std::to_string(loops) +
                             "; i++) { " + body + " } }";
    GObjectPtr<JSCValue> ignored(jsc_context_evaluate(context_.get(), code.c_str(), -1));
    run_.reset(jsc_context_get_value(context_.get(), "run"));
    Run();  // warm up: members looked up, code compiled
  }
  ~Fixture() {
    server_.ReleaseAll();
    bridge_.reset();
  }
  void Run() {
    GObjectPtr<JSCValue> ignored(jsc_value_function_call(run_.get(), G_TYPE_NONE));
    if (JSCException* e = jsc_context_get_exception(context_.get())) {
      std::fprintf(stderr, "%s\n", jsc_exception_get_message(e));
      std::abort();
    }
  }

 private:
  norwin::bridge::ObjectServer server_{&CreateBenchObject};
  GObjectPtr<JSCContext> context_;
  std::unique_ptr<norwin::bridge::JsBridge> bridge_;
  GObjectPtr<JSCValue> run_;
};

// Runs `body` `loops` times an iteration; `kOpsPerIteration` operations in all.
void RunLoop(benchmark::State& state, const std::string& body, int loops = kOpsPerIteration,
             const std::string& setup = "") {
  Fixture fixture(body, loops, setup);
  for (auto _ : state) fixture.Run();
  state.counters["per_op"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kOpsPerIteration,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_BareNativeCall(benchmark::State& state) { RunLoop(state, "sink = bare();"); }
void BM_BareNativeCallReturningValue(benchmark::State& state) {
  RunLoop(state, "sink = bareValue();");
}
void BM_BareNativeCallReturningString(benchmark::State& state) {
  RunLoop(state, "sink = bareString();");
}
void BM_PropertyReadNumber(benchmark::State& state) { RunLoop(state, "sink = o.Count;"); }
void BM_PropertyReadString(benchmark::State& state) { RunLoop(state, "sink = o.Name;"); }
void BM_PropertyWrite(benchmark::State& state) { RunLoop(state, "o.Name = 'Ann';"); }
void BM_MethodCallEncrypt(benchmark::State& state) {
  RunLoop(state, "sink = o.Encrypt('password');");
}
void BM_CreateObject(benchmark::State& state) {
  RunLoop(state, "sink = new ActiveXObject('Bench.Record');");
}
// One pass over the collection's 1000 items, with for...of and with Enumerator.
void BM_EnumerateItemForOf(benchmark::State& state) {
  RunLoop(state, "for (const x of o) sink = x;", 1);
}
void BM_EnumerateItemEnumerator(benchmark::State& state) {
  RunLoop(state, "for (var e = new Enumerator(o); !e.atEnd(); e.moveNext()) sink = e.item();", 1);
}

// The record library's own Encryption, through activation: what a page's
// password check costs. `per_100k` is the time of 100,000 calls.
void BM_EncryptionEncrypt(benchmark::State& state) {
  static RecordLibrary library;
  if (!library.registered()) {
    state.SkipWithError("libnorwin2003.so could not be registered");
    return;
  }
  RunLoop(state, "sink = enc.Encrypt('password' + (i & 7));", kOpsPerIteration,
          "var enc = new ActiveXObject('NorwinPellam2003.Encryption');");
  state.counters["per_100k"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kOpsPerIteration / 100000,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_BareNativeCall);
BENCHMARK(BM_BareNativeCallReturningValue);
BENCHMARK(BM_BareNativeCallReturningString);
BENCHMARK(BM_PropertyReadNumber);
BENCHMARK(BM_PropertyReadString);
BENCHMARK(BM_PropertyWrite);
BENCHMARK(BM_MethodCallEncrypt);
BENCHMARK(BM_CreateObject);
BENCHMARK(BM_EnumerateItemForOf);
BENCHMARK(BM_EnumerateItemEnumerator);
BENCHMARK(BM_EncryptionEncrypt);

}  // namespace
