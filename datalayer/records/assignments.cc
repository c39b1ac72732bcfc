#include "norwin/datalayer/assignments.h"

#include <optional>

#include "norwin/automation/error.h"
#include "norwin/datalayer/record_xml.h"

namespace norwin::datalayer {

void Assignment::ClassInitialize() {
  file_.clear();
  course_id_.clear();
  section_id_.clear();
}

bool Assignment::LoadFromXml(XmlNode node) {
  if (node.IsNull()) throw automation::RuntimeError(automation::kObjectNotSet);
  if (std::optional<std::string> text = ChildText(node, file_element_)) file_ = std::move(*text);
  if (std::optional<std::string> text = ChildText(node, "classRef")) course_id_ = std::move(*text);
  if (std::optional<std::string> text = ChildText(node, "sectionRef")) {
    section_id_ = std::move(*text);
  }
  return true;
}

bool Assignment::SaveToXml(XmlNode node) const {
  if (!file_.empty()) AppendTextElement(node, file_element_, file_);
  if (!course_id_.empty()) AppendTextElement(node, "classRef", course_id_);
  if (!section_id_.empty()) AppendTextElement(node, "sectionRef", section_id_);
  return true;
}

NORWIN_CLASS(ExamAssignment) {
  PropertyRW("ExamFileName", &ExamAssignment::File, &ExamAssignment::SetFile);
  PropertyRW("CourseID", &ExamAssignment::CourseID, &ExamAssignment::SetCourseID);
  PropertyRW("SectionID", &ExamAssignment::SectionID, &ExamAssignment::SetSectionID);
  Method("Class_Initialize", &ExamAssignment::ClassInitialize);
}

NORWIN_CLASS(LessonAssignment) {
  PropertyRW("LessonFilename", &LessonAssignment::File, &LessonAssignment::SetFile);
  PropertyRW("CourseID", &LessonAssignment::CourseID, &LessonAssignment::SetCourseID);
  PropertyRW("SectionID", &LessonAssignment::SectionID, &LessonAssignment::SetSectionID);
  Method("Class_Initialize", &LessonAssignment::ClassInitialize);
}

}  // namespace norwin::datalayer
