#include "norwin/bridge/object_table.h"

#include <utility>

namespace norwin::bridge {

using automation::Object;
using automation::Ref;

Handle ObjectTable::Add(Ref<Object> object) {
  uint32_t index;
  if (first_free_ != kNoSlot) {
    index = first_free_;
    first_free_ = slots_[index].next_free;
  } else {
    if (slots_.size() >= kCapacity) return kNoHandle;
    index = static_cast<uint32_t>(slots_.size());
    slots_.emplace_back();
  }
  Slot& slot = slots_[index];
  slot.object = std::move(object);
  slot.next_free = kNoSlot;
  ++live_;
  return (slot.generation << kIndexBits) | (index + 1);
}

bool ObjectTable::Release(Handle handle) {
  if (!Find(handle)) return false;
  const uint32_t index = (handle & kIndexMask) - 1;
  Slot& slot = slots_[index];
  // Take the reference out first: the object's destructor runs when
  // `dropped` goes, with the table already consistent.
  Ref<Object> dropped = std::move(slot.object);
  slot.generation = (slot.generation + 1) & 0xFF;
  slot.next_free = first_free_;
  first_free_ = index;
  --live_;
  return true;
}

void ObjectTable::Clear() {
  std::vector<Ref<Object>> dropped;
  dropped.reserve(live_);
  first_free_ = kNoSlot;
  // Slots stay, under a new generation, so that handles from before the
  // clearing never name an object stored after it.
  for (uint32_t index = static_cast<uint32_t>(slots_.size()); index-- > 0;) {
    Slot& slot = slots_[index];
    if (slot.object) {
      dropped.push_back(std::move(slot.object));
      slot.generation = (slot.generation + 1) & 0xFF;
    }
    slot.next_free = first_free_;
    first_free_ = index;
  }
  live_ = 0;
  // Destructors run here, when `dropped` goes, with the table empty.
}

}  // namespace norwin::bridge
