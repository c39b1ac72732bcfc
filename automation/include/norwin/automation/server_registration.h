// Helpers for in-process server libraries (inproc_server.h): the registry
// entries that make their classes creatable by ProgID, written by
// DllRegisterServer and removed by DllUnregisterServer, and a
// DllGetClassObject over a table of classes.
//
// For each class, registration writes (as the platform's registrar does for
// an apartment-model in-process class):
//   HKEY_CLASSES_ROOT\<ProgID>                 (default) = description
//   HKEY_CLASSES_ROOT\<ProgID>\CLSID           (default) = "{CLSID}"
//   HKEY_CLASSES_ROOT\CLSID\{CLSID}            (default) = description
//   HKEY_CLASSES_ROOT\CLSID\{CLSID}\InprocServer32  (default) = library path,
//                                                   ThreadingModel = "Apartment"
//   HKEY_CLASSES_ROOT\CLSID\{CLSID}\ProgID     (default) = ProgID
//   HKEY_CLASSES_ROOT\CLSID\{CLSID}\TypeLib    (default) = "{LIBID}" when given
// all of it in one registry transaction: every class is registered, or none.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "norwin/automation/error.h"
#include "norwin/automation/export.h"
#include "norwin/automation/guid.h"
#include "norwin/automation/inproc_server.h"
#include "norwin/automation/object.h"
#include "norwin/platform/status.h"

namespace norwin::automation {

// One class a server library offers.
struct InprocClass {
  Guid clsid;
  std::string_view progid;       // "NorwinPellam2003.Students"
  std::string_view description;  // empty: the ProgID
  // Makes one object; may throw (AutomationError, std::bad_alloc).
  Ref<Object> (*create)();
};

// Writes the entries of `classes`, naming `library_path` (absolute) as
// their server. `type_library` may be null. Fails, writing nothing, with the
// registry's message.
NORWIN_AUTOMATION_EXPORT Status RegisterInprocClasses(std::span<const InprocClass> classes,
                                                      std::string_view library_path,
                                                      const Guid* type_library = nullptr);

// Removes the entries of `classes`: each CLSID key, and each ProgID key that
// still names that CLSID (a ProgID another server has taken over since is
// left alone). Entries already gone are no error.
NORWIN_AUTOMATION_EXPORT Status UnregisterInprocClasses(std::span<const InprocClass> classes);

// DllGetClassObject over `classes`: a class object whose CreateInstance
// calls the class's `create`. CLASS_E_CLASSNOTAVAILABLE for a CLSID not in
// the table; never throws.
NORWIN_AUTOMATION_EXPORT HResult GetClassObjectFrom(std::span<const InprocClass> classes,
                                                    const Guid* clsid,
                                                    ClassFactory** factory) noexcept;

// The absolute path of the shared library that contains `address` (pass the
// address of one of the library's own functions), as the library's
// registration records it. Fails when the address is in no loaded file.
NORWIN_AUTOMATION_EXPORT Result<std::string> LibraryPathOf(const void* address);

}  // namespace norwin::automation
