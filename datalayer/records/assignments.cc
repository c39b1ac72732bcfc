#include "norwin/datalayer/assignments.h"

#include <optional>

#include "norwin/automation/error.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/xml_dom_objects.h"

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

bool Assignment::LoadFromXMLNode(const automation::Variant& node) {
  return LoadFromXml(DomNodeArgument(node));
}

bool Assignment::SaveToXMLNode(const automation::Variant& node) const {
  return SaveToXml(DomNodeArgument(node));
}

NORWIN_CLASS(ExamAssignment) {
  PropertyRW("ExamFileName", &ExamAssignment::File, &ExamAssignment::SetFile);
  PropertyRW("CourseID", &ExamAssignment::CourseID, &ExamAssignment::SetCourseID);
  PropertyRW("SectionID", &ExamAssignment::SectionID, &ExamAssignment::SetSectionID);
  Method("LoadFromXMLNode", &ExamAssignment::LoadFromXMLNode);
  Method("SaveToXMLNode", &ExamAssignment::SaveToXMLNode);
  Method("Class_Initialize", &ExamAssignment::ClassInitialize);
}

NORWIN_CLASS(LessonAssignment) {
  PropertyRW("LessonFilename", &LessonAssignment::File, &LessonAssignment::SetFile);
  PropertyRW("CourseID", &LessonAssignment::CourseID, &LessonAssignment::SetCourseID);
  PropertyRW("SectionID", &LessonAssignment::SectionID, &LessonAssignment::SetSectionID);
  Method("LoadFromXMLNode", &LessonAssignment::LoadFromXMLNode);
  Method("SaveToXMLNode", &LessonAssignment::SaveToXMLNode);
  Method("Class_Initialize", &LessonAssignment::ClassInitialize);
}

}  // namespace norwin::datalayer
