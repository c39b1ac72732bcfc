// The one source of time, waits and random numbers of a process.
//
// Everything that asks the time, waits or draws a random number goes
// through Source(), so that tests can put a ManualSource in its place and
// run back-off waits, ten-second retries and random orders instantly and
// deterministically. The real source reads the system clock and the local
// time zone, sleeps for real and draws from a generator seeded once from
// the operating system's entropy.
//
// Sources may be called from any thread. A source installed with
// SetSourceForTesting must outlive its installation.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <random>
#include <vector>

namespace norwin::platform {

// A moment broken down in local time.
struct LocalDateTime {
  int year = 1970;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  int day_of_week = 4;  // 0 = Sunday
  int day_of_year = 1;  // 1..366
  bool operator==(const LocalDateTime&) const = default;
};

// Whether a wait keeps the program's windows alive.
enum class WaitEvents {
  kBlock,    // the thread just sleeps
  kProcess,  // the thread runs its GLib main context while it waits
};

class SystemSource {
 public:
  using TimePoint = std::chrono::system_clock::time_point;

  virtual ~SystemSource() = default;

  // The current moment.
  virtual TimePoint Now() = 0;
  // The local time zone's distance from UTC at `when` (positive east of it,
  // daylight saving time included).
  virtual std::chrono::seconds UtcOffset(TimePoint when) = 0;
  // Waits `duration` (nothing for a duration <= 0). With WaitEvents::kProcess
  // the calling thread dispatches the events of its GLib main context while
  // it waits, when it owns that context; otherwise it only sleeps.
  virtual void Sleep(std::chrono::milliseconds duration, WaitEvents events) = 0;
  // A uniform random number in [0, 1).
  virtual double Random() = 0;
  // Milliseconds since an arbitrary start, wrapping at 2^32, as Windows'
  // GetTickCount; for measuring intervals.
  virtual uint32_t TickCount() = 0;

  // Now() broken down in local time.
  LocalDateTime LocalNow();
  // `when` broken down in local time.
  LocalDateTime ToLocal(TimePoint when);
  // The moment of a local date and time. Fields out of range carry over
  // (the 32nd of January is the 1st of February); day_of_week and
  // day_of_year are not read. A local time that a daylight-saving change
  // skips or repeats gives one of the nearby moments.
  TimePoint FromLocal(const LocalDateTime& local);
};

// Ends the process's waits for good, because the program is closing: real
// sleeps return at once (those under way within a tenth of a second) and
// HTTP exchanges fail, so that a thread busy with a slow call (a record
// server that does not answer, retries with their pauses) finishes it
// quickly and can be joined. Test sources are not affected.
void EndWaits();
// Whether EndWaits was called.
bool WaitsEnded();

// The process's source: the real one unless a test installed another.
SystemSource& Source();

// Installs `source` for the whole process (nullptr: the real one again).
// Not owned.
void SetSourceForTesting(SystemSource* source);

// Installs a source for the lifetime of the object, then restores the
// source that was installed before.
class ScopedSourceForTesting {
 public:
  explicit ScopedSourceForTesting(SystemSource* source);
  ~ScopedSourceForTesting();
  ScopedSourceForTesting(const ScopedSourceForTesting&) = delete;
  ScopedSourceForTesting& operator=(const ScopedSourceForTesting&) = delete;

 private:
  SystemSource* previous_;
};

// The real source.
class RealSource final : public SystemSource {
 public:
  RealSource();
  TimePoint Now() override;
  std::chrono::seconds UtcOffset(TimePoint when) override;
  void Sleep(std::chrono::milliseconds duration, WaitEvents events) override;
  double Random() override;
  uint32_t TickCount() override;

 private:
  std::mutex mutex_;
  std::mt19937_64 generator_;
};

// A source for tests. Time stands still except when Sleep or Advance moves
// it; the local time zone is a fixed offset from UTC. Random numbers come
// first from the queue given to QueueRandom, then from a generator with the
// given seed. Every Sleep is recorded.
class ManualSource final : public SystemSource {
 public:
  struct SleepRecord {
    std::chrono::milliseconds duration;
    WaitEvents events;
    bool operator==(const SleepRecord&) const = default;
  };

  // Starts at `start` (by default 2026-01-01 00:00:00 UTC) with a local time
  // `utc_offset` from UTC.
  explicit ManualSource(TimePoint start = DefaultStart(),
                        std::chrono::seconds utc_offset = std::chrono::seconds(0),
                        uint64_t seed = 1);

  TimePoint Now() override;
  std::chrono::seconds UtcOffset(TimePoint when) override;
  void Sleep(std::chrono::milliseconds duration, WaitEvents events) override;
  double Random() override;
  uint32_t TickCount() override;

  void Advance(std::chrono::milliseconds duration);
  void SetNow(TimePoint now);
  void SetUtcOffset(std::chrono::seconds offset);
  // Values must lie in [0, 1); others are clamped into it.
  void QueueRandom(const std::vector<double>& values);
  // The sleeps so far, oldest first.
  std::vector<SleepRecord> sleeps();
  // The sum of the sleeps so far.
  std::chrono::milliseconds total_slept();

  static TimePoint DefaultStart();

 private:
  std::mutex mutex_;
  TimePoint now_;
  std::chrono::seconds utc_offset_;
  std::chrono::milliseconds elapsed_{0};
  std::deque<double> queued_;
  std::mt19937_64 generator_;
  std::vector<SleepRecord> sleeps_;
};

}  // namespace norwin::platform
