#include "norwin/automation/date.h"

#include <time.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "norwin/automation/error.h"

namespace norwin::automation {

namespace {

constexpr int64_t kSecondsPerDay = 86400;
// Days from 1/1/1970 back to the zero date, 12/30/1899.
constexpr int64_t kZeroDateOffset = 25569;
constexpr int64_t kFirstDay = -657434;  // 1/1/100
constexpr int64_t kLastDay = 2958465;   // 12/31/9999

// Days since 1/1/1970 of a date in the proleptic Gregorian calendar
// (H. Hinnant's algorithm, exact for every year).
constexpr int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

struct Civil {
  int year, month, day;
};

constexpr Civil CivilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {static_cast<int>(yoe + era * 400 + (m <= 2)), m, d};
}

static_assert(DaysFromCivil(1899, 12, 30) == -kZeroDateOffset);
static_assert(DaysFromCivil(100, 1, 1) + kZeroDateOffset == kFirstDay);
static_assert(DaysFromCivil(9999, 12, 31) + kZeroDateOffset == kLastDay);

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

// --- Reading dates ---------------------------------------------------------

struct Token {
  enum Kind { kNumber, kWord, kSeparator } kind;
  std::string_view text;
  int value = 0;  // numbers
};

bool IsAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

constexpr std::array<std::string_view, 12> kMonthNames = {
    "january", "february", "march",     "april",   "may",      "june",
    "july",    "august",   "september", "october", "november", "december"};
constexpr std::array<std::string_view, 7> kDayNames = {"sunday",   "monday", "tuesday", "wednesday",
                                                       "thursday", "friday", "saturday"};

// 1-12 for a month's name or its first three letters ("Sept" too); 0 else.
int MonthFromWord(std::string_view word) {
  for (size_t i = 0; i < kMonthNames.size(); ++i) {
    if (EqualsIgnoringCase(word, kMonthNames[i]) ||
        EqualsIgnoringCase(word, kMonthNames[i].substr(0, 3))) {
      return static_cast<int>(i) + 1;
    }
  }
  return EqualsIgnoringCase(word, "sept") ? 9 : 0;
}

bool IsDayName(std::string_view word) {
  for (std::string_view name : kDayNames) {
    if (EqualsIgnoringCase(word, name) || EqualsIgnoringCase(word, name.substr(0, 3))) {
      return true;
    }
  }
  return EqualsIgnoringCase(word, "tues") || EqualsIgnoringCase(word, "thur") ||
         EqualsIgnoringCase(word, "thurs");
}

enum class Meridiem { kNone, kAm, kPm };

Meridiem MeridiemFromWord(std::string_view word) {
  if (EqualsIgnoringCase(word, "am") || EqualsIgnoringCase(word, "a")) return Meridiem::kAm;
  if (EqualsIgnoringCase(word, "pm") || EqualsIgnoringCase(word, "p")) return Meridiem::kPm;
  return Meridiem::kNone;
}

constexpr size_t kMaxTokens = 24;

// Splits `text` into numbers, words and the separators / - , . :, dropping
// blanks. False for any other character, an over-long number or too many
// tokens.
bool Tokenize(std::string_view text, std::array<Token, kMaxTokens>& tokens, size_t& count) {
  count = 0;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
      continue;
    }
    if (count == kMaxTokens) return false;
    Token& t = tokens[count++];
    const size_t start = i;
    if (IsAsciiDigit(c)) {
      t.kind = Token::kNumber;
      t.value = 0;
      while (i < text.size() && IsAsciiDigit(text[i])) {
        if (i - start == 9) return false;
        t.value = t.value * 10 + (text[i] - '0');
        ++i;
      }
    } else if (IsAsciiAlpha(c)) {
      t.kind = Token::kWord;
      while (i < text.size() && IsAsciiAlpha(text[i])) ++i;
    } else if (c == '/' || c == '-' || c == ',' || c == '.' || c == ':') {
      t.kind = Token::kSeparator;
      ++i;
    } else {
      return false;
    }
    t.text = text.substr(start, i - start);
  }
  return true;
}

bool IsSeparator(const Token& t, char c) { return t.kind == Token::kSeparator && t.text[0] == c; }

// A two-digit year falls in 1930-2029.
int ExpandYear(const Token& t) {
  if (t.text.size() > 2) return t.value;
  return t.value < 30 ? 2000 + t.value : 1900 + t.value;
}

bool IsYearToken(const Token& t) { return t.text.size() >= 3 || t.value > 31; }

}  // namespace

bool IsValidDate(double value) {
  return value > static_cast<double>(kFirstDay - 1) && value < static_cast<double>(kLastDay + 1);
}

std::optional<Date> MakeDate(const DateParts& p) {
  if (p.year < 100 || p.year > 9999 || p.month < 1 || p.month > 12 || p.day < 1 ||
      p.day > DaysInMonth(p.year, p.month) || p.hour < 0 || p.hour > 23 || p.minute < 0 ||
      p.minute > 59 || p.second < 0 || p.second > 59) {
    return std::nullopt;
  }
  const double day = static_cast<double>(DaysFromCivil(p.year, p.month, p.day) + kZeroDateOffset);
  const double time =
      (p.hour * 3600 + p.minute * 60 + p.second) / static_cast<double>(kSecondsPerDay);
  // Before the zero date the time still counts forward from the day's start,
  // so it moves the value away from zero.
  return Date{day >= 0 ? day + time : day - time};
}

DateParts SplitDate(Date date) {
  const double whole = std::trunc(date.value);
  int64_t day = static_cast<int64_t>(whole);
  int64_t seconds = std::llround(std::fabs(date.value - whole) * kSecondsPerDay);
  if (seconds >= kSecondsPerDay) {
    // Rounded up to the next midnight: that is one day further from zero.
    const int64_t next = date.value < 0 ? day - 1 : day + 1;
    if (next < kFirstDay || next > kLastDay) {
      seconds = kSecondsPerDay - 1;
    } else {
      day = next;
      seconds = 0;
    }
  }
  const Civil c = CivilFromDays(day - kZeroDateOffset);
  DateParts p;
  p.year = c.year;
  p.month = c.month;
  p.day = c.day;
  p.hour = static_cast<int>(seconds / 3600);
  p.minute = static_cast<int>(seconds / 60 % 60);
  p.second = static_cast<int>(seconds % 60);
  return p;
}

std::string FormatDate(Date date) {
  if (!IsValidDate(date.value)) throw RuntimeError(kOverflow);
  const DateParts p = SplitDate(date);
  const bool zero_date = p.year == 1899 && p.month == 12 && p.day == 30;
  const bool midnight = p.hour == 0 && p.minute == 0 && p.second == 0;
  char buf[48];
  int n = 0;
  if (!zero_date) n = std::snprintf(buf, sizeof buf, "%d/%d/%04d", p.month, p.day, p.year);
  if (zero_date || !midnight) {
    const int hour12 = p.hour % 12 == 0 ? 12 : p.hour % 12;
    n += std::snprintf(buf + n, sizeof buf - n, "%s%d:%02d:%02d %s", n ? " " : "", hour12, p.minute,
                       p.second, p.hour < 12 ? "AM" : "PM");
  }
  return std::string(buf, n);
}

std::optional<Date> ParseDate(std::string_view text, int default_year) {
  std::array<Token, kMaxTokens> tokens;
  size_t count = 0;
  if (!Tokenize(text, tokens, count) || count == 0) return std::nullopt;
  // Separators stand between two parts: none first, last or doubled.
  for (size_t i = 0; i < count; ++i) {
    if (tokens[i].kind == Token::kSeparator &&
        (i == 0 || i + 1 == count || tokens[i - 1].kind == Token::kSeparator)) {
      return std::nullopt;
    }
  }
  std::array<bool, kMaxTokens> used{};

  // The time: H:MM[:SS] [AM|PM], or H AM|PM.
  bool has_time = false;
  int hour = 0, minute = 0, second = 0;
  for (size_t i = 0; i < count && !has_time; ++i) {
    if (tokens[i].kind != Token::kNumber) continue;
    size_t j = i;
    if (i + 2 < count && IsSeparator(tokens[i + 1], ':') && tokens[i + 2].kind == Token::kNumber) {
      hour = tokens[i].value;
      minute = tokens[i + 2].value;
      j = i + 3;
      if (j + 1 < count && IsSeparator(tokens[j], ':') && tokens[j + 1].kind == Token::kNumber) {
        second = tokens[j + 1].value;
        j += 2;
      }
    } else if (i + 1 < count && tokens[i + 1].kind == Token::kWord &&
               MeridiemFromWord(tokens[i + 1].text) != Meridiem::kNone) {
      hour = tokens[i].value;
      j = i + 1;
    } else {
      continue;
    }
    Meridiem meridiem = Meridiem::kNone;
    if (j < count && tokens[j].kind == Token::kWord) {
      meridiem = MeridiemFromWord(tokens[j].text);
      if (meridiem != Meridiem::kNone) ++j;
    }
    if (meridiem != Meridiem::kNone) {
      if (hour > 12) return std::nullopt;
      hour = hour % 12 + (meridiem == Meridiem::kPm ? 12 : 0);
    }
    if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
    for (size_t k = i; k < j; ++k) used[k] = true;
    has_time = true;
  }

  // The date: numbers separated by / - , or blanks, perhaps a month's name,
  // perhaps a weekday's name (ignored).
  std::array<const Token*, 3> numbers{};
  size_t number_count = 0;
  int month_word = 0;
  for (size_t i = 0; i < count; ++i) {
    if (used[i]) continue;
    const Token& t = tokens[i];
    switch (t.kind) {
      case Token::kNumber:
        if (number_count == numbers.size()) return std::nullopt;
        numbers[number_count++] = &t;
        break;
      case Token::kWord:
        if (int m = MonthFromWord(t.text); m != 0 && month_word == 0) {
          month_word = m;
        } else if (!IsDayName(t.text)) {
          return std::nullopt;
        }
        break;
      case Token::kSeparator:
        // "Dec. 7" is the one place for a period; a colon belongs to a time.
        if (IsSeparator(t, ':')) return std::nullopt;
        if (IsSeparator(t, '.') && (i == 0 || tokens[i - 1].kind != Token::kWord)) {
          return std::nullopt;
        }
        break;
    }
  }

  DateParts parts;
  if (month_word != 0) {
    parts.month = month_word;
    if (number_count == 1) {
      if (IsYearToken(*numbers[0])) {
        parts.year = ExpandYear(*numbers[0]);
        parts.day = 1;
      } else {
        parts.year = default_year;
        parts.day = numbers[0]->value;
      }
    } else if (number_count == 2) {
      const bool year_first = IsYearToken(*numbers[0]);
      parts.year = ExpandYear(*numbers[year_first ? 0 : 1]);
      parts.day = numbers[year_first ? 1 : 0]->value;
    } else {
      return std::nullopt;
    }
  } else if (number_count == 0) {
    if (!has_time) return std::nullopt;  // the zero date, with the time
  } else if (number_count == 1) {
    return std::nullopt;  // a lone number is not a date
  } else {
    if (number_count == 3 && IsYearToken(*numbers[0])) {
      parts.year = ExpandYear(*numbers[0]);
      parts.month = numbers[1]->value;
      parts.day = numbers[2]->value;
    } else if (number_count == 2 && IsYearToken(*numbers[1])) {
      parts.month = numbers[0]->value;
      parts.day = 1;
      parts.year = ExpandYear(*numbers[1]);
    } else {
      parts.month = numbers[0]->value;
      parts.day = numbers[1]->value;
      parts.year = number_count == 3 ? ExpandYear(*numbers[2]) : default_year;
    }
    // Month and day are read the United States way unless only the other
    // order is a date ("13/1/2026" is January 13).
    if (parts.month > 12 && parts.day <= 12) std::swap(parts.month, parts.day);
  }
  parts.hour = hour;
  parts.minute = minute;
  parts.second = second;
  return MakeDate(parts);
}

std::optional<Date> ParseDate(std::string_view text) {
  const time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  return ParseDate(text, local.tm_year + 1900);
}

}  // namespace norwin::automation
