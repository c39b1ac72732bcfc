// Automation classes for the bridge's tests, shaped as the record classes
// are (properties, methods, a default member, an enumeration, errors with a
// source), and a creator that makes them by ProgID besides the runtime's:
//   "Test.Record"  a Record          "Test.Plain"  a Plain (no members at all)
// Every Record counts itself in LiveRecords() while it exists.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "norwin/automation/binder.h"
#include "norwin/automation/dispatch.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"

namespace norwin::bridge::testing {

class Record : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  Record();

  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  automation::Date When() const { return when_; }
  void SetWhen(automation::Date when) { when_ = when; }
  // The argument itself, and its VT_ code.
  automation::Variant Echo(const automation::Variant& value) { return value; }
  int32_t TypeOf(const automation::Variant& value) { return value.type(); }
  std::string Concat(const std::string& a, const std::string& b) { return a + b; }
  // Adds `item` under `key` (any text) to the items.
  void Add(const std::string& key, const automation::Variant& item);
  // The item at a position (1-based) or under a key; the default member.
  automation::Variant Item(const automation::Variant& index) const;
  automation::Ref<automation::Enumerator> NewEnum() const;
  // A new Record named `name`.
  automation::Ref<Record> MakeChild(const std::string& name) const;
  automation::Ref<Record> Child() const { return child_; }
  void SetChild(automation::Ref<Record> child) { child_ = std::move(child); }
  bool IsSame(Record* other) const { return other == this; }
  // Raises object error `n` with `text`.
  void Fail(int32_t n, const std::string& text);
  // A digest-like text of `text`, the cost of a small record method.
  std::string Encrypt(const std::string& text) const;
  automation::Variant NullString() const { return automation::Variant::NullString(); }
  int16_t Short() const { return -7; }
  automation::Variant Missing() const { return automation::Variant::Missing(); }
  automation::Variant Nothing() const { return automation::Variant::Nothing(); }

  // How many Records exist.
  static int LiveRecords();

 protected:
  ~Record() override;

 private:
  std::string name_;
  automation::Date when_{};
  std::vector<std::pair<std::string, automation::Variant>> items_;
  automation::Ref<Record> child_;
};

// An object with no members at all.
class Plain : public automation::Object {
 public:
  std::string_view TypeName() const override { return "Plain"; }
};

// Makes "Test.Record" and "Test.Plain"; anything else through activation
// (the runtime's own classes, or 429).
automation::Ref<automation::Object> CreateTestObject(std::string_view progid);

}  // namespace norwin::bridge::testing
