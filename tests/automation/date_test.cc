#include "norwin/automation/date.h"

#include <gtest/gtest.h>

#include <time.h>

#include <cmath>
#include <random>

#include "norwin/automation/convert.h"

namespace norwin::automation {
namespace {

Date D(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  std::optional<Date> date = MakeDate({y, mo, d, h, mi, s});
  EXPECT_TRUE(date.has_value()) << y << "-" << mo << "-" << d;
  return date.value_or(Date{});
}

TEST(DateTest, SerialNumbersCountDaysFromTheZeroDate) {
  EXPECT_EQ(D(1899, 12, 30), Date{0});
  EXPECT_EQ(D(1899, 12, 31), Date{1});
  EXPECT_EQ(D(2026, 12, 7), Date{46363});
  EXPECT_EQ(D(2000, 2, 29), Date{36585});
  EXPECT_EQ(D(100, 1, 1), Date{-657434});
  EXPECT_EQ(D(9999, 12, 31), Date{2958465});
  EXPECT_EQ(D(1899, 12, 30, 12), Date{0.5});
  // Before the zero date the time counts forward from the day's start.
  EXPECT_EQ(D(1899, 12, 29, 6), Date{-1.25});
  EXPECT_EQ((SplitDate(Date{-1.25})), (DateParts{1899, 12, 29, 6, 0, 0}));
  EXPECT_EQ((SplitDate(Date{-0.5})), (DateParts{1899, 12, 30, 12, 0, 0}));

  EXPECT_FALSE(MakeDate({2026, 2, 29}).has_value());
  EXPECT_FALSE(MakeDate({1900, 2, 29}).has_value());  // not a leap year
  EXPECT_TRUE(MakeDate({2000, 2, 29}).has_value());
  EXPECT_FALSE(MakeDate({99, 12, 31}).has_value());
  EXPECT_FALSE(MakeDate({10000, 1, 1}).has_value());
  EXPECT_FALSE(MakeDate({2026, 13, 1}).has_value());
  EXPECT_FALSE(MakeDate({2026, 1, 1, 24}).has_value());
  EXPECT_FALSE(MakeDate({2026, 1, 1, 0, 60}).has_value());
}

TEST(DateTest, SplitRoundsToTheNearestSecondAcrossMidnight) {
  const double second = 1.0 / 86400;
  EXPECT_EQ(SplitDate(Date{D(2026, 12, 7, 23, 59, 59).value + 0.6 * second}),
            (DateParts{2026, 12, 8, 0, 0, 0}));
  EXPECT_EQ(SplitDate(Date{D(2026, 12, 7, 10, 0, 0).value + 0.4 * second}),
            (DateParts{2026, 12, 7, 10, 0, 0}));
  // Before the zero date, rounding up to midnight moves a day further back.
  EXPECT_EQ(SplitDate(Date{-1.99999999}), (DateParts{1899, 12, 28, 0, 0, 0}));
  EXPECT_EQ(SplitDate(Date{-0.99999999}), (DateParts{1899, 12, 29, 0, 0, 0}));
  // The last second of the range does not round out of it.
  EXPECT_EQ(SplitDate(Date{2958465.9999999}), (DateParts{9999, 12, 31, 23, 59, 59}));
  EXPECT_TRUE(IsValidDate(-657434.99));
  EXPECT_FALSE(IsValidDate(-657435.0));
  EXPECT_FALSE(IsValidDate(2958466.0));
}

TEST(DateTest, DefaultTextForms) {
  EXPECT_EQ(FormatDate(D(2026, 12, 7, 15, 4, 5)), "12/7/2026 3:04:05 PM");
  EXPECT_EQ(FormatDate(D(2026, 12, 7)), "12/7/2026");
  EXPECT_EQ(FormatDate(D(2026, 1, 2, 12, 0, 0)), "1/2/2026 12:00:00 PM");
  EXPECT_EQ(FormatDate(D(2026, 1, 2, 0, 30, 0)), "1/2/2026 12:30:00 AM");
  EXPECT_EQ(FormatDate(D(2026, 1, 2, 11, 59, 59)), "1/2/2026 11:59:59 AM");
  EXPECT_EQ(FormatDate(D(2026, 1, 2, 23, 0, 0)), "1/2/2026 11:00:00 PM");
  EXPECT_EQ(FormatDate(D(1899, 12, 30, 15, 4, 5)), "3:04:05 PM");
  EXPECT_EQ(FormatDate(Date{0}), "12:00:00 AM");
  EXPECT_EQ(FormatDate(Date{0.5}), "12:00:00 PM");
  EXPECT_EQ(FormatDate(Date{-1.25}), "12/29/1899 6:00:00 AM");
  EXPECT_EQ(FormatDate(D(100, 1, 1)), "1/1/0100");
  EXPECT_EQ(FormatDate(D(9999, 12, 31, 23, 59, 59)), "12/31/9999 11:59:59 PM");
  EXPECT_THROW(FormatDate(Date{-657435.5}), AutomationError);
  EXPECT_THROW(FormatDate(Date{3e6}), AutomationError);
}

TEST(DateTest, ReadsTheUnitedStatesForms) {
  const int year = 2031;  // the year of dates written without one
  struct Case {
    const char* text;
    Date expected;
  } cases[] = {
      {"12/7/2026", D(2026, 12, 7)},
      {"12/07/2026", D(2026, 12, 7)},
      {"12-7-2026", D(2026, 12, 7)},
      {"12/7/2026 3:04:05 PM", D(2026, 12, 7, 15, 4, 5)},
      {"12/7/2026 15:04:05", D(2026, 12, 7, 15, 4, 5)},
      {"  12/7/2026   3:04 pm ", D(2026, 12, 7, 15, 4)},
      {"3:04:05 PM 12/7/2026", D(2026, 12, 7, 15, 4, 5)},
      {"3:04 PM", D(1899, 12, 30, 15, 4)},
      {"3 PM", D(1899, 12, 30, 15)},
      {"3PM", D(1899, 12, 30, 15)},
      {"15:04", D(1899, 12, 30, 15, 4)},
      {"12:00 AM", Date{0}},
      {"12:00:00 PM", Date{0.5}},
      {"12:30 AM", D(1899, 12, 30, 0, 30)},
      {"0:30", D(1899, 12, 30, 0, 30)},
      {"2026-12-07", D(2026, 12, 7)},
      {"2026/12/7 8:00", D(2026, 12, 7, 8)},
      {"December 7, 2026", D(2026, 12, 7)},
      {"Dec 7 2026", D(2026, 12, 7)},
      {"Dec. 7, 2026", D(2026, 12, 7)},
      {"7 Dec 2026", D(2026, 12, 7)},
      {"7-Dec-2026", D(2026, 12, 7)},
      {"7 december 2026 10:15 AM", D(2026, 12, 7, 10, 15)},
      {"Monday, December 7, 2026", D(2026, 12, 7)},
      {"Sept 3, 2026", D(2026, 9, 3)},
      {"Dec 2026", D(2026, 12, 1)},
      {"12/2026", D(2026, 12, 1)},
      {"13/1/2026", D(2026, 1, 13)},  // only D/M makes sense
      {"1/2/29", D(2029, 1, 2)},
      {"1/2/30", D(1930, 1, 2)},
      {"1/2/0100", D(100, 1, 2)},
      {"12/7", D(year, 12, 7)},
      {"Dec 7", D(year, 12, 7)},
      {"12/30/1899", Date{0}},
      {"12/29/1899 6:00 AM", Date{-1.25}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::optional<Date> parsed = ParseDate(c.text, year);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(*parsed, c.expected);
  }
  for (const char* bad : {"",
                          "5",
                          "hello",
                          "Dec",
                          "2/30/2026",
                          "13/13/2026",
                          "25:00",
                          "3:60",
                          "13:00 PM",
                          "12/7/2026 3:04:05 XM",
                          "1/2/3/4",
                          "December 7, 2026 junk",
                          "12/7/2026 #",
                          "1.5",
                          "12/7/99999",
                          "12/7/2026 3:04:05:06",
                          "-5",
                          "Dec Jan 7",
                          "12//2026",
                          "/12/7/2026",
                          "12/7/2026-",
                          "3:04,",
                          "12/-7/2026"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(ParseDate(bad, year).has_value());
  }
}

TEST(DateTest, WhatWeWriteReadsBack) {
  // Every 37th day of the range with a time that walks the clock, and the
  // times of the zero date.
  int seconds = 0;
  for (double day = -657434; day <= 2958465; day += 37) {
    seconds = (seconds + 7919) % 86400;
    const DateParts parts = SplitDate(Date{day});
    const Date date =
        D(parts.year, parts.month, parts.day, seconds / 3600, seconds / 60 % 60, seconds % 60);
    const std::string text = FormatDate(date);
    std::optional<Date> back = ParseDate(text, 2000);
    ASSERT_TRUE(back.has_value()) << text;
    ASSERT_EQ(FormatDate(*back), text);
    ASSERT_EQ(SplitDate(*back), SplitDate(date)) << text;
  }
}

TEST(DateTest, CDateConvertsNumbersAndText) {
  EXPECT_EQ(ToDate(Variant(46363.5)), D(2026, 12, 7, 12));
  EXPECT_EQ(ToDate(Variant(int16_t{1})), Date{1});
  EXPECT_EQ(ToDate(Variant(true)), Date{-1});
  EXPECT_EQ(ToDate(Variant("12/7/2026 3:04:05 PM")), D(2026, 12, 7, 15, 4, 5));
  EXPECT_EQ(ToDate(Variant(D(2026, 1, 1))), D(2026, 1, 1));
  auto error_of = [](const Variant& v) {
    try {
      ToDate(v);
    } catch (const AutomationError& e) {
      return RuntimeErrorFromHResult(e.number);
    }
    return 0;
  };
  EXPECT_EQ(error_of(Variant(3e6)), kOverflow);
  EXPECT_EQ(error_of(Variant(-657435.0)), kOverflow);
  EXPECT_EQ(error_of(Variant("45000")), kTypeMismatch);
  EXPECT_EQ(error_of(Variant("not a date")), kTypeMismatch);
  EXPECT_EQ(error_of(Variant::Null()), kInvalidUseOfNull);
  // Without a year, the current one.
  const time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  EXPECT_EQ(SplitDate(ToDate(Variant("3/4"))).year, local.tm_year + 1900);
}

// Random text made of what dates and numbers are made of: whatever reads as
// a date or a number must write back to text that reads as the same value.
TEST(DateTest, WhateverReadsWritesBackToTheSameValue) {
  constexpr std::string_view kAlphabet = "0123456789012345/:-., APMDecJunHE+&";
  std::mt19937 random(20261207);
  int dates = 0, numbers = 0;
  for (int i = 0; i < 50000; ++i) {
    std::string text(random() % 16, ' ');
    for (char& c : text) c = kAlphabet[random() % kAlphabet.size()];
    if (std::optional<Date> date = ParseDate(text, 2026)) {
      ++dates;
      const std::string written = FormatDate(*date);
      std::optional<Date> back = ParseDate(written, 1999);
      ASSERT_TRUE(back.has_value()) << text << " -> " << written;
      EXPECT_EQ(SplitDate(*back), SplitDate(*date)) << text << " -> " << written;
    }
    if (std::optional<double> number = ParseNumber(text); number && std::isfinite(*number)) {
      ++numbers;
      const std::string written = FormatNumber(*number);
      std::optional<double> back = ParseNumber(written);
      ASSERT_TRUE(back.has_value()) << text << " -> " << written;
      EXPECT_EQ(FormatNumber(*back), written) << text;
    }
  }
  // The alphabet is rich enough that both kinds occur.
  EXPECT_GT(dates, 100);
  EXPECT_GT(numbers, 100);
}

}  // namespace
}  // namespace norwin::automation
