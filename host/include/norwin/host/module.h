// The lifetime of the Lumo process: a count of module locks, held by every
// live NorwinDHTML object (one each) and by outside clients that lock the
// class object. When the last lock goes, the module asks the program to
// quit through the callback it was given, which ends the main loop.
//
// Lock and Unlock may be called from any thread; the callback runs on the
// thread whose Unlock released the last lock, and must be safe there (post
// the quit to the main loop rather than tearing anything down).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <utility>

namespace norwin::host {

class Module {
 public:
  using QuitCallback = std::function<void()>;

  explicit Module(QuitCallback on_last_unlock) : on_last_unlock_(std::move(on_last_unlock)) {}
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  // Adds a lock; returns the new count.
  int32_t Lock() { return locks_.fetch_add(1, std::memory_order_acq_rel) + 1; }

  // Releases a lock; returns the new count. Releasing the last one calls the
  // quit callback. An Unlock without a lock is a caller's mistake: the count
  // stays at 0 and nothing is called.
  int32_t Unlock() {
    int32_t count = locks_.load(std::memory_order_acquire);
    do {
      if (count <= 0) return 0;
    } while (!locks_.compare_exchange_weak(count, count - 1, std::memory_order_acq_rel));
    if (count == 1 && on_last_unlock_) on_last_unlock_();
    return count - 1;
  }

  int32_t lock_count() const { return locks_.load(std::memory_order_acquire); }

 private:
  QuitCallback on_last_unlock_;
  std::atomic<int32_t> locks_{0};
};

}  // namespace norwin::host
