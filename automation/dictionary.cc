#include "norwin/automation/dictionary.h"

#include <functional>
#include <utility>
#include <vector>

#include "norwin/automation/key_compare.h"

namespace norwin::automation {

namespace {

using KeyView = Dictionary::KeyView;

AutomationError ElementNotFound() {
  return AutomationError(HResultFromRuntimeError(kElementNotFound), "Element not found");
}

size_t HashOfText(std::string_view text, CompareMode mode) {
  return mode == CompareMode::kText ? HashTextKey(text) : std::hash<std::string_view>()(text);
}

// A key as the caller gave it, references followed.
const Variant& Plain(const Variant& key, Variant& storage) {
  const Variant& v = key.Resolve();
  if (!v.IsByRef()) return v;
  storage = v.Deref();
  return storage;
}

}  // namespace

Dictionary::KeyView Dictionary::ViewOf(const Variant& key) const {
  KeyView view;
  switch (key.type()) {
    case VT_EMPTY:
      view.kind = KeyView::Kind::kEmpty;
      break;
    case VT_NULL:
      view.kind = KeyView::Kind::kNull;
      break;
    case VT_BOOL:
    case VT_I2:
    case VT_I4:
    case VT_UI1:
    case VT_R8:
    case VT_DATE:
      view.kind = KeyView::Kind::kNumber;
      view.number = ToDouble(key);
      if (view.number == 0) view.number = 0;  // -0 is the same key as 0
      view.hash = std::hash<double>()(view.number);
      break;
    case VT_BSTR:
      view.kind = KeyView::Kind::kString;
      view.text = key.string();
      view.hash = HashOfText(view.text, mode());
      break;
    case VT_DISPATCH:
      view.kind = KeyView::Kind::kObject;
      view.object = key.object();
      view.hash = std::hash<const void*>()(view.object);
      break;
    default:
      throw RuntimeError(kTypeMismatch);
  }
  view.hash ^= static_cast<size_t>(view.kind);
  return view;
}

bool Dictionary::KeyEqual::operator()(const KeyView& a, const KeyView& b) const noexcept {
  if (a.hash != b.hash || a.kind != b.kind) return false;
  switch (a.kind) {
    case KeyView::Kind::kNumber:
      return a.number == b.number;
    case KeyView::Kind::kString:
      return mode == CompareMode::kText ? TextKeysEqual(a.text, b.text) : a.text == b.text;
    case KeyView::Kind::kObject:
      return a.object == b.object;
    default:
      return true;
  }
}

NORWIN_CLASS(Dictionary) {
  Method("Add", &Dictionary::Add);
  Method("Exists", &Dictionary::Exists);
  PropertyRW("Item", &Dictionary::Item, &Dictionary::SetItem).Default();
  PropertyRW(
      "Key",
      [](Dictionary&, const Variant&) -> Variant {
        // The key is written only: `d.Key(old) = new` renames it.
        throw RuntimeError(kObjectDoesNotSupportMember);
      },
      &Dictionary::SetKey);
  Method("Remove", &Dictionary::Remove);
  Method("RemoveAll", &Dictionary::RemoveAll);
  Method("Keys", &Dictionary::Keys);
  Method("Items", &Dictionary::Items);
  Property("Count", &Dictionary::Count);
  PropertyRW("CompareMode", &Dictionary::GetCompareMode, &Dictionary::SetCompareMode);
  NewEnum(&Dictionary::NewEnum);
}

Dictionary::Dictionary() : index_(0, KeyHash{}, KeyEqual{CompareMode::kBinary}) {}

Dictionary::~Dictionary() = default;

namespace {

// Dictionaries of fewer entries than this are searched in order and keep no
// index: most hold a handful (a question's answers, a page's settings), and
// an index of its own for each made a large question pool cost more per
// question than a small one, in the allocator's work of making and freeing it.
constexpr size_t kIndexedFrom = 9;

}  // namespace

// The index, when there is one, holds a view of each stored key, whose text
// lives as long as the entry.
Dictionary::Entries::const_iterator Dictionary::FindEntry(const KeyView& view) const {
  if (!index_.empty()) {
    const auto found = index_.find(view);
    return found == index_.end() ? entries_.end() : Entries::const_iterator(found->second);
  }
  const KeyEqual same{mode()};
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (same(ViewOf(it->key), view)) return it;
  }
  return entries_.end();
}

Dictionary::Entries::iterator Dictionary::FindEntry(const KeyView& view) {
  const Entries::const_iterator found = std::as_const(*this).FindEntry(view);
  return entries_.erase(found, found);  // the same place, as a mutable iterator
}

Dictionary::Entry& Dictionary::Insert(Variant key, Variant item) {
  const KeyView view = ViewOf(key);
  if (FindEntry(view) != entries_.end()) throw RuntimeError(kDuplicateKey);
  entries_.push_back(Entry{std::move(key), std::move(item)});
  auto it = std::prev(entries_.end());
  try {
    if (!index_.empty()) {
      index_.emplace(ViewOf(it->key), it);
    } else if (entries_.size() >= kIndexedFrom) {
      index_.reserve(entries_.size() * 2);
      for (auto e = entries_.begin(); e != entries_.end(); ++e) index_.emplace(ViewOf(e->key), e);
    }
  } catch (...) {
    index_.clear();
    entries_.pop_back();
    throw;
  }
  return *it;
}

void Dictionary::Add(const Variant& key, const Variant& item) {
  Variant storage;
  Insert(Plain(key, storage), item.Deref());
}

bool Dictionary::Exists(const Variant& key) const { return Find(key) != nullptr; }

Variant Dictionary::Item(const Variant& key) {
  Variant storage;
  const Variant& k = Plain(key, storage);
  const auto it = FindEntry(ViewOf(k));
  if (it != entries_.end()) return it->item;
  Insert(k, Variant());
  return Variant();
}

void Dictionary::SetItem(const Variant& key, const Variant& item) {
  Variant storage;
  const Variant& k = Plain(key, storage);
  const auto it = FindEntry(ViewOf(k));
  if (it != entries_.end()) {
    it->item = item.Deref();
  } else {
    Insert(k, item.Deref());
  }
}

void Dictionary::SetKey(const Variant& key, const Variant& new_key) {
  Variant key_storage;
  const auto entry = FindEntry(ViewOf(Plain(key, key_storage)));
  if (entry == entries_.end()) throw ElementNotFound();
  Variant storage;
  Variant renamed = Plain(new_key, storage);
  const auto clash = FindEntry(ViewOf(renamed));
  if (clash != entries_.end() && clash != entry) throw RuntimeError(kDuplicateKey);
  if (index_.empty()) {
    entry->key = std::move(renamed);
    return;
  }
  // Rehash under the new key; the old view points into the old key, so it
  // goes first.
  index_.erase(ViewOf(entry->key));
  Variant old_key = std::exchange(entry->key, std::move(renamed));
  try {
    index_.emplace(ViewOf(entry->key), entry);
  } catch (...) {
    entry->key = std::move(old_key);
    index_.emplace(ViewOf(entry->key), entry);
    throw;
  }
}

void Dictionary::Remove(const Variant& key) {
  if (!Erase(key)) throw ElementNotFound();
}

void Dictionary::RemoveAll() {
  index_.clear();
  Entries gone;
  gone.swap(entries_);
}

Variant Dictionary::Keys() const {
  std::vector<Variant> keys;
  keys.reserve(entries_.size());
  for (const Entry& e : entries_) keys.push_back(e.key);
  return Variant::Array(std::move(keys));
}

Variant Dictionary::Items() const {
  std::vector<Variant> items;
  items.reserve(entries_.size());
  for (const Entry& e : entries_) items.push_back(e.item);
  return Variant::Array(std::move(items));
}

void Dictionary::SetCompareMode(int32_t mode) {
  if (!entries_.empty() || mode < 0 || mode > 2) throw RuntimeError(kInvalidProcedureCall);
  compare_mode_ = mode;
  const CompareMode m = this->mode();
  index_ = Index(0, KeyHash{}, KeyEqual{m});
}

Ref<Enumerator> Dictionary::NewEnum() const {
  std::vector<Variant> keys;
  keys.reserve(entries_.size());
  for (const Entry& e : entries_) keys.push_back(e.key);
  return MakeSnapshotEnumerator(std::move(keys));
}

const Variant* Dictionary::Find(const Variant& key) const {
  Variant storage;
  const auto it = FindEntry(ViewOf(Plain(key, storage)));
  return it == entries_.end() ? nullptr : &it->item;
}

const Variant* Dictionary::FindText(std::string_view key) const {
  KeyView view;
  view.kind = KeyView::Kind::kString;
  view.text = key;
  view.hash = HashOfText(key, mode()) ^ static_cast<size_t>(KeyView::Kind::kString);
  const auto it = FindEntry(view);
  return it == entries_.end() ? nullptr : &it->item;
}

bool Dictionary::Erase(const Variant& key) {
  Variant storage;
  const auto entry = FindEntry(ViewOf(Plain(key, storage)));
  if (entry == entries_.end()) return false;
  if (!index_.empty()) index_.erase(ViewOf(entry->key));
  // Splice the entry out before it dies, so that whatever its item's
  // destructor does sees a consistent dictionary.
  Entries gone;
  gone.splice(gone.begin(), entries_, entry);
  return true;
}

}  // namespace norwin::automation
