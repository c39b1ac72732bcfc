#include "norwin/automation/collection.h"

#include <bit>
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

size_t Collection::KeyIndex::Home(size_t hash) const {
  // Fibonacci hashing: the product's high bits mix every bit of the hash.
  const int shift = 64 - std::countr_zero(slots_.size());
  return static_cast<size_t>((static_cast<uint64_t>(hash) * 0x9E3779B97F4A7C15ull) >> shift);
}

Collection::Entry* Collection::KeyIndex::Find(std::string_view key, size_t hash) const {
  if (slots_.empty()) return nullptr;
  const size_t mask = slots_.size() - 1;
  for (size_t i = Home(hash);; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (!slot.entry) return nullptr;
    if (slot.entry != Gone() && slot.hash == hash && TextKeysEqual(slot.entry->key, key)) {
      return slot.entry;
    }
  }
}

bool Collection::KeyIndex::Insert(Entry* entry) {
  // At most half the slots in use (removed ones count), so runs stay short.
  if ((live_ + gone_ + 1) * 2 > slots_.size()) {
    size_t capacity = 16;
    while (capacity < (live_ + 1) * 4) capacity *= 2;
    Rebuild(capacity);
  }
  // One walk along the run both finds a key already there and the place
  // for the new one (the first removed slot, else the free slot that ends
  // the run).
  const size_t mask = slots_.size() - 1;
  Slot* place = nullptr;
  size_t i = Home(entry->hash);
  for (; slots_[i].entry; i = (i + 1) & mask) {
    Slot& slot = slots_[i];
    if (slot.entry == Gone()) {
      if (!place) place = &slot;
    } else if (slot.hash == entry->hash && TextKeysEqual(slot.entry->key, entry->key)) {
      return false;
    }
  }
  if (place) {
    --gone_;
  } else {
    place = &slots_[i];
  }
  *place = Slot{entry->hash, entry};
  ++live_;
  return true;
}

void Collection::KeyIndex::Erase(const Entry* entry) {
  if (slots_.empty()) return;
  const size_t mask = slots_.size() - 1;
  for (size_t i = Home(entry->hash); slots_[i].entry; i = (i + 1) & mask) {
    if (slots_[i].entry == entry) {
      slots_[i].entry = Gone();
      --live_;
      ++gone_;
      return;
    }
  }
}

void Collection::KeyIndex::Clear() {
  slots_.clear();
  live_ = gone_ = 0;
}

void Collection::KeyIndex::Prefetch(size_t hash) const {
  if (!slots_.empty()) __builtin_prefetch(&slots_[Home(hash)]);
}

void Collection::KeyIndex::Reserve(size_t count) {
  size_t capacity = 16;
  while (capacity < (count + 1) * 2) capacity *= 2;
  if (capacity > slots_.size()) Rebuild(capacity);
}

void Collection::KeyIndex::Rebuild(size_t capacity) {
  std::vector<Slot> old(capacity);
  old.swap(slots_);
  gone_ = 0;
  const size_t mask = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (!slot.entry || slot.entry == Gone()) continue;
    size_t i = Home(slot.hash);
    while (slots_[i].entry) i = (i + 1) & mask;
    slots_[i] = slot;
  }
}

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
  const Entry* entry = keys_.Find(key, HashTextKey(key));
  if (!entry) throw RuntimeError(kInvalidProcedureCall);
  return *entry;
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

bool Collection::Insert(size_t position, std::unique_ptr<Entry> entry) {
  Entry* raw = entry.get();
  if (raw->keyed) {
    raw->hash = HashTextKey(raw->key);
    if (!keys_.Insert(raw)) return false;
  }
  try {
    entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(position), std::move(entry));
  } catch (...) {
    if (raw->keyed) keys_.Erase(raw);
    throw;
  }
  return true;
}

void Collection::Add(const Variant& item, const Variant& key, const Variant& before,
                     const Variant& after) {
  std::optional<Variant> key_text = ReadKey(key);
  if (!before.IsMissing() && !after.IsMissing()) throw RuntimeError(kInvalidProcedureCall);
  if (key_text && Find(key_text->string())) {
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
  if (!Insert(position, std::move(entry))) throw RuntimeError(kDuplicateKey);
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

void Collection::Reserve(size_t count) {
  entries_.reserve(count);
  keys_.Reserve(count);
}

bool Collection::TryAddKeyed(std::string_view key, Variant item) {
  auto entry = std::make_unique<Entry>();
  entry->item = std::move(item);
  entry->key = std::string(key);
  entry->keyed = true;
  return Insert(entries_.size(), std::move(entry));
}

void Collection::AddKeyed(std::string_view key, Variant item) {
  if (!TryAddKeyed(key, std::move(item))) throw RuntimeError(kDuplicateKey);
}

const Variant* Collection::Find(std::string_view key) const {
  const Entry* entry = keys_.Find(key, HashTextKey(key));
  return entry ? &entry->item : nullptr;
}

bool Collection::RemoveKeyed(std::string_view key) {
  const Entry* entry = keys_.Find(key, HashTextKey(key));
  if (!entry) return false;
  RemoveAt(PositionOf(entry));
  return true;
}

void Collection::RemoveAt(size_t index) {
  std::unique_ptr<Entry> entry = std::move(entries_[index]);
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
  if (entry->keyed) keys_.Erase(entry.get());
  // The item is released last: its destructor may run script-visible code
  // that looks at this collection, which must be consistent by then.
  entry.reset();
}

void Collection::Clear() {
  keys_.Clear();
  Entries old;
  old.swap(entries_);
}

}  // namespace norwin::automation
