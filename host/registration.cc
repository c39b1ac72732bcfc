#include "norwin/host/registration.h"

#include <filesystem>
#include <optional>
#include <vector>

namespace norwin::host {
namespace {

using platform::Recursive;
using platform::Registry;
using platform::RegValue;

constexpr std::string_view kRoot = "HKEY_CLASSES_ROOT";

// The registration scripts' key markers.
enum class KeyKind {
  kNormal,       // written on registration, removed with all below it
  kNoRemove,     // written, never removed itself; only the script's keys below it are
  kForceRemove,  // removed with all below it before it is written, and removed
};

struct ScriptValue {
  std::string_view name;
  std::string data;
};

struct ScriptKey {
  KeyKind kind = KeyKind::kNormal;
  std::string name;
  std::optional<std::string> default_value;
  std::vector<ScriptValue> values;
  std::vector<ScriptKey> children;
};

// Replaces %MODULE% with the program's path, as the registrar replaces it.
std::string Expand(std::string_view data, std::string_view module_path) {
  constexpr std::string_view kModule = "%MODULE%";
  std::string out;
  size_t pos = 0;
  for (size_t found; (found = data.find(kModule, pos)) != std::string_view::npos;) {
    out.append(data.substr(pos, found - pos));
    out.append(module_path);
    pos = found + kModule.size();
  }
  out.append(data.substr(pos));
  return out;
}

// Script 100: the application's identity.
std::vector<ScriptKey> AppIdScript() {
  const std::string app_id(kAppId);
  return {
      ScriptKey{KeyKind::kNoRemove,
                "AppID",
                std::nullopt,
                {},
                {
                    ScriptKey{KeyKind::kNormal, app_id, "Lumo", {}, {}},
                    ScriptKey{KeyKind::kNormal, "Lumo.EXE", std::nullopt, {{"AppID", app_id}}, {}},
                }}};
}

// Script 107: the class, its ProgIDs and its local server.
std::vector<ScriptKey> ClassScript(std::string_view module_path) {
  const std::string clsid(kClsidNorwinDhtml);
  const std::string class_name = "NorwinDHTML Class";
  auto key = [](KeyKind kind, std::string name, std::optional<std::string> value,
                std::vector<ScriptKey> children = {}) {
    return ScriptKey{kind, std::move(name), std::move(value), {}, std::move(children)};
  };
  ScriptKey class_key = key(
      KeyKind::kForceRemove, clsid, class_name,
      {
          key(KeyKind::kNormal, "ProgID", std::string(kProgId)),
          key(KeyKind::kNormal, "VersionIndependentProgID", std::string(kVersionIndependentProgId)),
          key(KeyKind::kForceRemove, "Programmable", std::nullopt),
          key(KeyKind::kNormal, "LocalServer32", Expand("%MODULE%", module_path)),
          key(KeyKind::kForceRemove, "Control", std::nullopt),
          key(KeyKind::kForceRemove, "Insertable", std::nullopt),
          key(KeyKind::kForceRemove, "ToolboxBitmap32", Expand("%MODULE%, 105", module_path)),
          key(KeyKind::kNormal, "MiscStatus", "0", {key(KeyKind::kNormal, "1", "131473")}),
          key(KeyKind::kNormal, "TypeLib", std::string(kLibId)),
          key(KeyKind::kNormal, "Version", "1.0"),
      });
  class_key.values.push_back({"AppID", std::string(kAppId)});
  return {
      key(KeyKind::kNormal, std::string(kProgId), class_name,
          {key(KeyKind::kNormal, "CLSID", clsid)}),
      key(KeyKind::kNormal, std::string(kVersionIndependentProgId), class_name,
          {key(KeyKind::kNormal, "CLSID", clsid),
           key(KeyKind::kNormal, "CurVer", std::string(kProgId))}),
      key(KeyKind::kNoRemove, "CLSID", std::nullopt, {std::move(class_key)}),
  };
}

// The type library's entries, as the system writes them for a library of
// version 1.0 and locale 0x409 carried in the program file, with its one
// dual interface marshalled by the automation marshaller.
std::vector<ScriptKey> TypeLibScript(std::string_view module_path) {
  const std::string folder = std::filesystem::path(module_path).parent_path().string();
  auto key = [](KeyKind kind, std::string name, std::optional<std::string> value,
                std::vector<ScriptKey> children = {}) {
    return ScriptKey{kind, std::move(name), std::move(value), {}, std::move(children)};
  };
  ScriptKey interface_typelib = key(KeyKind::kNormal, "TypeLib", std::string(kLibId));
  interface_typelib.values.push_back({"Version", "1.0"});
  return {
      key(KeyKind::kNoRemove, "TypeLib", std::nullopt,
          {key(KeyKind::kNoRemove, std::string(kLibId), std::nullopt,
               {key(KeyKind::kForceRemove, "1.0", std::string(kTypeLibHelpString),
                    {key(KeyKind::kNormal, "409", std::nullopt,
                         {key(KeyKind::kNormal, "win32", std::string(module_path))}),
                     key(KeyKind::kNormal, "FLAGS", "0"),
                     key(KeyKind::kNormal, "HELPDIR", folder)})})}),
      key(KeyKind::kNoRemove, "Interface", std::nullopt,
          {key(KeyKind::kForceRemove, std::string(kIidINorwinDhtml), "INorwinDHTML",
               {key(KeyKind::kNormal, "ProxyStubClsid", std::string(kAutomationMarshallerClsid)),
                key(KeyKind::kNormal, "ProxyStubClsid32", std::string(kAutomationMarshallerClsid)),
                std::move(interface_typelib)})}),
  };
}

Status ApplyKey(Registry& registry, const std::string& parent, const ScriptKey& key) {
  const std::string path = parent + "\\" + key.name;
  if (key.kind == KeyKind::kForceRemove) {
    Result<bool> exists = registry.KeyExists(path);
    if (!exists.ok()) return exists.status();
    if (*exists) {
      if (Status removed = registry.DeleteKey(path, Recursive::kYes); !removed.ok()) return removed;
    }
  }
  if (Status created = registry.CreateKey(path); !created.ok()) return created;
  if (key.default_value) {
    if (Status set = registry.SetValue(path, "", RegValue::String(*key.default_value)); !set.ok())
      return set;
  }
  for (const ScriptValue& value : key.values) {
    if (Status set = registry.SetValue(path, value.name, RegValue::String(value.data)); !set.ok())
      return set;
  }
  for (const ScriptKey& child : key.children) {
    if (Status applied = ApplyKey(registry, path, child); !applied.ok()) return applied;
  }
  return Status::Ok();
}

Status RemoveKey(Registry& registry, const std::string& parent, const ScriptKey& key) {
  const std::string path = parent + "\\" + key.name;
  Result<bool> exists = registry.KeyExists(path);
  if (!exists.ok()) return exists.status();
  if (!*exists) return Status::Ok();
  if (key.kind != KeyKind::kNoRemove) return registry.DeleteKey(path, Recursive::kYes);
  for (const ScriptKey& child : key.children) {
    if (Status removed = RemoveKey(registry, path, child); !removed.ok()) return removed;
  }
  for (const ScriptValue& value : key.values) {
    Result<std::optional<RegValue>> present = registry.GetValue(path, value.name);
    if (!present.ok()) return present.status();
    if (*present) {
      if (Status removed = registry.DeleteValue(path, value.name); !removed.ok()) return removed;
    }
  }
  return Status::Ok();
}

HResult Finish(const Status& status, std::string* error) {
  if (status.ok()) return kSOk;
  if (error) *error = status.message();
  return kEFail;
}

Status Apply(Registry& registry, const std::vector<ScriptKey>& script) {
  const std::string root(kRoot);
  for (const ScriptKey& key : script) {
    if (Status applied = ApplyKey(registry, root, key); !applied.ok()) return applied;
  }
  return Status::Ok();
}

Status Remove(Registry& registry, const std::vector<ScriptKey>& script) {
  const std::string root(kRoot);
  for (const ScriptKey& key : script) {
    if (Status removed = RemoveKey(registry, root, key); !removed.ok()) return removed;
  }
  return Status::Ok();
}

// The library's own key goes when its last version has gone, as the system
// leaves no empty library key behind.
Status RemoveEmptyLibraryKey(Registry& registry) {
  const std::string library = std::string(kRoot) + "\\TypeLib\\" + std::string(kLibId);
  Result<bool> exists = registry.KeyExists(library);
  if (!exists.ok()) return exists.status();
  if (!*exists) return Status::Ok();
  Result<std::vector<std::string>> versions = registry.SubKeys(library);
  if (!versions.ok()) return versions.status();
  Result<std::vector<platform::RegNamedValue>> values = registry.Values(library);
  if (!values.ok()) return values.status();
  if (!versions->empty() || !values->empty()) return Status::Ok();
  return registry.DeleteKey(library, Recursive::kNo);
}

}  // namespace

HResult RegisterAppId(Registry& registry, std::string* error) {
  return Finish(Apply(registry, AppIdScript()), error);
}

HResult UnregisterAppId(Registry& registry, std::string* error) {
  return Finish(Remove(registry, AppIdScript()), error);
}

HResult RegisterServer(Registry& registry, std::string_view module_path, std::string* error) {
  Status status = Apply(registry, ClassScript(module_path));
  if (status.ok()) status = Apply(registry, TypeLibScript(module_path));
  return Finish(status, error);
}

HResult UnregisterServer(Registry& registry, std::string* error) {
  Status status = Remove(registry, ClassScript(""));
  if (status.ok()) status = Remove(registry, TypeLibScript(""));
  if (status.ok()) status = RemoveEmptyLibraryKey(registry);
  return Finish(status, error);
}

}  // namespace norwin::host
