// The four entry points of libnorwin2003.so, the only symbols it exports:
// the automation runtime finds the library through the registry and asks
// them for class objects; norwin-regsvr calls the registration pair. No
// exception leaves them.
#include <new>
#include <string>

#include "norwin/automation/inproc_server.h"
#include "norwin/automation/server_registration.h"
#include "norwin/datalayer/library_classes.h"

using norwin::automation::HResult;
namespace automation = norwin::automation;
namespace datalayer = norwin::datalayer;

NORWIN_INPROC_ENTRY HResult DllGetClassObject(const automation::Guid* clsid,
                                              automation::ClassFactory** factory) noexcept {
  return datalayer::GetLibraryClassObject(clsid, factory);
}

NORWIN_INPROC_ENTRY HResult DllCanUnloadNow() noexcept {
  return datalayer::LiveObjectCount() + datalayer::LiveFactoryCount() == 0 ? automation::S_OK
                                                                           : automation::S_FALSE;
}

NORWIN_INPROC_ENTRY HResult DllRegisterServer() noexcept {
  try {
    norwin::Result<std::string> path =
        automation::LibraryPathOf(reinterpret_cast<const void*>(&DllRegisterServer));
    if (!path.ok()) return automation::E_FAIL;
    return datalayer::RegisterLibrary(*path).ok() ? automation::S_OK : automation::SELFREG_E_CLASS;
  } catch (const std::bad_alloc&) {
    return automation::E_OUTOFMEMORY;
  } catch (...) {
    return automation::E_FAIL;
  }
}

NORWIN_INPROC_ENTRY HResult DllUnregisterServer() noexcept {
  try {
    return datalayer::UnregisterLibrary().ok() ? automation::S_OK : automation::SELFREG_E_CLASS;
  } catch (const std::bad_alloc&) {
    return automation::E_OUTOFMEMORY;
  } catch (...) {
    return automation::E_FAIL;
  }
}
