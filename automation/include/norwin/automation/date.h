// Dates as the automation runtime keeps them: an OLE automation date, the
// number of days since 12/30/1899, with the time of day as the fraction
// (0.5 is noon; -1.25 is 12/29/1899 6:00 AM, the fraction counting forward
// from the day whatever the sign). Valid dates run from 1/1/100 to
// 12/31/9999; Variant holds them as VT_DATE.
//
// The text forms are the United States forms of the original system, both
// ways, so that dates it wrote read back and dates we write read there:
// "12/7/2026 3:04:05 PM", the date alone at midnight, the time alone on the
// zero date ("3:04:05 PM"), "12:00:00 AM" for the zero date itself.
#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>

#include "norwin/automation/export.h"

namespace norwin::automation {

struct Date {
  double value = 0;  // days since 12/30/1899

  friend bool operator==(Date, Date) = default;
  friend auto operator<=>(Date, Date) = default;
};

struct DateParts {
  int year = 1899;
  int month = 12;  // 1-12
  int day = 30;    // 1-31
  int hour = 0;    // 0-23
  int minute = 0;
  int second = 0;

  friend bool operator==(const DateParts&, const DateParts&) = default;
};

// The date of `parts`; nullopt when a field is out of its range (February 30,
// hour 24, year 10000).
NORWIN_AUTOMATION_EXPORT std::optional<Date> MakeDate(const DateParts& parts);

// The fields of `date`, rounded to the nearest second. `date` must lie in the
// valid range (IsValidDate).
NORWIN_AUTOMATION_EXPORT DateParts SplitDate(Date date);

// Whether `value` is a date from 1/1/100 (-657434; its times run down to
// -657434.99999) to 12/31/9999 23:59:59 (2958465.99999).
NORWIN_AUTOMATION_EXPORT bool IsValidDate(double value);

// The default text form of `date` (see above); throws AutomationError
// (6, overflow) for a value outside the valid range.
NORWIN_AUTOMATION_EXPORT std::string FormatDate(Date date);

// Reads a date or time in the United States forms: "12/7/2026",
// "12/7/2026 3:04:05 PM", "3:04 PM", "15:04", "2026-12-07",
// "December 7, 2026", "Dec 7 2026", "7 Dec 2026", "Monday, December 7, 2026".
// Month and day are read M/D and swapped when only D/M makes sense
// ("13/1/2026"); two-digit years fall in 1930-2029; a date without a year
// ("12/7") takes `default_year`. Returns nullopt for text that is not a date.
NORWIN_AUTOMATION_EXPORT std::optional<Date> ParseDate(std::string_view text, int default_year);
// As above, with the current year of the local clock as the default year.
NORWIN_AUTOMATION_EXPORT std::optional<Date> ParseDate(std::string_view text);

}  // namespace norwin::automation
