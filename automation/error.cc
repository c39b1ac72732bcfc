#include "norwin/automation/error.h"

#include <algorithm>
#include <array>

namespace norwin::automation {

namespace {

struct RuntimeText {
  int32_t number;
  std::string_view text;
};

// The language's own texts for the runtime errors this system can raise or
// meet, sorted by number.
constexpr std::array kRuntimeTexts = {
    RuntimeText{5, "Invalid procedure call or argument"},
    RuntimeText{6, "Overflow"},
    RuntimeText{7, "Out of memory"},
    RuntimeText{9, "Subscript out of range"},
    RuntimeText{10, "This array is fixed or temporarily locked"},
    RuntimeText{11, "Division by zero"},
    RuntimeText{13, "Type mismatch"},
    RuntimeText{14, "Out of string space"},
    RuntimeText{17, "Can't perform requested operation"},
    RuntimeText{28, "Out of stack space"},
    RuntimeText{48, "Error in loading DLL"},
    RuntimeText{51, "Internal error"},
    RuntimeText{52, "Bad file name or number"},
    RuntimeText{53, "File not found"},
    RuntimeText{54, "Bad file mode"},
    RuntimeText{55, "File already open"},
    RuntimeText{57, "Device I/O error"},
    RuntimeText{58, "File already exists"},
    RuntimeText{61, "Disk full"},
    RuntimeText{62, "Input past end of file"},
    RuntimeText{67, "Too many files"},
    RuntimeText{68, "Device unavailable"},
    RuntimeText{70, "Permission denied"},
    RuntimeText{71, "Disk not ready"},
    RuntimeText{74, "Can't rename with different drive"},
    RuntimeText{75, "Path/File access error"},
    RuntimeText{76, "Path not found"},
    RuntimeText{91, "Object variable or With block variable not set"},
    RuntimeText{94, "Invalid use of Null"},
    RuntimeText{322, "Can't create necessary temporary file"},
    RuntimeText{424, "Object required"},
    RuntimeText{429, "ActiveX component can't create object"},
    RuntimeText{430, "Class doesn't support Automation"},
    RuntimeText{432, "File name or class name not found during Automation operation"},
    RuntimeText{438, "Object doesn't support this property or method"},
    RuntimeText{440, "Automation error"},
    RuntimeText{445, "Object doesn't support this action"},
    RuntimeText{446, "Object doesn't support named arguments"},
    RuntimeText{448, "Named argument not found"},
    RuntimeText{449, "Argument not optional"},
    RuntimeText{450, "Wrong number of arguments or invalid property assignment"},
    RuntimeText{457, "This key is already associated with an element of this collection"},
    RuntimeText{458, "Variable uses an Automation type not supported in Visual Basic"},
};

static_assert(std::is_sorted(kRuntimeTexts.begin(), kRuntimeTexts.end(),
                             [](const RuntimeText& a, const RuntimeText& b) {
                               return a.number < b.number;
                             }));

struct HResultMapping {
  HResult hr;
  int32_t runtime_error;
};

// The runtime errors the language reports for standard failures of dispatch
// and activation.
constexpr std::array kHResultMappings = {
    HResultMapping{DISP_E_TYPEMISMATCH, kTypeMismatch},
    HResultMapping{DISP_E_OVERFLOW, kOverflow},
    HResultMapping{DISP_E_BADINDEX, kSubscriptOutOfRange},
    HResultMapping{DISP_E_DIVBYZERO, kDivisionByZero},
    HResultMapping{DISP_E_ARRAYISLOCKED, kArrayLocked},
    HResultMapping{DISP_E_UNKNOWNNAME, kObjectDoesNotSupportMember},
    HResultMapping{DISP_E_MEMBERNOTFOUND, kObjectDoesNotSupportMember},
    HResultMapping{DISP_E_BADPARAMCOUNT, kWrongArgumentCount},
    HResultMapping{DISP_E_PARAMNOTOPTIONAL, kArgumentNotOptional},
    HResultMapping{DISP_E_PARAMNOTFOUND, kNamedArgumentNotFound},
    HResultMapping{DISP_E_NONAMEDARGS, kNamedArgumentsNotSupported},
    HResultMapping{DISP_E_BADVARTYPE, kUnsupportedAutomationType},
    HResultMapping{E_OUTOFMEMORY, kOutOfMemory},
    HResultMapping{E_INVALIDARG, kInvalidProcedureCall},
    HResultMapping{E_NOINTERFACE, kClassDoesNotSupportAutomation},
    HResultMapping{E_NOTIMPL, kObjectDoesNotSupportAction},
    HResultMapping{E_ACCESSDENIED, kPermissionDenied},
    HResultMapping{CLASS_E_CLASSNOTAVAILABLE, kCannotCreateObject},
    HResultMapping{REGDB_E_CLASSNOTREG, kCannotCreateObject},
    HResultMapping{CO_E_CLASSSTRING, kCannotCreateObject},
    HResultMapping{CO_E_DLLNOTFOUND, kCannotCreateObject},
};

struct SystemText {
  HResult hr;
  std::string_view text;
};

constexpr std::array kSystemTexts = {
    SystemText{S_OK, "The operation completed successfully."},
    SystemText{S_FALSE, "The operation completed successfully."},
    SystemText{E_FAIL, "Unspecified error"},
    SystemText{E_POINTER, "Invalid pointer"},
    SystemText{E_ABORT, "Operation aborted"},
    SystemText{E_UNEXPECTED, "Catastrophic failure"},
    SystemText{CLASS_E_NOAGGREGATION, "Class does not support aggregation"},
    SystemText{DISP_E_EXCEPTION, "Exception occurred."},
};

}  // namespace

int32_t RuntimeErrorFromHResult(HResult hr) {
  if ((static_cast<uint32_t>(hr) & 0xFFFF0000u) == 0x800A0000u) return hr & 0xFFFF;
  for (const HResultMapping& m : kHResultMappings) {
    if (m.hr == hr) return m.runtime_error;
  }
  return 0;
}

int32_t ErrNumberFromHResult(HResult hr) {
  const int32_t runtime = RuntimeErrorFromHResult(hr);
  return runtime != 0 ? runtime : hr;
}

std::string_view RuntimeErrorDescription(int32_t number) {
  auto it = std::lower_bound(kRuntimeTexts.begin(), kRuntimeTexts.end(), number,
                             [](const RuntimeText& t, int32_t n) { return t.number < n; });
  if (it == kRuntimeTexts.end() || it->number != number) return {};
  return it->text;
}

std::string DescribeHResult(HResult hr) {
  if (const int32_t runtime = RuntimeErrorFromHResult(hr); runtime != 0) {
    if (std::string_view text = RuntimeErrorDescription(runtime); !text.empty()) {
      return std::string(text);
    }
  }
  for (const SystemText& t : kSystemTexts) {
    if (t.hr == hr) return std::string(t.text);
  }
  return "Automation error";
}

AutomationError RuntimeError(int32_t number, std::string source) {
  std::string_view text = RuntimeErrorDescription(number);
  std::string description = text.empty() ? "Error " + std::to_string(number) : std::string(text);
  return AutomationError(HResultFromRuntimeError(number), std::move(description),
                         std::move(source));
}

AutomationError ErrorFromHResult(HResult hr, std::string source) {
  return AutomationError(hr, DescribeHResult(hr), std::move(source));
}

}  // namespace norwin::automation
