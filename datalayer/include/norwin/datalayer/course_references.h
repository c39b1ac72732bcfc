// How roster records check the course and section a student names against
// a course list that the caller hands in (a `Courses` object, or Null).
//
// The course list is reached only through dispatch by name, with the calls
// page script would make: `Courses.Exists(id)`, `Courses.Courses(id)` (the
// keyed collection of courses, indexed by course ID) and
// `course.Sections(id)` (a course's keyed collection of sections). Any
// object answering those members will do, whichever library made it.
//
// Failures: a look-up that fails is an answer (null), not an error; errors
// of Exists itself (an object without such a member, for example) pass to
// the caller unchanged.
#pragma once

#include <string_view>

#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"

namespace norwin::datalayer {

// The course list `courses` holds; null when the caller passed none (Null,
// Empty, Nothing or a left-out argument). Raises runtime error 424 "Object
// required" for anything else that is no object (a string, a number).
automation::Object* CourseListArgument(const automation::Variant& courses);

// `courses.Exists(course_id)`.
bool CourseListHas(automation::Object& courses, std::string_view course_id);

// `courses.Courses(course_id)`: the course object, or null when the
// collection has no such course or the look-up fails in any other way.
automation::Ref<automation::Object> FindCourse(automation::Object& courses,
                                               std::string_view course_id);

// `course.Sections(section_id)`: the section object, or null when the
// course has no such section or the look-up fails in any other way.
automation::Ref<automation::Object> FindSection(automation::Object& course,
                                                std::string_view section_id);

}  // namespace norwin::datalayer
