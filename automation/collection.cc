#include "norwin/automation/collection.h"

#include <cmath>
#include <cstdlib>
#include <utility>

#include "norwin/automation/convert.h"

namespace norwin::automation {

namespace {

// What an index argument is once references and default members are
// followed: a position (1-based, possibly out of range) or a key.
struct Index {
  bool is_key = false;
  double position = 0;
  Variant key;  // holds the text when is_key
};

Index ReadIndex(const Variant& value, int depth = 0) {
  Variant v = value.Deref();
  switch (v.type()) {
    case VT_BSTR:
      return Index{true, 0, std::move(v)};
    case VT_EMPTY:
      return Index{};
    case VT_BOOL:
    case VT_I2:
    case VT_I4:
    case VT_UI1:
    case VT_R8:
    case VT_DATE:
      return Index{false, RoundHalfEven(ToDouble(v)), {}};
    case VT_DISPATCH:
      if (v.object() && depth == 0) {
        // An object stands for the value of its default member.
        Variant value_of;
        v.object()->Invoke(DISPID_VALUE, DISPATCH_PROPERTYGET, {}, &value_of);
        return ReadIndex(value_of, depth + 1);
      }
      throw RuntimeError(v.object() ? kTypeMismatch : kObjectNotSet);
    default:
      throw RuntimeError(kTypeMismatch);
  }
}

// The key an Add argument gives; nullopt when it was left out.
std::optional<Variant> ReadKey(const Variant& value) {
  if (value.IsMissing()) return std::nullopt;
  Variant v = value.Deref();
  if (!v.IsString()) throw RuntimeError(kTypeMismatch);
  return v;
}

}  // namespace

NORWIN_CLASS(Collection) {
  Method("Add", &Collection::Add, Required("Item"), Optional("Key"), Optional("Before"),
         Optional("After"));
  Method("Item", &Collection::Item).Default();
  Method("Remove", &Collection::Remove);
  Property("Count", &Collection::Count);
  NewEnum(&Collection::NewEnum);
}

Collection::Collection() = default;
Collection::~Collection() = default;

const Collection::Entry& Collection::KeyedEntry(std::string_view key) const {
  auto it = keys_.find(key);
  if (it == keys_.end()) throw RuntimeError(kInvalidProcedureCall);
  return *it->second;
}

size_t Collection::CheckedPosition(double position) const {
  if (!(position >= 1 && position <= static_cast<double>(entries_.size()))) {
    throw RuntimeError(kSubscriptOutOfRange);
  }
  return static_cast<size_t>(position) - 1;
}

const Collection::Entry& Collection::EntryOf(const Variant& index) const {
  const Index i = ReadIndex(index);
  if (i.is_key) return KeyedEntry(i.key.string());
  return *entries_[CheckedPosition(i.position)];
}

size_t Collection::PositionOf(const Variant& index) const {
  const Index i = ReadIndex(index);
  if (i.is_key) return PositionOf(&KeyedEntry(i.key.string()));
  return CheckedPosition(i.position);
}

size_t Collection::PositionOf(const Entry* entry) const {
  // From the end: the items most often named are the ones just added.
  for (size_t i = entries_.size(); i-- > 0;) {
    if (entries_[i].get() == entry) return i;
  }
  std::abort();  // every keyed entry is in the list
}

void Collection::Insert(size_t position, std::unique_ptr<Entry> entry) {
  Entry* raw = entry.get();
  if (raw->keyed) {
    if (!keys_.emplace(std::string_view(raw->key), raw).second) {
      throw RuntimeError(kDuplicateKey);
    }
  }
  try {
    entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(position), std::move(entry));
  } catch (...) {
    if (raw->keyed) keys_.erase(std::string_view(raw->key));
    throw;
  }
}

void Collection::Add(const Variant& item, const Variant& key, const Variant& before,
                     const Variant& after) {
  std::optional<Variant> key_text = ReadKey(key);
  if (!before.IsMissing() && !after.IsMissing()) throw RuntimeError(kInvalidProcedureCall);
  if (key_text && keys_.contains(std::string_view(key_text->string()))) {
    throw RuntimeError(kDuplicateKey);
  }
  size_t position = entries_.size();
  if (!before.IsMissing()) {
    position = PositionOf(before);
  } else if (!after.IsMissing()) {
    position = PositionOf(after) + 1;
  }
  auto entry = std::make_unique<Entry>();
  entry->item = item.Deref();
  if (key_text) {
    entry->key = key_text->string();
    entry->keyed = true;
  }
  Insert(position, std::move(entry));
}

Variant Collection::Item(const Variant& index) const { return EntryOf(index).item; }

void Collection::Remove(const Variant& index) { RemoveAt(PositionOf(index)); }

Ref<Enumerator> Collection::NewEnum() const {
  std::vector<Variant> items;
  items.reserve(entries_.size());
  for (const auto& e : entries_) items.push_back(e->item);
  return MakeSnapshotEnumerator(std::move(items));
}

void Collection::Append(Variant item) {
  auto entry = std::make_unique<Entry>();
  entry->item = std::move(item);
  entries_.push_back(std::move(entry));
}

bool Collection::TryAddKeyed(std::string_view key, Variant item) {
  if (keys_.contains(key)) return false;
  auto entry = std::make_unique<Entry>();
  entry->item = std::move(item);
  entry->key = std::string(key);
  entry->keyed = true;
  Insert(entries_.size(), std::move(entry));
  return true;
}

void Collection::AddKeyed(std::string_view key, Variant item) {
  if (!TryAddKeyed(key, std::move(item))) throw RuntimeError(kDuplicateKey);
}

const Variant* Collection::Find(std::string_view key) const {
  auto it = keys_.find(key);
  return it == keys_.end() ? nullptr : &it->second->item;
}

bool Collection::RemoveKeyed(std::string_view key) {
  auto it = keys_.find(key);
  if (it == keys_.end()) return false;
  RemoveAt(PositionOf(it->second));
  return true;
}

void Collection::RemoveAt(size_t index) {
  std::unique_ptr<Entry> entry = std::move(entries_[index]);
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
  if (entry->keyed) keys_.erase(std::string_view(entry->key));
  // The item is released last: its destructor may run script-visible code
  // that looks at this collection, which must be consistent by then.
  entry.reset();
}

void Collection::Clear() {
  keys_.clear();
  Entries old;
  old.swap(entries_);
}

}  // namespace norwin::automation
