// Value: one automation value as it travels between page script and the
// objects it uses (the wire form of the bridge).
//
// A small tagged union of the types script can see: Empty, Null, Boolean,
// 16- and 32-bit integers, Double, Date, string (with a distinct null
// string), an object handle, and a one-dimensional array of values (what a
// Dictionary's Keys and Items return). Objects never travel themselves: the side
// that owns them (the object server) hands out a Handle from its object
// table, with a class id that is the same for every object of one C++ class,
// so that script can cache what it learnt about a class's members.
//
// Dates travel as the automation runtime keeps them, an OLE automation date
// (days since 12/30/1899, the time as the fraction counted forward from the
// day whatever the sign). Script sees local wall-clock time; the helpers at
// the end convert between the two.
//
// This header depends on nothing but the standard library, so that the
// web-process side of the bridge can use it without the automation runtime.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace norwin::bridge {

// An object in an object table; 0 is no object (Nothing).
using Handle = uint32_t;
inline constexpr Handle kNoHandle = 0;

enum class ValueTag : uint8_t {
  kEmpty,
  kNull,
  kBool,
  kI2,
  kI4,
  kR8,
  kDate,
  kString,
  kNullString,
  kObject,
  kArray,
};

struct Value {
  ValueTag tag = ValueTag::kEmpty;
  union {
    bool b;
    int16_t i2;
    int32_t i4;
    double r8;  // kR8, and kDate as an OLE automation date
    struct {
      Handle handle;
      uint32_t class_id;
    } object;
  };
  std::string text;         // kString only
  std::vector<Value> items;  // kArray only

  Value() : object{kNoHandle, 0} {}

  static Value Empty() { return Value(); }
  static Value Null() { return Tagged(ValueTag::kNull); }
  static Value Bool(bool v) {
    Value value = Tagged(ValueTag::kBool);
    value.b = v;
    return value;
  }
  static Value I2(int16_t v) {
    Value value = Tagged(ValueTag::kI2);
    value.i2 = v;
    return value;
  }
  static Value I4(int32_t v) {
    Value value = Tagged(ValueTag::kI4);
    value.i4 = v;
    return value;
  }
  static Value R8(double v) {
    Value value = Tagged(ValueTag::kR8);
    value.r8 = v;
    return value;
  }
  static Value Date(double ole_date) {
    Value value = Tagged(ValueTag::kDate);
    value.r8 = ole_date;
    return value;
  }
  static Value String(std::string v) {
    Value value = Tagged(ValueTag::kString);
    value.text = std::move(v);
    return value;
  }
  static Value NullString() { return Tagged(ValueTag::kNullString); }
  // Handle kNoHandle is Nothing.
  static Value Object(Handle handle, uint32_t class_id) {
    Value value = Tagged(ValueTag::kObject);
    value.object = {handle, class_id};
    return value;
  }
  static Value Nothing() { return Object(kNoHandle, 0); }
  static Value Array(std::vector<Value> items) {
    Value value = Tagged(ValueTag::kArray);
    value.items = std::move(items);
    return value;
  }

  // Same tag and same value (Doubles and dates bit for bit, so that NaN
  // equals itself); for tests and logs.
  friend bool operator==(const Value& a, const Value& b);

  // "I4 42", "String \"abc\"", "Object 3 (class 1)": for logs and test
  // failures.
  std::string DebugString() const;

 private:
  static Value Tagged(ValueTag tag) {
    Value value;
    value.tag = tag;
    return value;
  }
};

// gtest prints Values through this.
void PrintTo(const Value& value, std::ostream* os);

// Local wall-clock time, as milliseconds since 1/1/1970 counted as if the
// local time were UTC (what script computes as
// `date.getTime() - date.getTimezoneOffset() * 60000`), to an OLE automation
// date and back. NaN stays NaN; the range is not checked here. Milliseconds
// come back rounded to whole ones, because an OLE date carries the time of
// day only to a few microseconds.
double OleDateFromWallMs(double wall_ms);
double WallMsFromOleDate(double ole_date);

}  // namespace norwin::bridge
