// UserIndex: a roster's user names and the StudentID of each, names compared
// exactly. A flat table (open addressing over hash and position, the pairs
// in one array) rather than a node per name: a roster of 10,000 students
// adds 10,000 names at every load, and a node each made the index cost as
// much as the whole parse of the file.
//
// One thread at a time, as the roster that owns it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace norwin::datalayer {

class UserIndex {
 public:
  // The StudentID under `user`; null when the name is not there. Valid
  // until the index next changes.
  const std::string* Find(std::string_view user) const;
  bool Contains(std::string_view user) const { return Find(user) != nullptr; }
  // Adds `user` with `id`; false, and nothing changed, when the name is there.
  bool Add(std::string_view user, std::string_view id);
  // Adds `user` with `id`, or gives the name `id` when it is there.
  void Assign(std::string_view user, std::string_view id);
  // Takes `user` out; nothing when it is not there.
  void Erase(std::string_view user);
  // Room for `count` names in all without growing.
  void Reserve(size_t count);
  // Asks the processor to fetch the slot where `user` is looked up, so that
  // a look-up a few names later finds it in the cache: a large roster's
  // index is too big for it, and its slots are reached in no order.
  void Prefetch(std::string_view user) const;
  // Takes every name out; the room stays for the next load.
  void Clear();
  size_t size() const { return entries_.size(); }

 private:
  struct Entry {
    std::string user;
    std::string id;
    size_t hash;
  };
  static constexpr uint32_t kFree = UINT32_MAX;
  static constexpr uint32_t kGone = UINT32_MAX - 1;  // a removed name: probe on
  // Eight bytes, so that the slots of a large roster stay in the cache:
  // the high half of the hash and the pair's position.
  struct Slot {
    uint32_t tag = 0;
    uint32_t position = kFree;  // into entries_
  };
  // The slot holding `user`, or slots_.size() when none does.
  size_t SlotOf(std::string_view user, size_t hash) const;
  size_t Home(size_t hash) const;
  void Rebuild(size_t slots);

  std::vector<Entry> entries_;
  std::vector<Slot> slots_;  // a power of two, at most two thirds of them used
  size_t gone_ = 0;
};

}  // namespace norwin::datalayer
