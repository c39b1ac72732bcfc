// Ordering and selecting roster entries for display pages: the field
// look-up of Sort and Filter, the comparison of two students, and the
// selection sort the roster's Sort is defined by.
//
// Fields are slots of the student's property array (StudentFieldIndex);
// slot -1 means "no such field". Sorting compares upper-cased text, field
// by field; filtering compares text exactly.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "norwin/automation/variant.h"
#include "norwin/datalayer/student.h"

namespace norwin::datalayer {

// Up to three fields. The first is always looked up; the second and third
// only when their names are not empty (else -1), so that an empty name
// switches a field off.
using StudentFields = std::array<int16_t, 3>;
StudentFields ResolveStudentFields(std::string_view first, std::string_view second,
                                   std::string_view third);

// The text of field `slot` of `student` ("" for slots 7 to 10). Raises
// runtime error 9 for a slot outside 0 to 10 (such as -1).
const std::string& StudentFieldText(const Student& student, int16_t slot);

// The text upper-cased one character for one character (simple mappings,
// so "ß" stays as it is); text that is not UTF-8 has only its ASCII letters
// changed.
std::string UpperCaseText(std::string_view text);

// Whether `student` passes the filter: field 1 equals value 1; when field 2
// is on, field 2 equals value 2; when fields 2 and 3 are both on, field 3
// equals value 3. Values are compared as text, exactly; Null equals nothing.
bool StudentMatches(const Student& student, const StudentFields& fields,
                    std::span<const automation::Variant, 3> values);

// Reorders `students` exactly as the selection sort over upper-cased
// fields orders them: for each position in turn, the first of the smallest
// remaining students is swapped into it. Ties on the first field are
// broken by the second when it is on, and then by the third when both are
// on; students equal on every field may change places, as that sort moves
// them. Runs in O(n log n). Raises runtime error 9 when the first field is
// -1 and there is anything to compare.
void SelectionSortStudents(std::span<Student*> students, const StudentFields& fields);

}  // namespace norwin::datalayer
