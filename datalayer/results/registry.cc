#include "norwin/datalayer/registry.h"

#include <cmath>
#include <memory>

#include "norwin/automation/convert.h"
#include "norwin/platform/registry.h"

namespace norwin::datalayer {

namespace {

using automation::Variant;

// The root handle a script passed: a 32-bit Long, or the same bits as an
// unsigned number (0x80000001 in script is 2147483649).
int32_t RootHandle(const Variant& value) {
  const Variant& v = value.Resolve();
  if (v.type() == automation::VT_R8) {
    const double number = v.r8();
    if (number >= 2147483648.0 && number <= 4294967295.0 && number == std::floor(number)) {
      return static_cast<int32_t>(static_cast<uint32_t>(number));
    }
  }
  return automation::ToInt32(value);
}

std::unique_ptr<platform::Registry> OpenRegistry() {
  Result<std::unique_ptr<platform::Registry>> registry = platform::Registry::OpenDefault();
  if (!registry.ok()) return nullptr;
  return std::move(registry).value();
}

}  // namespace

std::optional<std::string> RegistryKeyPath(int32_t hkey, std::string_view sub_key) {
  std::string path;
  switch (static_cast<uint32_t>(hkey)) {
    case 0x80000000u:
      path = "HKEY_CLASSES_ROOT";
      break;
    case 0x80000001u:
      path = "HKEY_CURRENT_USER";
      break;
    case 0x80000002u:
      path = "HKEY_LOCAL_MACHINE";
      break;
    case 0x80000003u:
      path = "HKEY_USERS";
      break;
    case 0x80000004u:
      path = "HKEY_PERFORMANCE_DATA";
      break;
    default:
      return std::nullopt;
  }
  if (!sub_key.empty()) {
    path.push_back('\\');
    path.append(sub_key);
  }
  return path;
}

std::optional<std::string> ReadRegistryString(int32_t hkey, std::string_view sub_key,
                                              std::string_view name) {
  const std::optional<std::string> key = RegistryKeyPath(hkey, sub_key);
  if (!key) return std::nullopt;
  std::unique_ptr<platform::Registry> registry = OpenRegistry();
  if (!registry) return std::nullopt;
  Result<std::optional<platform::RegValue>> value = registry->GetValue(*key, name);
  if (!value.ok() || !value->has_value() || (*value)->type != platform::RegType::kSz) {
    return std::nullopt;
  }
  // The text ends at its first NUL, as the value's buffer is read.
  std::string text = std::move((*value)->text);
  if (const size_t nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
  return text;
}

bool WriteRegistryString(int32_t hkey, std::string_view sub_key, std::string_view name,
                         std::string_view data) {
  const std::optional<std::string> key = RegistryKeyPath(hkey, sub_key);
  if (!key) return false;
  std::unique_ptr<platform::Registry> registry = OpenRegistry();
  if (!registry) return false;
  return registry->SetValue(*key, name, platform::RegValue::String(std::string(data))).ok();
}

void Registry::SetKey(const Variant& key) { key_ = RootHandle(key); }

Variant Registry::ReadValue() {
  data_ = ReadRegistryString(key_, sub_key_, value_).value_or(std::string());
  return Variant();
}

Variant Registry::WriteValue() {
  (void)WriteRegistryString(key_, sub_key_, value_, data_);
  return Variant();
}

Variant Registry::fGetstring(const Variant& hkey, const std::string& path,
                             const std::string& name) {
  std::optional<std::string> text = ReadRegistryString(RootHandle(hkey), path, name);
  return text ? Variant(std::move(*text)) : Variant();
}

void Registry::fSaveString(const Variant& hkey, const std::string& path, const std::string& name,
                           const std::string& data) {
  (void)WriteRegistryString(RootHandle(hkey), path, name, data);
}

Variant Registry::fDeleteValue(const Variant& hkey, const std::string& path,
                               const std::string& name) {
  const std::optional<std::string> key = RegistryKeyPath(RootHandle(hkey), path);
  if (!key) return Variant();
  if (std::unique_ptr<platform::Registry> registry = OpenRegistry()) {
    (void)registry->DeleteValue(*key, name);
  }
  return Variant();
}

NORWIN_CLASS(Registry) {
  PropertyRW("Key", &Registry::Key, &Registry::SetKey);
  PropertyRW("SubKey", &Registry::SubKey, &Registry::SetSubKey);
  PropertyRW("Value", &Registry::Value, &Registry::SetValue);
  PropertyRW("Data", &Registry::Data, &Registry::SetData);
  Property("HKEY_CLASSES_ROOT", [](Registry&) { return kHkeyClassesRoot; });
  Property("HKEY_CURRENT_USER", [](Registry&) { return kHkeyCurrentUser; });
  Property("HKEY_LOCAL_MACHINE", [](Registry&) { return kHkeyLocalMachine; });
  Property("HKEY_USERS", [](Registry&) { return kHkeyUsers; });
  Property("HKEY_PERFORMANCE_DATA", [](Registry&) { return kHkeyPerformanceData; });
  Method("ReadValue", &Registry::ReadValue);
  Method("WriteValue", &Registry::WriteValue);
  Method("fGetstring", &Registry::fGetstring);
  Method("fSaveString", &Registry::fSaveString);
  Method("fDeleteValue", &Registry::fDeleteValue);
}

}  // namespace norwin::datalayer
