// The interface between the automation runtime and an in-process server: a
// shared library (libnorwin2003.so) whose classes page script creates by
// ProgID. The runtime finds the library through the registry, loads it and
// calls the four entry points below, which the library exports with C
// linkage and default visibility (define them with NORWIN_INPROC_ENTRY).
//
// Both sides are built against the same libnorwin-automation.so, so objects
// cross as Object pointers with their own reference counts. No C++
// exception crosses an entry point or ClassFactory::CreateInstance: each
// catches everything and answers with an HRESULT.
//
// Ownership:
// - A pointer handed out through an out-parameter (`*factory`,
//   `*instance`) carries one reference that the caller now owns and gives
//   back with Release() (or takes over with Ref<T>::Adopt). On failure the
//   out-parameter is set to null.
// - Code and static data of the library must stay mapped while any object
//   or class object it made is alive. The runtime unloads a library only
//   when its DllCanUnloadNow answers S_OK, so a library answers S_OK only
//   when it counts no live object of its own.
//
// Entry points:
// - DllGetClassObject(clsid, factory): the class object of `clsid`; S_OK,
//   or CLASS_E_CLASSNOTAVAILABLE for a class the library does not have.
// - DllCanUnloadNow(): S_OK when the library may be unloaded, else S_FALSE.
// - DllRegisterServer() / DllUnregisterServer(): write / remove the
//   library's registry entries (server_registration.h helps); S_OK or a
//   failure HRESULT (SELFREG_E_CLASS when the registry could not be
//   written).
#pragma once

#include <cstdint>
#include <optional>

#include "norwin/automation/error.h"
#include "norwin/automation/export.h"
#include "norwin/automation/guid.h"
#include "norwin/automation/object.h"

namespace norwin::automation {

// A failed registration of one or more classes (the platform's SELFREG_E_CLASS).
inline constexpr HResult SELFREG_E_CLASS = MakeHResult(0x80040201);

// A class object: makes new objects of one class.
class NORWIN_AUTOMATION_EXPORT ClassFactory : public Object {
 public:
  // Makes a new object. On success returns S_OK and stores in `*instance`
  // an object carrying one reference for the caller. On failure returns a
  // failure HRESULT (E_OUTOFMEMORY, the number of an AutomationError the
  // class raised, E_FAIL) and stores null.
  virtual HResult CreateInstance(Object** instance) noexcept = 0;

  std::string_view TypeName() const override { return "ClassFactory"; }

 protected:
  ~ClassFactory() override;
};

// The error behind a failure HRESULT that crossed this interface, kept per
// thread as the platform's error-info object keeps it: a class object whose
// CreateInstance fails with an AutomationError leaves it here, and the
// runtime raises it with its description and source (when memory for the
// copy runs out, only the HRESULT remains). TakeErrorInfo returns
// it once (nullopt when none is waiting or it belongs to another HRESULT).
NORWIN_AUTOMATION_EXPORT void SetErrorInfo(const AutomationError& error) noexcept;
NORWIN_AUTOMATION_EXPORT std::optional<AutomationError> TakeErrorInfo(HResult hr);

}  // namespace norwin::automation

// Marks the definition of an entry point in a server library.
#define NORWIN_INPROC_ENTRY extern "C" __attribute__((visibility("default")))

// The entry points' types, as the runtime looks them up with dlsym.
using NorwinDllGetClassObjectFn = norwin::automation::HResult (*)(
    const norwin::automation::Guid* clsid, norwin::automation::ClassFactory** factory) noexcept;
using NorwinDllCanUnloadNowFn = norwin::automation::HResult (*)() noexcept;
using NorwinDllRegisterServerFn = norwin::automation::HResult (*)() noexcept;
using NorwinDllUnregisterServerFn = norwin::automation::HResult (*)() noexcept;
