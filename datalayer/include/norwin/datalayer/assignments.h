// `ExamAssignment` and `LessonAssignment` (NorwinPellam2003.ExamAssignment,
// NorwinPellam2003.LessonAssignment): that an exam or a lesson is assigned to
// a course and a section. Exams and lessons keep them as elements of their
// documents; the owner makes the element and the assignment fills it with
// `examRef` (or `lessonRef`), `classRef` and `sectionRef`, each only when its
// field is not empty, and reads back those that are there.
#pragma once

#include <string>
#include <string_view>

#include "norwin/automation/binder.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"
#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {

// What both kinds hold: the assigned file, the course and the section.
class Assignment : public automation::Object {
 public:
  const std::string& File() const { return file_; }
  void SetFile(const std::string& file) { file_ = file; }
  const std::string& CourseID() const { return course_id_; }
  void SetCourseID(const std::string& id) { course_id_ = id; }
  const std::string& SectionID() const { return section_id_; }
  void SetSectionID(const std::string& id) { section_id_ = id; }

  // Empties the three fields, as a new object has them.
  void ClassInitialize();

  // Sets each field whose element `node` has; true. Raises 91 for a null node.
  bool LoadFromXml(XmlNode node);
  // Appends the elements of the non-empty fields to `node`; true.
  bool SaveToXml(XmlNode node) const;

  // Script forms taking DOM node objects (xml_dom_objects.h).
  bool LoadFromXMLNode(const automation::Variant& node);
  bool SaveToXMLNode(const automation::Variant& node) const;

 protected:
  // `examRef` or `lessonRef`.
  explicit Assignment(std::string_view file_element) : file_element_(file_element) {}

 private:
  std::string_view file_element_;
  std::string file_;
  std::string course_id_;
  std::string section_id_;
};

class ExamAssignment : public Assignment {
 public:
  NORWIN_BOUND_CLASS();
  ExamAssignment() : Assignment("examRef") {}
};

class LessonAssignment : public Assignment {
 public:
  NORWIN_BOUND_CLASS();
  LessonAssignment() : Assignment("lessonRef") {}
};

}  // namespace norwin::datalayer
