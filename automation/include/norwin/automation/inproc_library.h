// InprocLibrary: one in-process server library loaded into the process, with
// its entry points (inproc_server.h). Activation keeps the libraries it loads
// in a process-wide table (activation.h); norwin-regsvr loads one to call its
// registration entry points.
//
// Loading is dlopen with RTLD_NOW | RTLD_LOCAL: a library with an unresolved
// symbol fails to load instead of failing later in the middle of a call, and
// the entry points of different libraries never mix. Destroying the object
// unloads the library (dlclose); only do that when nothing it made is alive.
#pragma once

#include <memory>
#include <string>

#include "norwin/automation/error.h"
#include "norwin/automation/export.h"
#include "norwin/automation/inproc_server.h"
#include "norwin/platform/status.h"

namespace norwin::automation {

class NORWIN_AUTOMATION_EXPORT InprocLibrary {
 public:
  // Loads the library `name`: a path with a slash is used as it is; a bare
  // name is looked for in the runtime's own folder first, then as the
  // dynamic linker searches. Fails with the dynamic linker's reason.
  static Result<std::unique_ptr<InprocLibrary>> Load(const std::string& name);

  ~InprocLibrary();
  InprocLibrary(const InprocLibrary&) = delete;
  InprocLibrary& operator=(const InprocLibrary&) = delete;

  const std::string& path() const { return path_; }

  // The entry points; null when the library does not export one.
  NorwinDllGetClassObjectFn get_class_object() const { return get_class_object_; }
  NorwinDllCanUnloadNowFn can_unload_now() const { return can_unload_now_; }
  NorwinDllRegisterServerFn register_server() const { return register_server_; }
  NorwinDllUnregisterServerFn unregister_server() const { return unregister_server_; }

 private:
  InprocLibrary(std::string path, void* handle);

  std::string path_;
  void* handle_;
  NorwinDllGetClassObjectFn get_class_object_ = nullptr;
  NorwinDllCanUnloadNowFn can_unload_now_ = nullptr;
  NorwinDllRegisterServerFn register_server_ = nullptr;
  NorwinDllUnregisterServerFn unregister_server_ = nullptr;
};

}  // namespace norwin::automation
