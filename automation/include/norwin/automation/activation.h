// Activation: creating an automation object from a ProgID
// ("NorwinPellam2003.Students") or a CLSID in braces, as `CreateObject` and
// `new ActiveXObject(...)` do.
//
// The classes of the runtime itself (`Scripting.Dictionary`,
// `Scripting.FileSystemObject`, and any a library adds with
// RegisterBuiltInClass) are created in every process without registration,
// as the operating system's own classes are. Any other class is found in the
// registry:
//   HKEY_CLASSES_ROOT\<ProgID>\CLSID            (default) = "{...}"
//   HKEY_CLASSES_ROOT\<ProgID>\CurVer           (default) = "<ProgID>.1", followed
//                                               when the ProgID has no CLSID key
//   HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32 (default) = the library's path
//                                               (REG_EXPAND_SZ: %VARIABLES% expanded)
// The library is loaded once and kept in a process-wide table; its
// DllGetClassObject makes the class object, which makes the object
// (inproc_server.h). FreeUnusedLibraries unloads the libraries whose
// DllCanUnloadNow allows it.
//
// Every failure to find, load or ask a class is runtime error 429, with the
// description "ActiveX component can't create object: 'NAME'" and the reason
// in the source ("CreateObject: NAME is not registered ..."). A class that
// refuses to make an object raises its own HRESULT. Nothing here crashes on a
// bad registration or a bad library.
//
// Safe to call from any thread; the objects themselves belong to the thread
// that uses them (object.h).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "norwin/automation/convert.h"
#include "norwin/automation/error.h"
#include "norwin/automation/export.h"
#include "norwin/automation/guid.h"
#include "norwin/automation/object.h"
#include "norwin/platform/status.h"

namespace norwin::automation {

// A ProgID or a CLSID in braces. Throws AutomationError (429, or what the
// class raises).
NORWIN_AUTOMATION_EXPORT Ref<Object> CreateObject(std::string_view progid_or_clsid);
NORWIN_AUTOMATION_EXPORT Ref<Object> CreateObjectByProgId(std::string_view progid);
NORWIN_AUTOMATION_EXPORT Ref<Object> CreateObjectByClsid(const Guid& clsid);

// CreateObjectByProgId for C++ callers that know the class: raises 13 when
// the object made is not a T.
template <typename T>
Ref<T> CreateObjectAs(std::string_view progid) {
  Ref<Object> object = CreateObjectByProgId(progid);
  T* typed = dynamic_cast<T*>(object.get());
  if (!typed) throw RuntimeError(kTypeMismatch);
  return Ref<T>(typed);
}

// The CLSID the registry gives `progid` (following CurVer), or why there is
// none. Built-in classes are not in the registry.
NORWIN_AUTOMATION_EXPORT Result<Guid> ClsidFromProgId(std::string_view progid);

// Makes one object of a built-in class; may throw AutomationError.
using BuiltInFactory = Ref<Object> (*)();

// Adds a class that every process can create without registration. A
// ProgID or CLSID already known is replaced. Call it before the class is
// needed, for example when a library is loaded.
NORWIN_AUTOMATION_EXPORT void RegisterBuiltInClass(std::string_view progid, const Guid& clsid,
                                                   BuiltInFactory factory);

// Unloads every loaded server library whose DllCanUnloadNow answers S_OK
// (a library without that entry point stays loaded). Returns how many were
// unloaded.
NORWIN_AUTOMATION_EXPORT size_t FreeUnusedLibraries();

// How many server libraries activation holds loaded.
NORWIN_AUTOMATION_EXPORT size_t LoadedLibraryCount();

}  // namespace norwin::automation
