#include "norwin/platform/registry.h"

#include <algorithm>

#include "norwin/platform/codepage.h"
#include "registry_names.h"

namespace norwin::platform {

using registry_internal::CheckValueName;
using registry_internal::Fold;

namespace {

Status CheckText(std::string_view text, std::string_view what) {
  if (!IsValidUtf8(text)) return Status::Error(std::string(what) + " is not valid UTF-8");
  if (text.find('\0') != std::string_view::npos) {
    return Status::Error(std::string(what) + " holds a NUL character");
  }
  return Status::Ok();
}

}  // namespace

std::optional<RegType> RegTypeFromName(std::string_view name) {
  for (RegType type :
       {RegType::kSz, RegType::kExpandSz, RegType::kBinary, RegType::kDword, RegType::kMultiSz}) {
    const std::string_view candidate = RegTypeName(type);
    if (candidate.size() == name.size() &&
        std::equal(candidate.begin(), candidate.end(), name.begin(),
                   [](char a, char b) { return a == (b >= 'a' && b <= 'z' ? b - 32 : b); })) {
      return type;
    }
  }
  return std::nullopt;
}

const char* RegTypeName(RegType type) {
  switch (type) {
    case RegType::kSz:
      return "REG_SZ";
    case RegType::kExpandSz:
      return "REG_EXPAND_SZ";
    case RegType::kBinary:
      return "REG_BINARY";
    case RegType::kDword:
      return "REG_DWORD";
    case RegType::kMultiSz:
      return "REG_MULTI_SZ";
  }
  return "REG_UNKNOWN";
}

RegValue RegValue::String(std::string s, RegType type) {
  RegValue v;
  v.type = type;
  v.text = std::move(s);
  return v;
}

RegValue RegValue::Dword(uint32_t n) {
  RegValue v;
  v.type = RegType::kDword;
  v.dword = n;
  return v;
}

RegValue RegValue::MultiString(std::vector<std::string> parts) {
  RegValue v;
  v.type = RegType::kMultiSz;
  v.strings = std::move(parts);
  return v;
}

RegValue RegValue::Binary(std::string data) {
  RegValue v;
  v.type = RegType::kBinary;
  v.bytes = std::move(data);
  return v;
}

RegEdit RegEdit::CreateKey(std::string key) { return {Kind::kCreateKey, std::move(key), {}, {}}; }

RegEdit RegEdit::DeleteTree(std::string key) { return {Kind::kDeleteTree, std::move(key), {}, {}}; }

RegEdit RegEdit::SetValue(std::string key, std::string name, RegValue value) {
  return {Kind::kSetValue, std::move(key), std::move(name), std::move(value)};
}

RegEdit RegEdit::DeleteValue(std::string key, std::string name) {
  return {Kind::kDeleteValue, std::move(key), std::move(name), {}};
}

Status Registry::ValidateValue(std::string_view name, const RegValue& value) {
  if (Status s = CheckValueName(name); !s.ok()) return s;
  switch (value.type) {
    case RegType::kSz:
    case RegType::kExpandSz:
      return CheckText(value.text, "the string data");
    case RegType::kMultiSz:
      for (const std::string& part : value.strings) {
        if (part.empty()) {
          return Status::Error("a REG_MULTI_SZ value cannot hold an empty string");
        }
        if (Status s = CheckText(part, "a string of the REG_MULTI_SZ data"); !s.ok()) return s;
      }
      return Status::Ok();
    case RegType::kBinary:
    case RegType::kDword:
      return Status::Ok();
  }
  return Status::Error("unknown value type " + std::to_string(static_cast<uint32_t>(value.type)));
}

bool Registry::SameName(std::string_view a, std::string_view b) {
  return a == b || Fold(a) == Fold(b);
}

}  // namespace norwin::platform
