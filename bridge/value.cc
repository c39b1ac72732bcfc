#include "norwin/bridge/value.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <ostream>

namespace norwin::bridge {

namespace {

constexpr double kMsPerDay = 86400000.0;
// Days from 12/30/1899 (day 0 of OLE dates) to 1/1/1970.
constexpr double kUnixEpochOleDay = 25569.0;

}  // namespace

bool operator==(const Value& a, const Value& b) {
  if (a.tag != b.tag) return false;
  switch (a.tag) {
    case ValueTag::kEmpty:
    case ValueTag::kNull:
    case ValueTag::kNullString:
      return true;
    case ValueTag::kBool:
      return a.b == b.b;
    case ValueTag::kI2:
      return a.i2 == b.i2;
    case ValueTag::kI4:
      return a.i4 == b.i4;
    case ValueTag::kR8:
    case ValueTag::kDate:
      return std::bit_cast<uint64_t>(a.r8) == std::bit_cast<uint64_t>(b.r8);
    case ValueTag::kString:
      return a.text == b.text;
    case ValueTag::kObject:
      return a.object.handle == b.object.handle && a.object.class_id == b.object.class_id;
    case ValueTag::kArray:
      return a.items == b.items;
  }
  return false;
}

std::string Value::DebugString() const {
  char buffer[64];
  switch (tag) {
    case ValueTag::kEmpty:
      return "Empty";
    case ValueTag::kNull:
      return "Null";
    case ValueTag::kNullString:
      return "NullString";
    case ValueTag::kBool:
      return b ? "Bool true" : "Bool false";
    case ValueTag::kI2:
      std::snprintf(buffer, sizeof buffer, "I2 %d", i2);
      return buffer;
    case ValueTag::kI4:
      std::snprintf(buffer, sizeof buffer, "I4 %d", i4);
      return buffer;
    case ValueTag::kR8:
      std::snprintf(buffer, sizeof buffer, "R8 %.17g", r8);
      return buffer;
    case ValueTag::kDate:
      std::snprintf(buffer, sizeof buffer, "Date %.17g", r8);
      return buffer;
    case ValueTag::kString:
      return "String \"" + text + "\"";
    case ValueTag::kObject:
      std::snprintf(buffer, sizeof buffer, "Object %u (class %u)", object.handle, object.class_id);
      return buffer;
    case ValueTag::kArray: {
      std::string text = "Array [";
      for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += ", ";
        text += items[i].DebugString();
      }
      return text + "]";
    }
  }
  return "?";
}

void PrintTo(const Value& value, std::ostream* os) { *os << value.DebugString(); }

double OleDateFromWallMs(double wall_ms) {
  const double days = wall_ms / kMsPerDay + kUnixEpochOleDay;
  if (!(days < 0)) return days;  // also NaN
  // Before day 0 the whole days count backwards but the time of day still
  // counts forwards: 12/29/1899 6:00 AM (0.75 days before day 0) is -1.25.
  const double whole = std::floor(days);
  const double time = days - whole;
  return whole - time;
}

double WallMsFromOleDate(double ole_date) {
  double days = ole_date;
  if (ole_date < 0) {
    const double whole = std::trunc(ole_date);
    days = whole + (whole - ole_date);
  }
  return std::round((days - kUnixEpochOleDay) * kMsPerDay);
}

}  // namespace norwin::bridge
