#include "norwin/platform/program_settings.h"

#include <memory>
#include <optional>

#include "norwin/platform/registry.h"

namespace norwin::platform {

namespace {

constexpr std::string_view kRoot = "HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\";

Status CheckNames(std::string_view app, std::string_view section) {
  if (app.empty()) return Status::Error("a program setting needs an application name");
  if (section.empty()) return Status::Error("a program setting needs a section name");
  return Status::Ok();
}

Status CheckNames(std::string_view app, std::string_view section, std::string_view key) {
  if (Status s = CheckNames(app, section); !s.ok()) return s;
  if (key.empty()) return Status::Error("a program setting needs a key name");
  return Status::Ok();
}

std::string Describe(std::string_view app, std::string_view section, std::string_view key = {}) {
  std::string out(1, '"');
  out.append(app).append(1, '\\').append(section);
  if (!key.empty()) out.append(1, '\\').append(key);
  return out.append(1, '"');
}

// The text of a stored value as a setting.
std::optional<std::string> AsSetting(const RegValue& value) {
  switch (value.type) {
    case RegType::kSz:
    case RegType::kExpandSz:
      return value.text;
    case RegType::kDword:
      return std::to_string(value.dword);
    default:
      return std::nullopt;
  }
}

}  // namespace

std::string ProgramSettingsKey(std::string_view app, std::string_view section) {
  std::string key(kRoot);
  key.append(app);
  key.push_back('\\');
  key.append(section);
  return key;
}

Result<std::string> GetSetting(std::string_view app, std::string_view section, std::string_view key,
                               std::string_view default_value) {
  if (Status s = CheckNames(app, section, key); !s.ok()) return s;
  Result<std::unique_ptr<Registry>> registry = Registry::OpenDefault();
  if (!registry.ok()) return registry.status();
  Result<std::optional<RegValue>> value =
      (*registry)->GetValue(ProgramSettingsKey(app, section), key);
  if (!value.ok()) return value.status();
  if (value->has_value())
    if (std::optional<std::string> text = AsSetting(**value)) return std::move(*text);
  return std::string(default_value);
}

Status SaveSetting(std::string_view app, std::string_view section, std::string_view key,
                   std::string_view value) {
  if (Status s = CheckNames(app, section, key); !s.ok()) return s;
  Result<std::unique_ptr<Registry>> registry = Registry::OpenDefault();
  if (!registry.ok()) return registry.status();
  return (*registry)->SetValue(ProgramSettingsKey(app, section), key,
                               RegValue::String(std::string(value)));
}

Status DeleteSetting(std::string_view app, std::string_view section) {
  if (Status s = CheckNames(app, section); !s.ok()) return s;
  Result<std::unique_ptr<Registry>> registry = Registry::OpenDefault();
  if (!registry.ok()) return registry.status();
  const std::string key = ProgramSettingsKey(app, section);
  Result<bool> exists = (*registry)->KeyExists(key);
  if (!exists.ok()) return exists.status();
  if (!*exists)
    return Status::Error("there is no program-settings section " + Describe(app, section));
  return (*registry)->DeleteKey(key, Recursive::kYes);
}

Status DeleteSetting(std::string_view app, std::string_view section, std::string_view key) {
  if (Status s = CheckNames(app, section, key); !s.ok()) return s;
  Result<std::unique_ptr<Registry>> registry = Registry::OpenDefault();
  if (!registry.ok()) return registry.status();
  const std::string reg_key = ProgramSettingsKey(app, section);
  Result<std::optional<RegValue>> value = (*registry)->GetValue(reg_key, key);
  if (!value.ok()) return value.status();
  if (!value->has_value())
    return Status::Error("there is no program setting " + Describe(app, section, key));
  return (*registry)->DeleteValue(reg_key, key);
}

Result<std::vector<std::pair<std::string, std::string>>> GetAllSettings(std::string_view app,
                                                                        std::string_view section) {
  if (Status s = CheckNames(app, section); !s.ok()) return s;
  Result<std::unique_ptr<Registry>> registry = Registry::OpenDefault();
  if (!registry.ok()) return registry.status();
  const std::string key = ProgramSettingsKey(app, section);
  std::vector<std::pair<std::string, std::string>> out;
  Result<bool> exists = (*registry)->KeyExists(key);
  if (!exists.ok()) return exists.status();
  if (!*exists) return out;
  Result<std::vector<RegNamedValue>> values = (*registry)->Values(key);
  if (!values.ok()) return values.status();
  for (RegNamedValue& named : *values) {
    if (named.name.empty()) continue;  // the key's default value is no setting
    if (std::optional<std::string> text = AsSetting(named.value))
      out.emplace_back(std::move(named.name), std::move(*text));
  }
  return out;
}

}  // namespace norwin::platform
