// Packed text: values written as one string, the form in which calls and
// replies cross between the JavaScript shims and the native side of the
// bridge.
//
// A call from script into native code costs about a microsecond for every
// argument that JavaScriptCore wraps as an object, but little for strings and
// integers. So the shims pass the fixed fields of a call as integers and all
// of its values as one string, and take the reply back as one string; a
// property read costs one native call and no wrapped values. The shims
// (bridge/js/automation.js) read and write the same grammar:
//
//   E              Empty                 N             Null
//   T              true                  F             false
//   H<int>;        16-bit integer        I<int>;       32-bit integer
//   R<number>;     Double, the shortest text that reads back exactly, or
//                  NaN, Infinity, -Infinity
//   D<number>;     Date, as local wall-clock milliseconds (value.h)
//   S<n>:<text>    string of n UTF-16 code units
//   Z<n>:<text>    the same, U+0000 written as U+0001 'a' and U+0001 as
//                  U+0001 'b' (the native boundary passes C strings)
//   L              the null string
//   O<h>;<c>;      object handle h of class c; O0;0; is Nothing
//   A<n>;          an array of the n values that follow
//
// A reply is its values one after another, or an error:
//   X<hresult>;<string><string>   number, description, source
//
// Text crossing the boundary is UTF-8 on the native side; lengths count
// UTF-16 code units because that is what script can count cheaply.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "norwin/bridge/calls.h"
#include "norwin/bridge/value.h"
#include "norwin/platform/status.h"

namespace norwin::bridge {

// Appends the packed form of `value`. Text that is not valid UTF-8 is
// repaired (each bad byte becomes U+FFFD), because the script engine would
// otherwise turn the whole reply into an empty string.
void AppendPackedValue(const Value& value, std::string* out);

// Appends the packed form of a reply: its values, or its error.
void AppendPackedReply(const CallReply& reply, std::string* out);

// Reads packed values until `text` ends, appending them to `out`. Fails
// with a description of the first fault (unknown tag, bad number, a length
// that runs past the end); `out` then holds the values read before it.
[[nodiscard]] Status ReadPackedValues(std::string_view text, std::vector<Value>* out);

// Reads a packed reply (values, or an error) into `reply`, which is cleared
// first.
[[nodiscard]] Status ReadPackedReply(std::string_view text, CallReply* reply);

// The number of UTF-16 code units of valid UTF-8 `text`.
size_t Utf16Length(std::string_view text);

}  // namespace norwin::bridge
