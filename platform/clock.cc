#include "norwin/platform/clock.h"

#include <glib.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <thread>

namespace norwin::platform {

namespace {

using std::chrono::days;
using std::chrono::duration_cast;
using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::sys_days;

std::atomic<SystemSource*> installed{nullptr};

RealSource& Real() {
  static RealSource* real = new RealSource();  // never destroyed: usable during exit
  return *real;
}

double ToUnit(uint64_t bits) {
  // The top 53 bits give every double in [0, 1) with equal spacing.
  return static_cast<double>(bits >> 11) * 0x1.0p-53;
}

std::atomic<bool> waits_ended{false};
std::mutex waits_mutex;
std::condition_variable waits_over;

// How long a wait that runs events goes without looking whether waits have
// ended.
constexpr milliseconds kEndCheckInterval{100};

// Runs the thread's GLib main context until `deadline` or until waits end;
// false when the thread cannot own the context (another thread runs it).
bool DispatchEventsUntil(std::chrono::steady_clock::time_point deadline) {
  GMainContext* context = g_main_context_get_thread_default();
  if (!context) context = g_main_context_default();
  if (!g_main_context_acquire(context)) return false;
  for (;;) {
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero() || WaitsEnded()) break;
    // A timeout source wakes the iteration when the wait is over, so that a
    // context without other events does not block past the deadline.
    const auto left_ms = std::clamp<int64_t>(duration_cast<milliseconds>(left).count(), 1,
                                             kEndCheckInterval.count());
    GSource* timer =
        g_timeout_source_new(static_cast<guint>(std::min<int64_t>(left_ms, G_MAXUINT)));
    g_source_set_callback(
        timer, [](gpointer) { return G_SOURCE_REMOVE; }, nullptr, nullptr);
    g_source_attach(timer, context);
    g_main_context_iteration(context, TRUE);
    g_source_destroy(timer);
    g_source_unref(timer);
  }
  g_main_context_release(context);
  return true;
}

}  // namespace

LocalDateTime SystemSource::LocalNow() { return ToLocal(Now()); }

LocalDateTime SystemSource::ToLocal(TimePoint when) {
  const auto local = when + UtcOffset(when);
  const auto day = std::chrono::floor<days>(local);
  const std::chrono::year_month_day ymd(day);
  const auto in_day = duration_cast<milliseconds>(local - day);
  LocalDateTime out;
  out.year = static_cast<int>(ymd.year());
  out.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  out.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  out.hour = static_cast<int>(in_day.count() / 3'600'000);
  out.minute = static_cast<int>(in_day.count() / 60'000 % 60);
  out.second = static_cast<int>(in_day.count() / 1000 % 60);
  out.millisecond = static_cast<int>(in_day.count() % 1000);
  out.day_of_week = static_cast<int>(std::chrono::weekday(day).c_encoding());
  out.day_of_year =
      static_cast<int>((day - sys_days(ymd.year() / std::chrono::January / 1)).count()) + 1;
  return out;
}

SystemSource::TimePoint SystemSource::FromLocal(const LocalDateTime& local) {
  // Months carry into years first, then days are counted from the first of
  // the (normalised) month, so out-of-range days and times carry over too.
  const int month0 = local.month - 1;
  const int year = local.year + (month0 >= 0 ? month0 / 12 : (month0 - 11) / 12);
  const int month = ((month0 % 12) + 12) % 12 + 1;
  const sys_days first =
      std::chrono::year(year) / std::chrono::month(static_cast<unsigned>(month)) / 1;
  const TimePoint naive = first + days(local.day - 1) + std::chrono::hours(local.hour) +
                          std::chrono::minutes(local.minute) + seconds(local.second) +
                          milliseconds(local.millisecond);
  // The offset at the moment itself, found in two steps so that moments
  // near a daylight-saving change use the offset in force at them.
  const seconds first_guess = UtcOffset(naive);
  return naive - UtcOffset(naive - first_guess);
}

SystemSource& Source() {
  SystemSource* source = installed.load(std::memory_order_acquire);
  return source ? *source : Real();
}

void SetSourceForTesting(SystemSource* source) {
  installed.store(source, std::memory_order_release);
}

ScopedSourceForTesting::ScopedSourceForTesting(SystemSource* source)
    : previous_(installed.exchange(source, std::memory_order_acq_rel)) {}

ScopedSourceForTesting::~ScopedSourceForTesting() {
  installed.store(previous_, std::memory_order_release);
}

// The real source.

RealSource::RealSource() {
  std::random_device entropy;
  std::seed_seq seed{entropy(), entropy(), entropy(), entropy()};
  generator_.seed(seed);
}

SystemSource::TimePoint RealSource::Now() { return std::chrono::system_clock::now(); }

seconds RealSource::UtcOffset(TimePoint when) {
  const time_t t = std::chrono::system_clock::to_time_t(when);
  struct tm local;
  if (!localtime_r(&t, &local)) return seconds(0);
  return seconds(local.tm_gmtoff);
}

void EndWaits() {
  {
    std::lock_guard lock(waits_mutex);
    waits_ended.store(true, std::memory_order_release);
  }
  waits_over.notify_all();
}

bool WaitsEnded() { return waits_ended.load(std::memory_order_acquire); }

void RealSource::Sleep(milliseconds duration, WaitEvents events) {
  if (duration <= milliseconds::zero() || WaitsEnded()) return;
  const auto deadline = std::chrono::steady_clock::now() + duration;
  if (events == WaitEvents::kProcess && DispatchEventsUntil(deadline)) return;
  std::unique_lock lock(waits_mutex);
  waits_over.wait_until(lock, deadline, [] { return WaitsEnded(); });
}

double RealSource::Random() {
  std::lock_guard lock(mutex_);
  return ToUnit(generator_());
}

uint32_t RealSource::TickCount() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const uint64_t ms =
      static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1'000'000;
  return static_cast<uint32_t>(ms);
}

// The manual source.

ManualSource::ManualSource(TimePoint start, seconds utc_offset, uint64_t seed)
    : now_(start), utc_offset_(utc_offset), generator_(seed) {}

SystemSource::TimePoint ManualSource::DefaultStart() {
  return sys_days(std::chrono::year(2026) / std::chrono::January / 1);
}

SystemSource::TimePoint ManualSource::Now() {
  std::lock_guard lock(mutex_);
  return now_;
}

seconds ManualSource::UtcOffset(TimePoint) {
  std::lock_guard lock(mutex_);
  return utc_offset_;
}

void ManualSource::Sleep(milliseconds duration, WaitEvents events) {
  std::lock_guard lock(mutex_);
  sleeps_.push_back({duration, events});
  if (duration > milliseconds::zero()) {
    now_ += duration;
    elapsed_ += duration;
  }
}

double ManualSource::Random() {
  std::lock_guard lock(mutex_);
  if (!queued_.empty()) {
    const double value = queued_.front();
    queued_.pop_front();
    return value;
  }
  return ToUnit(generator_());
}

uint32_t ManualSource::TickCount() {
  std::lock_guard lock(mutex_);
  return static_cast<uint32_t>(elapsed_.count());
}

void ManualSource::Advance(milliseconds duration) {
  std::lock_guard lock(mutex_);
  now_ += duration;
  elapsed_ += std::max(duration, milliseconds::zero());
}

void ManualSource::SetNow(TimePoint now) {
  std::lock_guard lock(mutex_);
  now_ = now;
}

void ManualSource::SetUtcOffset(seconds offset) {
  std::lock_guard lock(mutex_);
  utc_offset_ = offset;
}

void ManualSource::QueueRandom(const std::vector<double>& values) {
  std::lock_guard lock(mutex_);
  for (double value : values)
    queued_.push_back(value >= 0.0 ? std::min(value, std::nextafter(1.0, 0.0)) : 0.0);
}

std::vector<ManualSource::SleepRecord> ManualSource::sleeps() {
  std::lock_guard lock(mutex_);
  return sleeps_;
}

milliseconds ManualSource::total_slept() {
  std::lock_guard lock(mutex_);
  milliseconds total{0};
  for (const SleepRecord& record : sleeps_)
    total += std::max(record.duration, milliseconds::zero());
  return total;
}

}  // namespace norwin::platform
