// Collection: the language's Collection object, an ordered list of items,
// some of them under a string key. The record classes keep their members in
// one (students by StudentID, courses by course ID), and page script reaches
// it as `obj.Item(1)`, `obj("SID00001")`, `obj.Count` and `for each`.
//
// Positions are 1-based for script and 0-based for the C++ functions. Keys
// are compared without regard to case (key_compare.h) and keep the case they
// were added with. Look-up by key and by position take constant time; adding
// at the end is amortised constant; inserting or removing elsewhere moves the
// later items (linear).
//
// Errors, as the language raises them (AutomationError, runtime errors):
// 5 "Invalid procedure call or argument" for a key that is not there (and
// for Add with both `before` and `after`), 9 "Subscript out of range" for a
// position outside 1..Count, 457 "This key is already associated with an
// element of this collection" for a duplicate key, 13 "Type mismatch" for a
// key that is not a string or an index that is neither a number nor a
// string. A failed call changes nothing.
//
// One thread at a time, as every automation object. Iterators and pointers
// into the collection are valid until it next changes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "norwin/automation/binder.h"
#include "norwin/automation/dispatch.h"
#include "norwin/automation/export.h"
#include "norwin/automation/key_compare.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"

namespace norwin::automation {

class NORWIN_AUTOMATION_EXPORT Collection : public Object {
 private:
  struct Entry {
    Variant item;
    std::string key;
    size_t hash = 0;  // HashTextKey(key), for keyed entries
    bool keyed = false;
  };
  // The keyed entries by key: open addressing over (hash, entry) slots, so
  // that a look-up touches one slot run and then the one entry it wants,
  // and growing never hashes a key again.
  class KeyIndex {
   public:
    Entry* Find(std::string_view key, size_t hash) const;
    // Adds `entry` (key and hash set); false when its key is there.
    bool Insert(Entry* entry);
    void Erase(const Entry* entry);
    void Clear();
    // Room for `count` keys in all without growing.
    void Reserve(size_t count);
    void Prefetch(size_t hash) const;

   private:
    struct Slot {
      size_t hash = 0;
      Entry* entry = nullptr;  // null: free; Gone(): removed
    };
    // Marks a slot whose entry was removed; look-ups probe past it.
    static Entry* Gone() { return reinterpret_cast<Entry*>(alignof(Entry)); }
    size_t Home(size_t hash) const;
    void Rebuild(size_t capacity);
    std::vector<Slot> slots_;
    size_t live_ = 0;
    size_t gone_ = 0;
  };
  using Entries = std::vector<std::unique_ptr<Entry>>;

 public:
  NORWIN_BOUND_CLASS();

  Collection();

  // ---- What script sees ----

  // Adds `item`, under `key` when it is given (a string), at the end, or
  // before / after the item that `before` / `after` names (a position or a
  // key). At most one of `before` and `after` may be given. Leave an
  // argument out with Variant::Missing().
  void Add(const Variant& item, const Variant& key, const Variant& before, const Variant& after);
  // The item at a position (a number, rounded as the language rounds) or
  // under a key (a string). The default member.
  Variant Item(const Variant& index) const;
  // Removes the item at a position or under a key.
  void Remove(const Variant& index);
  int32_t Count() const { return static_cast<int32_t>(entries_.size()); }
  // An enumeration of the items as they are now; later changes do not
  // disturb it.
  Ref<Enumerator> NewEnum() const;

  // ---- For C++ callers (no Variant conversions) ----

  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }

  // Room for `count` items in all, so that adding them one at a time never
  // grows the list or its key index again (a roster read from its file).
  void Reserve(size_t count);

  // Asks the processor to fetch the slot of the key index where `key` goes,
  // so that adding it a few items later finds it in the cache: the index of
  // a large collection is too big for it, and keys reach it in no order.
  void PrefetchKey(std::string_view key) const { keys_.Prefetch(HashTextKey(key)); }

  // Adds `item` without a key at the end.
  void Append(Variant item);
  // Adds `item` under `key` at the end. Returns false and adds nothing when
  // the key is already there.
  [[nodiscard]] bool TryAddKeyed(std::string_view key, Variant item);
  // The same, raising 457 when the key is already there.
  void AddKeyed(std::string_view key, Variant item);

  // The item under `key`; null when there is none.
  const Variant* Find(std::string_view key) const;
  // The object under `key` when it is a T; null when there is no such key.
  // Raises 13 when the item is not a T (or Nothing).
  template <typename T>
  T* FindObject(std::string_view key) const {
    const Variant* item = Find(key);
    return item ? &AsObject<T>(*item) : nullptr;
  }
  bool Exists(std::string_view key) const { return Find(key) != nullptr; }

  // Removes the item under `key`; false when there is none.
  bool RemoveKeyed(std::string_view key);
  // Removes the item at 0-based `index` (< size()).
  void RemoveAt(size_t index);
  void Clear();

  // The item at 0-based `index` (< size()).
  const Variant& at(size_t index) const { return entries_[index]->item; }
  // Its key; nullopt for an item added without one.
  std::optional<std::string_view> KeyAt(size_t index) const {
    const Entry& e = *entries_[index];
    return e.keyed ? std::optional<std::string_view>(e.key) : std::nullopt;
  }

  // Iteration over the items in order: `for (const Variant& item : c)`.
  class const_iterator {
   public:
    using value_type = Variant;
    using difference_type = std::ptrdiff_t;
    const_iterator() = default;
    const Variant& operator*() const { return (*it_)->item; }
    const Variant* operator->() const { return &(*it_)->item; }
    const_iterator& operator++() {
      ++it_;
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator old = *this;
      ++it_;
      return old;
    }
    bool operator==(const const_iterator&) const = default;

   private:
    friend class Collection;
    explicit const_iterator(Entries::const_iterator it) : it_(it) {}
    Entries::const_iterator it_;
  };
  const_iterator begin() const { return const_iterator(entries_.begin()); }
  const_iterator end() const { return const_iterator(entries_.end()); }

  // Iteration over the items as objects of class T:
  // `for (Student& s : students->Objects<Student>())`. Reaching an item that
  // is not a T raises 13.
  template <typename T>
  class ObjectRange {
   public:
    class iterator {
     public:
      using value_type = T;
      using difference_type = std::ptrdiff_t;
      iterator() = default;
      T& operator*() const { return AsObject<T>((*it_)->item); }
      T* operator->() const { return &**this; }
      iterator& operator++() {
        ++it_;
        return *this;
      }
      bool operator==(const iterator&) const = default;

     private:
      friend class ObjectRange;
      explicit iterator(Entries::const_iterator it) : it_(it) {}
      Entries::const_iterator it_;
    };
    iterator begin() const { return iterator(entries_->begin()); }
    iterator end() const { return iterator(entries_->end()); }

   private:
    friend class Collection;
    explicit ObjectRange(const Entries* entries) : entries_(entries) {}
    const Entries* entries_;
  };
  template <typename T>
  ObjectRange<T> Objects() const {
    return ObjectRange<T>(&entries_);
  }

 protected:
  ~Collection() override;

 private:
  template <typename T>
  static T& AsObject(const Variant& item) {
    T* object = item.IsObject() ? dynamic_cast<T*>(item.object()) : nullptr;
    if (!object) throw RuntimeError(kTypeMismatch);
    return *object;
  }

  // The entry a script index names, and its 0-based position (linear for a
  // key); raise 5, 9 or 13.
  const Entry& EntryOf(const Variant& index) const;
  size_t PositionOf(const Variant& index) const;
  const Entry& KeyedEntry(std::string_view key) const;  // 5 when missing
  size_t CheckedPosition(double position) const;        // 9 outside 1..Count
  // The 0-based position of `entry` (linear).
  size_t PositionOf(const Entry* entry) const;
  // Adds `entry` at `position`; false (nothing added) when its key is there.
  bool Insert(size_t position, std::unique_ptr<Entry> entry);

  Entries entries_;
  KeyIndex keys_;
};

// A new, empty Collection.
inline Ref<Collection> MakeCollection() { return MakeRef<Collection>(); }

}  // namespace norwin::automation
