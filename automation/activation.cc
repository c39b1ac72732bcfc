#include "norwin/automation/activation.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "norwin/automation/dictionary.h"
#include "norwin/automation/file_system.h"
#include "norwin/automation/inproc_library.h"
#include "norwin/automation/key_compare.h"
#include "norwin/platform/prefix.h"
#include "norwin/platform/registry.h"

namespace norwin::automation {

namespace {

using platform::Registry;
using platform::RegType;
using platform::RegValue;

constexpr std::string_view kClassesRoot = "HKEY_CLASSES_ROOT\\";
// How many CurVer links a ProgID may take before the chain counts as a loop.
constexpr int kMaxCurVerHops = 8;

// ---- Failures ----

// Runtime error 429 for `name`, with `reason` for whoever reads the source.
AutomationError CannotCreate(std::string_view name, std::string_view reason) {
  std::string description(RuntimeErrorDescription(kCannotCreateObject));
  description.append(": '").append(name).append("'");
  std::string source = "CreateObject: ";
  source.append(reason);
  return AutomationError(HResultFromRuntimeError(kCannotCreateObject), std::move(description),
                         std::move(source));
}

// Runtime error 429 too, when the registry itself cannot be read (a full
// disk, a damaged database): the description says so, since the class may
// well be registered and only the user can mend the cause.
AutomationError RegistryUnreadable(std::string_view name, std::string_view reason) {
  std::string description = "The registry cannot be read (";
  description.append(reason).append("), so '").append(name).append("' cannot be created");
  std::string source = "CreateObject: ";
  source.append(reason);
  return AutomationError(HResultFromRuntimeError(kCannotCreateObject), std::move(description),
                         std::move(source));
}

std::string Hex(HResult hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

// ---- Built-in classes ----

struct BuiltInClass {
  std::string progid;
  Guid clsid;
  BuiltInFactory factory;
};

struct BuiltInTable {
  std::mutex mu;
  std::vector<BuiltInClass> classes;
};

BuiltInTable& BuiltIns() {
  static BuiltInTable* const table = [] {
    auto* t = new BuiltInTable;
    t->classes.push_back({"Scripting.Dictionary",
                          MakeGuid("{EE09B103-97E0-11CF-978F-00A02463E06F}"),
                          [] { return Ref<Object>(MakeRef<Dictionary>()); }});
    t->classes.push_back({"Scripting.FileSystemObject",
                          MakeGuid("{0D43FE01-F093-11CF-8940-00A0C9054228}"),
                          [] { return Ref<Object>(MakeRef<FileSystemObject>()); }});
    return t;
  }();
  return *table;
}

template <typename Match>
BuiltInFactory FindBuiltIn(Match match) {
  BuiltInTable& table = BuiltIns();
  std::lock_guard lock(table.mu);
  for (const BuiltInClass& c : table.classes) {
    if (match(c)) return c.factory;
  }
  return nullptr;
}

Ref<Object> MakeBuiltIn(BuiltInFactory factory, std::string_view name) {
  Ref<Object> object = factory();
  if (!object) throw CannotCreate(name, "the built-in class made no object");
  return object;
}

// ---- The registry ----

// The machine's registry, opened once per thread and prefix (opening costs
// far more than a look-up, and record classes create member objects by the
// hundred). A child process opens its own. nullptr when there is no
// registry database yet: then nothing is registered.
Result<Registry*> ClassRegistry() {
  struct Cached {
    std::filesystem::path file;
    pid_t pid = 0;
    std::unique_ptr<Registry> registry;
  };
  thread_local Cached cached;
  std::filesystem::path file = platform::PrefixDir() / "registry.db";
  if (cached.registry && cached.file == file && cached.pid == getpid()) {
    return cached.registry.get();
  }
  cached.registry.reset();
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) return static_cast<Registry*>(nullptr);
  Result<std::unique_ptr<Registry>> opened = Registry::Open(file);
  if (!opened.ok()) return opened.status();
  cached.registry = std::move(*opened);
  cached.file = std::move(file);
  cached.pid = getpid();
  return cached.registry.get();
}

// Expands %NAME% with the environment, as REG_EXPAND_SZ data is read; an
// unknown name stays as written.
std::string ExpandEnvironment(std::string_view text) {
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t open = text.find('%', pos);
    const size_t close = open == std::string_view::npos ? open : text.find('%', open + 1);
    if (close == std::string_view::npos) break;
    out.append(text.substr(pos, open - pos));
    const std::string name(text.substr(open + 1, close - open - 1));
    const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
    if (value) {
      out.append(value);
    } else {
      out.append(text.substr(open, close - open + 1));
    }
    pos = close + 1;
  }
  out.append(text.substr(pos));
  return out;
}

// The default value of `key` below HKEY_CLASSES_ROOT as text; nullopt when
// the key or value is missing or holds no string.
Result<std::optional<std::string>> ClassesText(Registry& registry, const std::string& key) {
  Result<std::optional<RegValue>> value = registry.GetValue(std::string(kClassesRoot) + key, "");
  if (!value.ok()) return value.status();
  if (!*value) return std::optional<std::string>();
  const RegValue& v = **value;
  if (v.type == RegType::kSz) return std::optional<std::string>(v.text);
  if (v.type == RegType::kExpandSz) return std::optional<std::string>(ExpandEnvironment(v.text));
  return std::optional<std::string>();
}

// A ProgID must be one key name: no separator, nothing the registry would
// read as a path.
bool IsProgIdText(std::string_view progid) {
  return !progid.empty() && progid.size() <= 255 && progid.find('\\') == std::string_view::npos;
}

// Built by appending: GCC 12 warns falsely (-Wrestrict) about "'" + text.
Status NotAProgId(std::string_view text) {
  std::string message = "'";
  message.append(text).append("' is not a ProgID");
  return Status::Error(std::move(message));
}

// `unreadable` (when given) is set when the registry itself failed.
Result<Guid> LookUpClsid(Registry& registry, std::string_view progid, bool* unreadable = nullptr) {
  std::string current(progid);
  for (int hop = 0; hop <= kMaxCurVerHops; ++hop) {
    if (!IsProgIdText(current)) {
      return NotAProgId(current);
    }
    Result<std::optional<std::string>> clsid = ClassesText(registry, current + "\\CLSID");
    if (!clsid.ok()) {
      if (unreadable) *unreadable = true;
      return clsid.status();
    }
    if (*clsid) {
      std::optional<Guid> guid = Guid::Parse(**clsid);
      if (!guid) {
        return Status::Error("HKEY_CLASSES_ROOT\\" + current + "\\CLSID holds '" + **clsid +
                             "', which is not a class identifier");
      }
      return *guid;
    }
    Result<std::optional<std::string>> cur_ver = ClassesText(registry, current + "\\CurVer");
    if (!cur_ver.ok()) {
      if (unreadable) *unreadable = true;
      return cur_ver.status();
    }
    if (!*cur_ver) {
      return Status::Error(std::string(progid) + " is not registered (no HKEY_CLASSES_ROOT\\" +
                           current + "\\CLSID)");
    }
    current = std::move(**cur_ver);
  }
  return Status::Error("the CurVer entries of " + std::string(progid) + " form a loop");
}

// ---- Loaded libraries ----

struct LibraryTable {
  std::mutex mu;
  std::vector<std::shared_ptr<InprocLibrary>> libraries;
};

LibraryTable& Libraries() {
  static LibraryTable* const table = new LibraryTable;
  return *table;
}

Result<std::shared_ptr<InprocLibrary>> LibraryFor(const std::string& path) {
  LibraryTable& table = Libraries();
  std::lock_guard lock(table.mu);
  for (const auto& library : table.libraries) {
    if (library->path() == path) return library;
  }
  Result<std::unique_ptr<InprocLibrary>> loaded = InprocLibrary::Load(path);
  if (!loaded.ok()) return Status::Error("cannot load " + path + ": " + loaded.message());
  // A library that cannot make class objects is of no use kept loaded.
  if (!(*loaded)->get_class_object()) return Status::Error(path + " has no DllGetClassObject");
  std::shared_ptr<InprocLibrary> library(std::move(*loaded));
  table.libraries.push_back(library);
  return library;
}

Ref<Object> CreateFromRegistry(const Guid& clsid, std::string_view name) {
  const std::string clsid_text = clsid.ToString();
  Result<Registry*> registry = ClassRegistry();
  if (!registry.ok()) throw RegistryUnreadable(name, registry.message());
  if (!*registry) throw CannotCreate(name, "class " + clsid_text + " is not registered");
  Result<std::optional<std::string>> path =
      ClassesText(**registry, "CLSID\\" + clsid_text + "\\InprocServer32");
  if (!path.ok()) throw RegistryUnreadable(name, path.message());
  if (!*path || (*path)->empty()) {
    throw CannotCreate(name, "class " + clsid_text + " has no InprocServer32 library");
  }

  Result<std::shared_ptr<InprocLibrary>> library = LibraryFor(**path);
  if (!library.ok()) throw CannotCreate(name, library.message());
  NorwinDllGetClassObjectFn get_class_object = (*library)->get_class_object();

  ClassFactory* raw_factory = nullptr;
  const HResult got = get_class_object(&clsid, &raw_factory);
  Ref<ClassFactory> factory = Ref<ClassFactory>::Adopt(raw_factory);
  if (Failed(got) || !factory) {
    throw CannotCreate(name, "DllGetClassObject of " + **path + " answered " + Hex(got) +
                                 " for class " + clsid_text);
  }
  Object* raw_instance = nullptr;
  (void)TakeErrorInfo(S_OK);  // nothing stale may pass for this call's error
  const HResult made = factory->CreateInstance(&raw_instance);
  Ref<Object> instance = Ref<Object>::Adopt(raw_instance);
  if (Failed(made)) {
    if (std::optional<AutomationError> error = TakeErrorInfo(made)) throw std::move(*error);
    throw ErrorFromHResult(made, std::string(name));
  }
  if (!instance) throw CannotCreate(name, "the class object of " + clsid_text + " made no object");
  return instance;
}

}  // namespace

Ref<Object> CreateObject(std::string_view progid_or_clsid) {
  if (!progid_or_clsid.empty() && progid_or_clsid.front() == '{') {
    std::optional<Guid> clsid = Guid::Parse(progid_or_clsid);
    if (!clsid) throw CannotCreate(progid_or_clsid, "not a class identifier");
    return CreateObjectByClsid(*clsid);
  }
  return CreateObjectByProgId(progid_or_clsid);
}

Ref<Object> CreateObjectByProgId(std::string_view progid) {
  if (BuiltInFactory factory =
          FindBuiltIn([&](const BuiltInClass& c) { return TextKeysEqual(c.progid, progid); })) {
    return MakeBuiltIn(factory, progid);
  }
  if (!IsProgIdText(progid)) throw CannotCreate(progid, NotAProgId(progid).message());
  Result<Registry*> registry = ClassRegistry();
  if (!registry.ok()) throw RegistryUnreadable(progid, registry.message());
  if (!*registry)
    throw CannotCreate(progid, std::string(progid) + " is not registered (no registry)");
  bool unreadable = false;
  Result<Guid> clsid = LookUpClsid(**registry, progid, &unreadable);
  if (!clsid.ok())
    throw unreadable ? RegistryUnreadable(progid, clsid.message())
                     : CannotCreate(progid, clsid.message());
  return CreateFromRegistry(*clsid, progid);
}

Ref<Object> CreateObjectByClsid(const Guid& clsid) {
  const std::string name = clsid.ToString();
  if (BuiltInFactory factory =
          FindBuiltIn([&](const BuiltInClass& c) { return c.clsid == clsid; })) {
    return MakeBuiltIn(factory, name);
  }
  return CreateFromRegistry(clsid, name);
}

Result<Guid> ClsidFromProgId(std::string_view progid) {
  if (!IsProgIdText(progid)) return NotAProgId(progid);
  Result<Registry*> registry = ClassRegistry();
  if (!registry.ok()) return registry.status();
  if (!*registry) return Status::Error(std::string(progid) + " is not registered (no registry)");
  return LookUpClsid(**registry, progid);
}

void RegisterBuiltInClass(std::string_view progid, const Guid& clsid, BuiltInFactory factory) {
  BuiltInTable& table = BuiltIns();
  std::lock_guard lock(table.mu);
  std::erase_if(table.classes, [&](const BuiltInClass& c) {
    return c.clsid == clsid || TextKeysEqual(c.progid, progid);
  });
  table.classes.push_back({std::string(progid), clsid, factory});
}

size_t FreeUnusedLibraries() {
  std::vector<std::shared_ptr<InprocLibrary>> unloading;
  {
    LibraryTable& table = Libraries();
    std::lock_guard lock(table.mu);
    std::erase_if(table.libraries, [&](const std::shared_ptr<InprocLibrary>& library) {
      NorwinDllCanUnloadNowFn can_unload = library->can_unload_now();
      if (!can_unload || can_unload() != S_OK) return false;
      unloading.push_back(library);
      return true;
    });
  }
  // Unloaded outside the lock: the library's static destructors may create
  // or release objects of other libraries.
  const size_t count = unloading.size();
  unloading.clear();
  return count;
}

size_t LoadedLibraryCount() {
  LibraryTable& table = Libraries();
  std::lock_guard lock(table.mu);
  return table.libraries.size();
}

}  // namespace norwin::automation
