// Dictionary: the scripting runtime's `Scripting.Dictionary`, a map from keys
// to items that remembers the order in which keys were added. The record
// classes use one as an index (user name -> student ID); page script creates
// them by ProgID.
//
// Keys may be strings, numbers, Empty, Null or objects. Numbers compare as
// numbers whatever their type (the Integer 1 and the Double 1.0 are one key),
// strings compare by CompareMode: binary (0, the default, case-sensitive) or
// text (1, without regard to case, key_compare.h; 2, the database mode, is
// taken as text); a string is never the same key as a number; objects are
// the same key only when they are the same object. Arrays are no keys (13).
//
// Errors, as the runtime raises them: 457 "This key is already associated
// with an element of this collection" for Add of a key that is there (and
// for renaming a key onto another), 32811 "Element not found" (0x800A802B)
// for Remove or Key of a key that is not there, 5 for setting CompareMode on
// a dictionary that holds items. Reading Item of a missing key adds the key
// with an Empty item, as the runtime does. A failed call changes nothing.
//
// One thread at a time. Pointers into the dictionary are valid until the
// entry they point into is removed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <string_view>
#include <unordered_map>

#include "norwin/automation/binder.h"
#include "norwin/automation/convert.h"
#include "norwin/automation/dispatch.h"
#include "norwin/automation/export.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"

namespace norwin::automation {

// Runtime error 32811, "Element not found".
inline constexpr int32_t kElementNotFound = 32811;

class NORWIN_AUTOMATION_EXPORT Dictionary : public Object {
 public:
  struct Entry {
    Variant key;
    Variant item;
  };

 private:
  using Entries = std::list<Entry>;

 public:
  NORWIN_BOUND_CLASS();

  Dictionary();

  // ---- What script sees ----

  void Add(const Variant& key, const Variant& item);
  bool Exists(const Variant& key) const;
  // The item under `key`; a missing key is added with an Empty item.
  Variant Item(const Variant& key);
  // Sets the item under `key`, adding the key when missing.
  void SetItem(const Variant& key, const Variant& item);
  // Renames `key` to `new_key`, keeping its item and its place.
  void SetKey(const Variant& key, const Variant& new_key);
  void Remove(const Variant& key);
  void RemoveAll();
  // The keys and the items in order, as arrays (lower bound 0).
  Variant Keys() const;
  Variant Items() const;
  int32_t Count() const { return static_cast<int32_t>(entries_.size()); }
  int32_t GetCompareMode() const { return compare_mode_; }
  void SetCompareMode(int32_t mode);
  // An enumeration of the keys as they are now.
  Ref<Enumerator> NewEnum() const;

  // ---- For C++ callers ----

  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  // The item under `key`, never adding it; null when there is none.
  const Variant* Find(const Variant& key) const;
  // The item under the string key `key` (no Variant made).
  const Variant* FindText(std::string_view key) const;
  // Removes `key`; false when it is not there.
  bool Erase(const Variant& key);

  // The entries in order: `for (const Dictionary::Entry& e : dict)`.
  Entries::const_iterator begin() const { return entries_.begin(); }
  Entries::const_iterator end() const { return entries_.end(); }

 protected:
  ~Dictionary() override;

 public:
  // How the index sees a key: its kind and the value that decides sameness.
  // A string view points into the text of the key's Variant.
  struct KeyView {
    enum class Kind : uint8_t { kEmpty, kNull, kNumber, kString, kObject };
    Kind kind = Kind::kEmpty;
    double number = 0;
    std::string_view text;
    const Object* object = nullptr;
    size_t hash = 0;  // computed once, by the dictionary's mode
  };
  struct KeyHash {
    size_t operator()(const KeyView& key) const noexcept { return key.hash; }
  };
  struct KeyEqual {
    CompareMode mode;
    bool operator()(const KeyView& a, const KeyView& b) const noexcept;
  };

 private:
  using Index = std::unordered_map<KeyView, Entries::iterator, KeyHash, KeyEqual>;

  // The entry whose key `view` names, or the end: through the index when
  // there is one, else in order.
  Entries::const_iterator FindEntry(const KeyView& view) const;
  Entries::iterator FindEntry(const KeyView& view);
  Entry& Insert(Variant key, Variant item);
  CompareMode mode() const {
    return compare_mode_ == 0 ? CompareMode::kBinary : CompareMode::kText;
  }
  // The index's view of `key` (not a reference); raises 13 for what cannot
  // be a key.
  KeyView ViewOf(const Variant& key) const;

  Entries entries_;
  // Made once the dictionary holds a few entries (most hold only a
  // handful, searched in order); empty until then.
  Index index_;
  int32_t compare_mode_ = 0;
};

}  // namespace norwin::automation
