#include "bridge/lumo/demo_library.h"

#include <cstdio>
#include <memory>
#include <string>

#include "norwin/automation/activation.h"
#include "norwin/automation/inproc_library.h"

namespace norwin::bridge {

void RegisterRecordLibraryForDemo() {
  // One class the demo's pages create stands for the library's.
  if (automation::ClsidFromProgId("NorwinPellam2003.Registry").ok()) return;
  std::string failure;
  Result<std::unique_ptr<automation::InprocLibrary>> library =
      automation::InprocLibrary::Load("libnorwin2003.so");
  if (!library.ok()) {
    failure = library.message();
  } else if (!(*library)->register_server()) {
    failure = "it has no DllRegisterServer";
  } else if (automation::Failed((*library)->register_server()())) {
    failure = "its DllRegisterServer failed";
  }
  if (!failure.empty()) {
    std::fprintf(stderr, "lumo: the demo's record library is not registered: %s\n",
                 failure.c_str());
  }
}

}  // namespace norwin::bridge
