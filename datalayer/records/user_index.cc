#include "norwin/datalayer/user_index.h"

#include <algorithm>
#include <bit>
#include <functional>

namespace norwin::datalayer {

namespace {

size_t HashOf(std::string_view user) { return std::hash<std::string_view>()(user); }

uint32_t TagOf(size_t hash) { return static_cast<uint32_t>(static_cast<uint64_t>(hash) >> 32); }

// Whether `used` slots (removed ones count) are too many for `slots`: at
// most two thirds are used, so that a run always ends at a free slot soon.
bool TooFull(size_t used, size_t slots) { return used * 3 > slots * 2; }

// The slots for `count` names: a power of two with room for them.
size_t SlotsFor(size_t count) {
  size_t slots = 16;
  while (TooFull(count + 1, slots)) slots *= 2;
  return slots;
}

}  // namespace

size_t UserIndex::Home(size_t hash) const {
  // Fibonacci hashing: the product's high bits mix every bit of the hash.
  const int shift = 64 - std::countr_zero(slots_.size());
  return static_cast<size_t>((static_cast<uint64_t>(hash) * 0x9E3779B97F4A7C15ull) >> shift);
}

size_t UserIndex::SlotOf(std::string_view user, size_t hash) const {
  if (slots_.empty()) return 0;
  const size_t mask = slots_.size() - 1;
  for (size_t i = Home(hash);; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.position == kFree) return slots_.size();
    if (slot.position != kGone && slot.tag == TagOf(hash) && entries_[slot.position].user == user)
      return i;
  }
}

const std::string* UserIndex::Find(std::string_view user) const {
  const size_t slot = SlotOf(user, HashOf(user));
  return slot < slots_.size() ? &entries_[slots_[slot].position].id : nullptr;
}

bool UserIndex::Add(std::string_view user, std::string_view id) {
  const size_t hash = HashOf(user);
  if (SlotOf(user, hash) < slots_.size()) return false;
  if (TooFull(entries_.size() + gone_ + 1, slots_.size())) Rebuild(SlotsFor(entries_.size() + 1));
  entries_.push_back(Entry{std::string(user), std::string(id), hash});
  // The first free or removed slot of the run: the name is not in it.
  const size_t mask = slots_.size() - 1;
  size_t i = Home(hash);
  while (slots_[i].position != kFree && slots_[i].position != kGone) i = (i + 1) & mask;
  if (slots_[i].position == kGone) --gone_;
  slots_[i] = Slot{TagOf(hash), static_cast<uint32_t>(entries_.size() - 1)};
  return true;
}

void UserIndex::Assign(std::string_view user, std::string_view id) {
  const size_t slot = SlotOf(user, HashOf(user));
  if (slot < slots_.size()) {
    entries_[slots_[slot].position].id = std::string(id);
  } else {
    (void)Add(user, id);
  }
}

void UserIndex::Erase(std::string_view user) {
  const size_t slot = SlotOf(user, HashOf(user));
  if (slot >= slots_.size()) return;
  const uint32_t position = slots_[slot].position;
  slots_[slot].position = kGone;
  ++gone_;
  const auto last = static_cast<uint32_t>(entries_.size() - 1);
  if (position != last) {
    // The last pair moves into the hole; its slot follows it.
    const size_t moved = SlotOf(entries_[last].user, entries_[last].hash);
    slots_[moved].position = position;
    entries_[position] = std::move(entries_[last]);
  }
  entries_.pop_back();
}

void UserIndex::Prefetch(std::string_view user) const {
  if (!slots_.empty()) __builtin_prefetch(&slots_[Home(HashOf(user))]);
}

void UserIndex::Reserve(size_t count) {
  entries_.reserve(count);
  if (SlotsFor(count) > slots_.size()) Rebuild(SlotsFor(count));
}

void UserIndex::Clear() {
  entries_.clear();
  std::fill(slots_.begin(), slots_.end(), Slot{});
  gone_ = 0;
}

void UserIndex::Rebuild(size_t slots) {
  slots_.assign(slots, Slot{});
  gone_ = 0;
  const size_t mask = slots - 1;
  for (size_t position = 0; position < entries_.size(); ++position) {
    size_t i = Home(entries_[position].hash);
    while (slots_[i].position != kFree) i = (i + 1) & mask;
    slots_[i] = Slot{TagOf(entries_[position].hash), static_cast<uint32_t>(position)};
  }
}

}  // namespace norwin::datalayer
