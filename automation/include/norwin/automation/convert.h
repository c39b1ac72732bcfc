// The conversions of the original language (CStr, CBool, CInt, CLng, CByte,
// CDbl, CDate) and its default text forms, so that records written by the
// original system read back and records we write read there.
//
// Every conversion takes any Variant (by-reference ones are followed; an
// object gives the value of its default member) and throws AutomationError
// with the language's runtime error when it cannot convert: 13 "Type
// mismatch" for text that is no number (or date), objects without a value and
// error values; 6 "Overflow" for a number outside the target's range; 94
// "Invalid use of Null" for Null; 91 for Nothing; 438 for an object without a
// default member.
//
// Text forms:
// - Booleans "True" and "False"; numeric True is -1.
// - Doubles with up to 15 significant digits, as printf's "%.15G" writes
//   them: plain notation while the decimal exponent (after rounding to 15
//   digits) lies in -4..14, otherwise E notation with a sign and at least two
//   exponent digits. 2/3 gives "0.666666666666667", 1E15 "1E+15",
//   123456789012345 "123456789012345", 0.0001 "0.0001", 0.00001 "1E-05",
//   1.5E-7 "1.5E-07"; -0 gives "0"; integers have no ".0".
// - Dates as FormatDate (date.h).
//
// Numeric text is read as the language reads it with United States settings:
// blanks around, a leading sign, "," thousands separators in the integer
// part, "." decimals, an exponent ("1E3", "1.5e-7"), and "&H" /
// "&O" hexadecimal and octal (&H1F is 31; values up to &HFFFF are 16-bit, so
// "&HFFFF" is -1, larger ones 32-bit). Integers round half to even
// (banker's rounding: 2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "norwin/automation/export.h"
#include "norwin/automation/variant.h"

namespace norwin::automation {

NORWIN_AUTOMATION_EXPORT std::string ToString(const Variant& value);  // CStr; Empty is ""
NORWIN_AUTOMATION_EXPORT bool ToBool(const Variant& value);           // CBool
NORWIN_AUTOMATION_EXPORT int16_t ToInt16(const Variant& value);       // CInt
NORWIN_AUTOMATION_EXPORT int32_t ToInt32(const Variant& value);       // CLng
NORWIN_AUTOMATION_EXPORT uint8_t ToByte(const Variant& value);        // CByte
NORWIN_AUTOMATION_EXPORT double ToDouble(const Variant& value);       // CDbl
NORWIN_AUTOMATION_EXPORT Date ToDate(const Variant& value);           // CDate

// `value` converted to type `type` (VT_BSTR, VT_BOOL, VT_I2, VT_I4, VT_UI1,
// VT_R8, VT_DATE; VT_EMPTY and VT_NULL give those values; VT_DISPATCH keeps
// objects and refuses anything else with 13). By-reference Variants are
// followed; the result is never a reference.
NORWIN_AUTOMATION_EXPORT Variant ChangeType(const Variant& value, VarType type);

// The default text form of a Double (see above).
NORWIN_AUTOMATION_EXPORT std::string FormatNumber(double value);
// "True" or "False".
inline std::string_view FormatBool(bool value) { return value ? "True" : "False"; }

// Reads numeric text (see above). nullopt when `text` is not a number;
// +/-infinity when it is one too large for a Double.
NORWIN_AUTOMATION_EXPORT std::optional<double> ParseNumber(std::string_view text);

// Rounds to the nearest integer, halves to the even one.
NORWIN_AUTOMATION_EXPORT double RoundHalfEven(double value);

// How strings compare: byte for byte (case-sensitive), or without regard to
// case.
enum class CompareMode { kBinary, kText };

// Three-way comparison of two strings: negative, 0 or positive.
NORWIN_AUTOMATION_EXPORT int CompareStrings(std::string_view a, std::string_view b,
                                            CompareMode mode);

// The language's comparison of two Variants: negative, 0 or positive, or
// nullopt when either is Null. Numbers (Booleans, integers, Doubles, Dates)
// compare by value; strings by `mode`; Empty is 0 beside a number and ""
// beside a string; a number is less than a string. Objects compare by their
// default value.
NORWIN_AUTOMATION_EXPORT std::optional<int> Compare(const Variant& a, const Variant& b,
                                                    CompareMode mode = CompareMode::kBinary);

// Whether `a = b` holds in the language (false when either is Null).
inline bool Equals(const Variant& a, const Variant& b, CompareMode mode = CompareMode::kBinary) {
  std::optional<int> c = Compare(a, b, mode);
  return c && *c == 0;
}

}  // namespace norwin::automation
