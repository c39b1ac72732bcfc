// The script members VelloraExam and VelloraLesson share, bound once here
// for both: each class's member table calls BindAssignmentMembers first and
// then adds its record's own members.
#pragma once

#include <string>

#include "norwin/automation/binder.h"
#include "norwin/automation/variant.h"
#include "norwin/datalayer/vellora_assignment.h"
#include "norwin/datalayer/xml_dom_objects.h"

namespace norwin::datalayer {

template <typename C>
void BindAssignmentMembers(automation::ClassBuilder<C>& b) {
  using automation::Optional;
  using automation::Variant;
  using A = VelloraAssignment;
  b.PropertyRW("CourseID", &A::CourseId, &A::SetCourseId);
  b.PropertyRW("courseName", &A::CourseName, &A::SetCourseName);
  b.PropertyRW("SubmitHost", &A::SubmitHost, &A::SetSubmitHost);
  b.PropertyRW("SubmitBackupHost", &A::SubmitBackupHost, &A::SetSubmitBackupHost);
  b.PropertyRW("CurrentLocation", &A::CurrentLocation, &A::SetCurrentLocation);
  b.PropertyRW("StudentID", &A::StudentId, &A::SetStudentId);
  b.PropertyRW("StudentFirstName", &A::StudentFirstName, &A::SetStudentFirstName);
  b.PropertyRW("StudentLastName", &A::StudentLastName, &A::SetStudentLastName);
  b.PropertyRW("InstructorFirstName", &A::InstructorFirstName, &A::SetInstructorFirstName);
  b.PropertyRW("InstructorLastName", &A::InstructorLastName, &A::SetInstructorLastName);
  b.PropertyRW("InstructorHost", &A::InstructorHost, &A::SetInstructorHost);
  b.PropertyRW("theXML", &A::TheXml, &A::SetTheXml);
  b.PropertyRW("ServerErrorStr", &A::ServerErrorStr, &A::SetServerErrorStr);
  b.Method(
      "Load",
      [](C& self, const std::string& filename, const Variant& pool, const std::string& ini) {
        return self.Load(filename, pool, ini);
      },
      Optional("iniLocation", ""));
  b.Method("LoadFromXMLNode",
           [](C& self, const Variant& node, const Variant& pool, const std::string& url) {
             return self.LoadFromXml(DomNodeArgument(node), pool, url);
           });
  b.Method(
      "Save",
      [](C& self, const std::string& filename, bool suppress) {
        return self.Save(filename, suppress);
      },
      Optional("suppressServerErrorMsg", Variant(false)));
  b.Method("SaveToXMLNode",
           [](C& self, const Variant& node) { return self.SaveToXml(DomNodeArgument(node)); });
  b.Method("Delete",
           [](C& self, const std::string& filename) { return Variant(self.Delete(filename)); });
}

}  // namespace norwin::datalayer
