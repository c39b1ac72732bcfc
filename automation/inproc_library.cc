#include "norwin/automation/inproc_library.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <utility>

#include "norwin/automation/binder.h"

namespace norwin::automation {

namespace {

// The entry point `name` of the library itself. dlsym also searches the
// libraries it depends on; an entry point found there (another server the
// library links) is not this library's.
template <typename Fn>
Fn Entry(void* handle, const char* name) {
  void* symbol = dlsym(handle, name);
  if (!symbol) return nullptr;
  link_map* own = nullptr;
  link_map* holder = nullptr;
  Dl_info info;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &own) != 0 ||
      dladdr1(symbol, &info, reinterpret_cast<void**>(&holder), RTLD_DL_LINKMAP) == 0 ||
      own != holder) {
    return nullptr;
  }
  return reinterpret_cast<Fn>(symbol);
}

// Where the runtime itself lies, for BesideRuntime.
void Anchor() {}

// A bare library name is looked for first in the runtime's own folder, where
// the record library is installed beside it, and otherwise left to the
// dynamic linker. Asking explicitly keeps the answer the same in every build:
// a dlopen that a sanitizer intercepts no longer sees the runtime's run path.
std::string BesideRuntime(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  Dl_info info;
  if (dladdr(reinterpret_cast<const void*>(&Anchor), &info) == 0 || !info.dli_fname) return name;
  const std::string runtime = info.dli_fname;
  const size_t slash = runtime.rfind('/');
  if (slash == std::string::npos) return name;
  std::string candidate = runtime.substr(0, slash + 1) + name;
  return access(candidate.c_str(), F_OK) == 0 ? candidate : name;
}

}  // namespace

ClassFactory::~ClassFactory() = default;

namespace {
thread_local std::optional<AutomationError> error_info;
}  // namespace

void SetErrorInfo(const AutomationError& error) noexcept {
  try {
    error_info = error;
  } catch (...) {
    error_info.reset();
  }
}

std::optional<AutomationError> TakeErrorInfo(HResult hr) {
  std::optional<AutomationError> taken = std::exchange(error_info, std::nullopt);
  if (taken && taken->number != hr) return std::nullopt;
  return taken;
}

Result<std::unique_ptr<InprocLibrary>> InprocLibrary::Load(const std::string& name) {
  const std::string path = BesideRuntime(name);
  dlerror();  // clear any earlier failure
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    return Status::Error(why ? why : path + ": cannot be loaded");
  }
  return std::unique_ptr<InprocLibrary>(new InprocLibrary(path, handle));
}

InprocLibrary::InprocLibrary(std::string path, void* handle)
    : path_(std::move(path)), handle_(handle) {
  get_class_object_ = Entry<NorwinDllGetClassObjectFn>(handle_, "DllGetClassObject");
  can_unload_now_ = Entry<NorwinDllCanUnloadNowFn>(handle_, "DllCanUnloadNow");
  register_server_ = Entry<NorwinDllRegisterServerFn>(handle_, "DllRegisterServer");
  unregister_server_ = Entry<NorwinDllUnregisterServerFn>(handle_, "DllUnregisterServer");
}

InprocLibrary::~InprocLibrary() {
  // Where the library lies, to find the member tables its classes built.
  const void* base = nullptr;
  Dl_info info;
  if (get_class_object_ && dladdr(reinterpret_cast<const void*>(get_class_object_), &info) != 0) {
    base = info.dli_fbase;
  }
  dlclose(handle_);
  if (!base) return;
  // Another handle (norwin-regsvr's, a second registration) may keep the
  // library loaded; its tables are freed only once it is really gone.
  if (void* still = dlopen(path_.c_str(), RTLD_NOW | RTLD_NOLOAD)) {
    dlclose(still);
    return;
  }
  ClassInfo::ReleaseTablesOf(base);
}

}  // namespace norwin::automation
