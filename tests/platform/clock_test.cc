#include "norwin/platform/clock.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <set>

namespace norwin::platform {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::sys_days;
using namespace std::chrono_literals;

SystemSource::TimePoint Utc(int y, unsigned m, unsigned d, int hh, int mm, int ss) {
  return sys_days(std::chrono::year(y) / std::chrono::month(m) / std::chrono::day(d)) +
         std::chrono::hours(hh) + std::chrono::minutes(mm) + seconds(ss);
}

TEST(ManualSourceTest, TimeMovesOnlyWhenTheTestMovesIt) {
  ManualSource source(Utc(2026, 1, 1, 8, 0, 0));
  const auto start = source.Now();
  EXPECT_EQ(source.Now(), start);
  EXPECT_EQ(source.TickCount(), 0u);

  source.Sleep(1500ms, WaitEvents::kBlock);
  source.Sleep(10s, WaitEvents::kProcess);
  source.Sleep(-5ms, WaitEvents::kBlock);  // recorded, but time does not go back
  source.Advance(250ms);
  EXPECT_EQ(source.Now() - start, 11750ms);
  EXPECT_EQ(source.TickCount(), 11750u);
  EXPECT_EQ(source.total_slept(), 11500ms);
  EXPECT_EQ(source.sleeps(), (std::vector<ManualSource::SleepRecord>{
                                 {1500ms, WaitEvents::kBlock},
                                 {10s, WaitEvents::kProcess},
                                 {-5ms, WaitEvents::kBlock},
                             }));
  source.SetNow(Utc(2030, 6, 1, 0, 0, 0));
  EXPECT_EQ(source.Now(), Utc(2030, 6, 1, 0, 0, 0));
}

TEST(ManualSourceTest, RandomNumbersComeFromTheQueueThenFromTheSeed) {
  ManualSource source(ManualSource::DefaultStart(), 0s, /*seed=*/42);
  source.QueueRandom({0.25, 0.0, 0.999, 1.0, -3.0});
  EXPECT_EQ(source.Random(), 0.25);
  EXPECT_EQ(source.Random(), 0.0);
  EXPECT_EQ(source.Random(), 0.999);
  EXPECT_LT(source.Random(), 1.0);  // clamped into [0, 1)
  EXPECT_EQ(source.Random(), 0.0);

  ManualSource same(ManualSource::DefaultStart(), 0s, 42);
  ManualSource other(ManualSource::DefaultStart(), 0s, 43);
  std::set<double> distinct;
  for (int i = 0; i < 1000; ++i) {
    const double value = source.Random();
    EXPECT_EQ(value, same.Random());
    EXPECT_GE(value, 0.0);
    EXPECT_LT(value, 1.0);
    distinct.insert(value);
    distinct.insert(other.Random());
  }
  EXPECT_GT(distinct.size(), 1990u);
}

TEST(ManualSourceTest, BreaksMomentsDownInItsTimeZone) {
  // 23:30 UTC on the 1st of March 2026 is 01:30 on Monday the 2nd two
  // hours east of Greenwich.
  ManualSource east(Utc(2026, 3, 1, 23, 30, 15) + 250ms, 2h);
  const LocalDateTime local = east.LocalNow();
  EXPECT_EQ(local, (LocalDateTime{2026, 3, 2, 1, 30, 15, 250, /*day_of_week=*/1,
                                  /*day_of_year=*/31 + 28 + 2}));
  EXPECT_EQ(east.FromLocal(local), east.Now());

  ManualSource west(Utc(2024, 3, 1, 3, 0, 0), -5h);
  const LocalDateTime leap = west.LocalNow();
  EXPECT_EQ(leap.month, 2);
  EXPECT_EQ(leap.day, 29);
  EXPECT_EQ(leap.hour, 22);
  EXPECT_EQ(leap.day_of_year, 60);
  EXPECT_EQ(leap.day_of_week, 4);  // Thursday

  // Out-of-range fields carry over.
  EXPECT_EQ(east.FromLocal({2026, 1, 32, 2, 0, 0}), Utc(2026, 2, 1, 0, 0, 0));
  EXPECT_EQ(east.FromLocal({2026, 13, 1, 2, 0, 0}), Utc(2027, 1, 1, 0, 0, 0));
  EXPECT_EQ(east.FromLocal({2026, 0, 1, 2, 0, 0}), Utc(2025, 12, 1, 0, 0, 0));
  EXPECT_EQ(east.FromLocal({2026, -11, 1, 2, 0, 0}), Utc(2025, 1, 1, 0, 0, 0));
  EXPECT_EQ(east.FromLocal({2026, 3, 1, 26, 0, 0}), Utc(2026, 3, 2, 0, 0, 0));
}

TEST(SourceTest, TestsReplaceTheProcessSourceForAScope) {
  SystemSource* real = &Source();
  ManualSource outer_source;
  {
    ScopedSourceForTesting outer(&outer_source);
    EXPECT_EQ(&Source(), &outer_source);
    ManualSource inner_source;
    {
      ScopedSourceForTesting inner(&inner_source);
      Source().Sleep(3s, WaitEvents::kBlock);
      EXPECT_EQ(inner_source.total_slept(), 3s);
    }
    EXPECT_EQ(&Source(), &outer_source);
    EXPECT_EQ(outer_source.total_slept(), 0ms);
  }
  EXPECT_EQ(&Source(), real);
}

TEST(RealSourceTest, SleepsForRealAndKeepsEventsFlowingWhenAsked) {
  RealSource& real = static_cast<RealSource&>(Source());
  const uint32_t ticks = real.TickCount();
  auto start = std::chrono::steady_clock::now();
  real.Sleep(30ms, WaitEvents::kBlock);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);

  // A waiting caller still runs the main context's callbacks, and the wait
  // ends on time although the context has nothing else to do.
  int ran = 0;
  g_timeout_add(
      10,
      [](gpointer count) {
        ++*static_cast<int*>(count);
        return G_SOURCE_REMOVE;
      },
      &ran);
  start = std::chrono::steady_clock::now();
  real.Sleep(60ms, WaitEvents::kProcess);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(ran, 1);
  EXPECT_GE(took, 60ms);
  EXPECT_LT(took, 2s);
  EXPECT_GE(static_cast<uint32_t>(real.TickCount() - ticks), 90u);

  for (int i = 0; i < 100; ++i) {
    const double value = real.Random();
    EXPECT_GE(value, 0.0);
    EXPECT_LT(value, 1.0);
  }
  const auto now = real.Now();
  EXPECT_EQ(real.FromLocal(real.ToLocal(now)), std::chrono::floor<milliseconds>(now));
}

}  // namespace
}  // namespace norwin::platform
