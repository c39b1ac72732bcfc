// The kinds of record the server pages keep and the file-name rules of their
// listings, in one place for the record classes and the record server
// (norwin-server) alike. Plain functions over names, with no automation or
// XML dependencies, so that a program that only stores records can use them.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace norwin::datalayer {

// The values of ExamTypes and LessonTypes: which files a listing takes.
inline constexpr int32_t kExamTypeAll = -1;
inline constexpr int32_t kExamTypeRaw = 1;
inline constexpr int32_t kExamTypeStudent = 2;
inline constexpr int32_t kLessonTypeAll = -1;
inline constexpr int32_t kLessonTypeRaw = 1;
inline constexpr int32_t kLessonTypeStudent = 2;

// The root element of the documents saved under the object name `obj_name`
// ("Students" -> "students"); nullopt for a name no record class saves
// under.
std::optional<std::string_view> RootElementOf(std::string_view obj_name);

// Whether file `name` is an exam file of `type` (case-sensitive): a
// definition ends "_pmxm.xml", an attempt holds "_pmxm_" and ends ".xml"
// without being a definition. Any other type matches nothing.
bool MatchesExamType(std::string_view name, int32_t type);

// Whether the file name `name` is a lesson file of `lesson_type`
// (case-sensitive): All, any "_pml" name ending ".xml"; Raw, a definition
// ("_pml.xml"); Student, a student's copy ("_pml_" ... ".xml"). False for
// any other type.
bool MatchesLessonType(std::string_view name, int32_t lesson_type);

// An exam list's file: the name ends "_pmxl.xml" (case-sensitive).
bool IsExamListName(std::string_view name);

// A lesson menu's file: the name ends "_lm.xml" in any case.
bool IsLessonMenuName(std::string_view name);

// Whether the file `name` belongs in the listing of object name `obj_name`
// ("ExamList", "Exam" and "ExamInfo" with `type` an ExamTypes value,
// "Lesson" and "TextbookLesson" with a LessonTypes value, "LessonMenu" and
// "TextbookLessonMenu"); any other object name lists every ".xml" file.
bool MatchesListing(std::string_view obj_name, std::string_view name, int32_t type);

}  // namespace norwin::datalayer
