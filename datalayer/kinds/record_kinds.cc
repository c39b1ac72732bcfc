#include "norwin/datalayer/record_kinds.h"

#include <array>
#include <utility>

namespace norwin::datalayer {

namespace {

// Object name on save -> root element, one line a record class.
constexpr std::array<std::pair<std::string_view, std::string_view>, 13> kRoots{{
    {"ExamList", "examList"},
    {"Students", "students"},
    {"Courses", "classes"},
    {"TextBooks", "textBookList"},
    {"Preferences", "pref"},
    {"Exam", "exam"},
    {"Objectives", "objectiveList"},
    {"TaskPool", "taskPool"},
    {"Lesson", "lesson"},
    {"TextbookLesson", "lesson"},
    {"LessonMenu", "lessonMenu"},
    {"TextbookLessonMenu", "lessonMenu"},
    {"LiveExResults", "liveResults"},
}};

constexpr std::string_view kRawExamSuffix = "_pmxm.xml";
constexpr std::string_view kRawLessonSuffix = "_pml.xml";

bool EndsWithNoCase(std::string_view name, std::string_view suffix) {
  if (name.size() < suffix.size()) return false;
  name.remove_prefix(name.size() - suffix.size());
  for (size_t i = 0; i < suffix.size(); ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  return true;
}

}  // namespace

std::optional<std::string_view> RootElementOf(std::string_view obj_name) {
  for (const auto& [name, root] : kRoots) {
    if (name == obj_name) return root;
  }
  return std::nullopt;
}

bool MatchesExamType(std::string_view name, int32_t type) {
  switch (type) {
    case kExamTypeAll:
      return name.find("_pmxm") != std::string_view::npos && name.ends_with(".xml");
    case kExamTypeRaw:
      return name.ends_with(kRawExamSuffix);
    case kExamTypeStudent:
      return name.find("_pmxm_") != std::string_view::npos && !name.ends_with(kRawExamSuffix) &&
             name.ends_with(".xml");
    default:
      return false;
  }
}

bool MatchesLessonType(std::string_view name, int32_t lesson_type) {
  switch (lesson_type) {
    case kLessonTypeAll:
      return name.find("_pml") != std::string_view::npos && name.ends_with(".xml");
    case kLessonTypeRaw:
      return name.ends_with(kRawLessonSuffix);
    case kLessonTypeStudent:
      return name.find("_pml_") != std::string_view::npos && !name.ends_with(kRawLessonSuffix) &&
             name.ends_with(".xml");
    default:
      return false;
  }
}

bool IsExamListName(std::string_view name) { return name.ends_with("_pmxl.xml"); }

bool IsLessonMenuName(std::string_view name) { return EndsWithNoCase(name, "_lm.xml"); }

bool MatchesListing(std::string_view obj_name, std::string_view name, int32_t type) {
  if (obj_name == "ExamList") return IsExamListName(name);
  if (obj_name == "Exam" || obj_name == "ExamInfo") return MatchesExamType(name, type);
  if (obj_name == "Lesson" || obj_name == "TextbookLesson") return MatchesLessonType(name, type);
  if (obj_name == "LessonMenu" || obj_name == "TextbookLessonMenu") return IsLessonMenuName(name);
  return name.ends_with(".xml");
}

}  // namespace norwin::datalayer
