#include "bridge/support/test_objects.h"

#include <atomic>
#include <cstdio>

#include "norwin/automation/activation.h"
#include "norwin/automation/convert.h"
#include "norwin/automation/error.h"

namespace norwin::bridge::testing {

using automation::AutomationError;
using automation::Ref;
using automation::Variant;

namespace {
std::atomic<int> g_live_records{0};
}  // namespace

NORWIN_CLASS(Record) {
  PropertyRW("Name", &Record::Name, &Record::SetName);
  Property("Count", &Record::Count);
  PropertyRW("When", &Record::When, &Record::SetWhen);
  PropertyRef("Child", &Record::Child, &Record::SetChild);
  Method("Echo", &Record::Echo);
  Method("TypeOf", &Record::TypeOf);
  Method("Concat", &Record::Concat);
  Method("Add", &Record::Add);
  Property("Item", &Record::Item).Default();
  NewEnum(&Record::NewEnum);
  Method("MakeChild", &Record::MakeChild);
  Method("IsSame", &Record::IsSame);
  Method("Fail", &Record::Fail);
  Method("Encrypt", &Record::Encrypt);
  Method("NullString", &Record::NullString);
  Method("Short", &Record::Short);
  Method("Missing", &Record::Missing);
  Method("Nothing", &Record::Nothing);
}

Record::Record() { ++g_live_records; }
Record::~Record() { --g_live_records; }

int Record::LiveRecords() { return g_live_records.load(); }

void Record::Add(const std::string& key, const Variant& item) { items_.emplace_back(key, item); }

Variant Record::Item(const Variant& index) const {
  if (index.IsString()) {
    for (const auto& [key, item] : items_) {
      if (key == index.string()) return item;
    }
    throw automation::RuntimeError(automation::kInvalidProcedureCall);
  }
  const int32_t i = automation::ToInt32(index);
  if (i < 1 || i > Count()) throw automation::RuntimeError(automation::kSubscriptOutOfRange);
  return items_[static_cast<size_t>(i - 1)].second;
}

Ref<automation::Enumerator> Record::NewEnum() const {
  std::vector<Variant> items;
  for (const auto& entry : items_) items.push_back(entry.second);
  return automation::MakeSnapshotEnumerator(std::move(items));
}

Ref<Record> Record::MakeChild(const std::string& name) const {
  Ref<Record> child = automation::MakeRef<Record>();
  child->SetName(name);
  return child;
}

void Record::Fail(int32_t n, const std::string& text) {
  throw AutomationError(automation::ObjectError(n), text, "record:Fail");
}

std::string Record::Encrypt(const std::string& text) const {
  // FNV-1a, as hexadecimal: enough work to stand for a small method.
  uint64_t hash = 1469598103934665603ull;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
  return digits;
}

Ref<automation::Object> CreateTestObject(std::string_view progid) {
  if (automation::CompareStrings(progid, "Test.Record", automation::CompareMode::kText) == 0) {
    return automation::MakeRef<Record>();
  }
  if (automation::CompareStrings(progid, "Test.Plain", automation::CompareMode::kText) == 0) {
    return automation::MakeRef<Plain>();
  }
  return automation::CreateObject(progid);
}

}  // namespace norwin::bridge::testing
