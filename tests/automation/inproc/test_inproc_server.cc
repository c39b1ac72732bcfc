// An in-process server library built only for tests (norwin-test-inproc):
// it registers its classes under the ProgIDs "NorwinTest.Counter" and
// "NorwinTest.Refuser", so that tests can activate a class through the
// registry end to end, register and unregister it with norwin-regsvr, and
// unload the library when nothing it made is alive.
#include <atomic>
#include <string>

#include "norwin/automation/binder.h"
#include "norwin/automation/inproc_server.h"
#include "norwin/automation/server_registration.h"
#include "test_inproc_ids.h"

namespace norwin::automation::test_inproc {
namespace {

// Objects of this library still alive; DllCanUnloadNow waits for none.
std::atomic<int32_t> live_objects{0};

class Counter : public Object {
 public:
  NORWIN_BOUND_CLASS();
  Counter() { ++live_objects; }

  int32_t Increment(int32_t by) { return value_ += by; }
  int32_t Value() const { return value_; }
  // The library this object's code lives in, as registration names it.
  std::string Library() const;

 protected:
  ~Counter() override { --live_objects; }

 private:
  int32_t value_ = 0;
};

NORWIN_CLASS(Counter) {
  Method("Increment", &Counter::Increment, Optional("By", Variant(1)));
  Property("Value", &Counter::Value).Default();
  Property("Library", &Counter::Library);
}

Ref<Object> MakeCounter() { return MakeRef<Counter>(); }

std::string Counter::Library() const {
  Result<std::string> path = LibraryPathOf(reinterpret_cast<const void*>(&MakeCounter));
  return path.ok() ? *path : path.message();
}

// A class that refuses to be created, as a class whose set-up fails does.
Ref<Object> Refuse() {
  throw AutomationError(ObjectError(kRefusalCode), "The refuser refuses", "NorwinTest.Refuser");
}

constexpr InprocClass kClasses[] = {
    {kCounterClsid, "NorwinTest.Counter", "Counter of the test server", &MakeCounter},
    {kRefuserClsid, "NorwinTest.Refuser", "", &Refuse},
};

}  // namespace
}  // namespace norwin::automation::test_inproc

using norwin::automation::HResult;
namespace ti = norwin::automation::test_inproc;

NORWIN_INPROC_ENTRY HResult DllGetClassObject(const norwin::automation::Guid* clsid,
                                              norwin::automation::ClassFactory** factory) noexcept {
  return norwin::automation::GetClassObjectFrom(ti::kClasses, clsid, factory);
}

NORWIN_INPROC_ENTRY HResult DllCanUnloadNow() noexcept {
  return ti::live_objects.load() == 0 ? norwin::automation::S_OK : norwin::automation::S_FALSE;
}

NORWIN_INPROC_ENTRY HResult DllRegisterServer() noexcept {
  try {
    norwin::Result<std::string> path =
        norwin::automation::LibraryPathOf(reinterpret_cast<const void*>(&DllRegisterServer));
    if (!path.ok()) return norwin::automation::E_FAIL;
    const norwin::automation::Guid libid = ti::kTypeLibrary;
    return norwin::automation::RegisterInprocClasses(ti::kClasses, *path, &libid).ok()
               ? norwin::automation::S_OK
               : norwin::automation::SELFREG_E_CLASS;
  } catch (...) {
    return norwin::automation::E_OUTOFMEMORY;
  }
}

NORWIN_INPROC_ENTRY HResult DllUnregisterServer() noexcept {
  try {
    return norwin::automation::UnregisterInprocClasses(ti::kClasses).ok()
               ? norwin::automation::S_OK
               : norwin::automation::SELFREG_E_CLASS;
  } catch (...) {
    return norwin::automation::E_OUTOFMEMORY;
  }
}
