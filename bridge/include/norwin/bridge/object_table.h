// ObjectTable: the automation objects one script holds (a page, a run of
// `lumo-script`), each under an integer Handle that the script's side of the
// bridge uses in its calls.
//
// The table holds one reference to each object it stores. A handle names one
// storing of one object: storing the same object twice gives two handles,
// each released on its own, which is what lets every script wrapper release
// its own handle when the garbage collector takes it. A released handle
// never names another object later: the slot it named is reused under a new
// generation, so a stale handle finds nothing.
//
// One thread at a time. Releasing can run an object's destructor; the table
// is consistent before that happens, so a destructor may use the table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "norwin/automation/object.h"
#include "norwin/bridge/value.h"

namespace norwin::bridge {

class ObjectTable {
 public:
  // The most objects a table holds at once (handles keep 24 bits for the
  // slot and 8 for its generation).
  static constexpr size_t kCapacity = (size_t{1} << 24) - 1;

  ObjectTable() = default;
  ~ObjectTable() { Clear(); }
  ObjectTable(const ObjectTable&) = delete;
  ObjectTable& operator=(const ObjectTable&) = delete;

  // Stores a reference to `object` (not null) and returns its new handle;
  // kNoHandle when the table is full.
  [[nodiscard]] Handle Add(automation::Ref<automation::Object> object);

  // The object under `handle`; null when it names none (never stored,
  // released, or kNoHandle).
  automation::Object* Find(Handle handle) const {
    const uint32_t index = (handle & kIndexMask) - 1;
    if (index >= slots_.size()) return nullptr;
    const Slot& slot = slots_[index];
    return slot.generation == (handle >> kIndexBits) ? slot.object.get() : nullptr;
  }

  // Drops the reference stored under `handle`; false when it names nothing.
  bool Release(Handle handle);

  // Drops every reference.
  void Clear();

  // How many objects the table holds.
  size_t size() const { return live_; }

 private:
  static constexpr int kIndexBits = 24;
  static constexpr uint32_t kIndexMask = (uint32_t{1} << kIndexBits) - 1;
  static constexpr uint32_t kNoSlot = UINT32_MAX;

  struct Slot {
    automation::Ref<automation::Object> object;
    uint32_t generation = 0;       // 8 bits used
    uint32_t next_free = kNoSlot;  // while free
  };

  std::vector<Slot> slots_;
  uint32_t first_free_ = kNoSlot;
  size_t live_ = 0;
};

}  // namespace norwin::bridge
