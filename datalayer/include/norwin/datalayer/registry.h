// `Registry` (NorwinPellam2003.Registry): string values of the registry for
// page script and for the record classes.
//
// Root keys are given by their Windows handles (the HKEY_ constants below,
// read-only properties of the object). Script may pass them as the negative
// 32-bit values the constants have or as the unsigned numbers 0x80000000 to
// 0x80000004 that script literals give. Only string values (REG_SZ) are
// read; every other type, and any missing key or value, reads as empty.
// Writing and deleting report nothing, as page script expects: a failure
// leaves the registry as it was.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "norwin/automation/binder.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"

namespace norwin::datalayer {

inline constexpr int32_t kHkeyClassesRoot = static_cast<int32_t>(0x80000000u);
inline constexpr int32_t kHkeyCurrentUser = static_cast<int32_t>(0x80000001u);
inline constexpr int32_t kHkeyLocalMachine = static_cast<int32_t>(0x80000002u);
inline constexpr int32_t kHkeyUsers = static_cast<int32_t>(0x80000003u);
inline constexpr int32_t kHkeyPerformanceData = static_cast<int32_t>(0x80000004u);

// The registry path of `sub_key` below the root with handle `hkey`
// ("HKEY_CURRENT_USER\Software\X"); nullopt for a handle that is no root.
std::optional<std::string> RegistryKeyPath(int32_t hkey, std::string_view sub_key);

// The text of the REG_SZ value `name` of key `sub_key` below `hkey`; nullopt
// when the key or value is missing, is of another type, or cannot be read.
std::optional<std::string> ReadRegistryString(int32_t hkey, std::string_view sub_key,
                                              std::string_view name);
// Sets `name` as a REG_SZ value holding `data`, creating the key when
// missing; false when that cannot be done.
bool WriteRegistryString(int32_t hkey, std::string_view sub_key, std::string_view name,
                         std::string_view data);

class Registry : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  int32_t Key() const { return key_; }
  void SetKey(const automation::Variant& key);
  const std::string& SubKey() const { return sub_key_; }
  void SetSubKey(const std::string& sub_key) { sub_key_ = sub_key; }
  const std::string& Value() const { return value_; }
  void SetValue(const std::string& value) { value_ = value; }
  const std::string& Data() const { return data_; }
  void SetData(const std::string& data) { data_ = data; }

  // Data = the text of Key\SubKey\Value ("" when there is none).
  automation::Variant ReadValue();
  // Writes Data as Key\SubKey\Value.
  automation::Variant WriteValue();

  // The value's text, or Empty.
  automation::Variant fGetstring(const automation::Variant& hkey, const std::string& path,
                                 const std::string& name);
  void fSaveString(const automation::Variant& hkey, const std::string& path,
                   const std::string& name, const std::string& data);
  automation::Variant fDeleteValue(const automation::Variant& hkey, const std::string& path,
                                   const std::string& name);

 private:
  int32_t key_ = 0;
  std::string sub_key_;
  std::string value_;
  std::string data_;
};

}  // namespace norwin::datalayer
