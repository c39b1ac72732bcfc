// HRESULTs and AutomationError, the one exception type of the automation
// runtime.
//
// Every failure inside an automation call travels as an AutomationError
// carrying an HRESULT `number`, a `description` and a `source`. The dispatch
// boundary (the script bridge, the script host) catches it and hands the three
// fields to the caller; it never crosses a C, GLib or JavaScript boundary as an
// exception.
//
// Runtime errors are raised as the original language raises them: error n
// travels as the HRESULT 0x800A0000 + n (so script sees 0x800A000D for 13,
// "Type mismatch") with the language's standard English description. Errors of
// the record classes are object errors, 0x80040000 + n (`vbObjectError + n`).
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <utility>

#include "norwin/automation/export.h"

namespace norwin::automation {

using HResult = int32_t;

// The bit pattern of an HRESULT as the documentation writes it (0x80020005).
constexpr HResult MakeHResult(uint32_t bits) { return static_cast<HResult>(bits); }

// The platform's names are kept as they are, so that the code reads like the
// documentation of the values it returns.
inline constexpr HResult S_OK = 0;
inline constexpr HResult S_FALSE = 1;
inline constexpr HResult E_NOTIMPL = MakeHResult(0x80004001);
inline constexpr HResult E_NOINTERFACE = MakeHResult(0x80004002);
inline constexpr HResult E_POINTER = MakeHResult(0x80004003);
inline constexpr HResult E_ABORT = MakeHResult(0x80004004);
inline constexpr HResult E_FAIL = MakeHResult(0x80004005);
inline constexpr HResult E_UNEXPECTED = MakeHResult(0x8000FFFF);
inline constexpr HResult E_ACCESSDENIED = MakeHResult(0x80070005);
inline constexpr HResult E_OUTOFMEMORY = MakeHResult(0x8007000E);
inline constexpr HResult E_INVALIDARG = MakeHResult(0x80070057);
inline constexpr HResult CLASS_E_NOAGGREGATION = MakeHResult(0x80040110);
inline constexpr HResult CLASS_E_CLASSNOTAVAILABLE = MakeHResult(0x80040111);
inline constexpr HResult REGDB_E_CLASSNOTREG = MakeHResult(0x80040154);
inline constexpr HResult CO_E_CLASSSTRING = MakeHResult(0x800401F3);
inline constexpr HResult CO_E_DLLNOTFOUND = MakeHResult(0x800401F8);
inline constexpr HResult DISP_E_UNKNOWNINTERFACE = MakeHResult(0x80020001);
inline constexpr HResult DISP_E_MEMBERNOTFOUND = MakeHResult(0x80020003);
inline constexpr HResult DISP_E_PARAMNOTFOUND = MakeHResult(0x80020004);
inline constexpr HResult DISP_E_TYPEMISMATCH = MakeHResult(0x80020005);
inline constexpr HResult DISP_E_UNKNOWNNAME = MakeHResult(0x80020006);
inline constexpr HResult DISP_E_NONAMEDARGS = MakeHResult(0x80020007);
inline constexpr HResult DISP_E_BADVARTYPE = MakeHResult(0x80020008);
inline constexpr HResult DISP_E_EXCEPTION = MakeHResult(0x80020009);
inline constexpr HResult DISP_E_OVERFLOW = MakeHResult(0x8002000A);
inline constexpr HResult DISP_E_BADINDEX = MakeHResult(0x8002000B);
inline constexpr HResult DISP_E_ARRAYISLOCKED = MakeHResult(0x8002000D);
inline constexpr HResult DISP_E_BADPARAMCOUNT = MakeHResult(0x8002000E);
inline constexpr HResult DISP_E_PARAMNOTOPTIONAL = MakeHResult(0x8002000F);
inline constexpr HResult DISP_E_DIVBYZERO = MakeHResult(0x80020012);

// `vbObjectError`: the base of the errors that classes raise themselves.
inline constexpr HResult kObjectErrorBase = MakeHResult(0x80040000);
// The base of runtime errors in HRESULT form (facility 0x0A).
inline constexpr HResult kRuntimeErrorBase = MakeHResult(0x800A0000);

constexpr bool Succeeded(HResult hr) { return hr >= 0; }
constexpr bool Failed(HResult hr) { return hr < 0; }

// Runtime error numbers of the original language.
enum RuntimeErrorCode : int32_t {
  kInvalidProcedureCall = 5,
  kOverflow = 6,
  kOutOfMemory = 7,
  kSubscriptOutOfRange = 9,
  kArrayLocked = 10,
  kDivisionByZero = 11,
  kTypeMismatch = 13,
  kOutOfStringSpace = 14,
  kBadFileNameOrNumber = 52,
  kFileNotFound = 53,
  kBadFileMode = 54,
  kFileAlreadyOpen = 55,
  kDeviceIoError = 57,
  kFileAlreadyExists = 58,
  kDiskFull = 61,
  kInputPastEndOfFile = 62,
  kTooManyFiles = 67,
  kDeviceUnavailable = 68,
  kPermissionDenied = 70,
  kDiskNotReady = 71,
  kCannotRenameWithDifferentDrive = 74,
  kPathFileAccessError = 75,
  kPathNotFound = 76,
  kObjectNotSet = 91,
  kInvalidUseOfNull = 94,
  kObjectRequired = 424,
  kCannotCreateObject = 429,
  kClassDoesNotSupportAutomation = 430,
  kFileOrClassNameNotFound = 432,
  kObjectDoesNotSupportMember = 438,
  kAutomationError = 440,
  kObjectDoesNotSupportAction = 445,
  kNamedArgumentsNotSupported = 446,
  kNamedArgumentNotFound = 448,
  kArgumentNotOptional = 449,
  kWrongArgumentCount = 450,
  kDuplicateKey = 457,
  kUnsupportedAutomationType = 458,
};

// HRESULT form of runtime error `number`: 0x800A0000 + number.
constexpr HResult HResultFromRuntimeError(int32_t number) {
  return MakeHResult(0x800A0000u | (static_cast<uint32_t>(number) & 0xFFFFu));
}
// `vbObjectError + n`.
constexpr HResult ObjectError(int32_t n) { return kObjectErrorBase + n; }

// The runtime error the language reports for `hr`: the low word of a
// facility-0x0A HRESULT, the language's error for the standard dispatch and
// activation failures (DISP_E_TYPEMISMATCH is 13, DISP_E_UNKNOWNNAME 438,
// REGDB_E_CLASSNOTREG 429 ...), and 0 when there is none.
NORWIN_AUTOMATION_EXPORT int32_t RuntimeErrorFromHResult(HResult hr);

// The number the language's `Err.Number` shows for `hr`: its runtime error
// when it has one, else the HRESULT itself (object errors stay negative,
// E_FAIL is -2147467259).
NORWIN_AUTOMATION_EXPORT int32_t ErrNumberFromHResult(HResult hr);

// The standard English description of runtime error `number` ("Type
// mismatch"); empty for a number the table does not know.
NORWIN_AUTOMATION_EXPORT std::string_view RuntimeErrorDescription(int32_t number);

// A description for any HRESULT: the runtime error's text when it maps to
// one, the system's text for the common COM failures ("Unspecified error"),
// else "Automation error".
NORWIN_AUTOMATION_EXPORT std::string DescribeHResult(HResult hr);

// The exception of the automation runtime. `number` is an HRESULT; `source`
// names what raised it ("students:AddStudent", "Students.Load").
struct NORWIN_AUTOMATION_EXPORT AutomationError : std::exception {
  AutomationError(HResult number, std::string description, std::string source = {})
      : number(number), description(std::move(description)), source(std::move(source)) {}

  const char* what() const noexcept override { return description.c_str(); }

  HResult number;
  std::string description;
  std::string source;
};

// Runtime error `number` as the language raises it: HRESULT form, standard
// description ("Error N" for a number without one).
NORWIN_AUTOMATION_EXPORT AutomationError RuntimeError(int32_t number, std::string source = {});

// An AutomationError for `hr` with DescribeHResult's text.
NORWIN_AUTOMATION_EXPORT AutomationError ErrorFromHResult(HResult hr, std::string source = {});

}  // namespace norwin::automation
