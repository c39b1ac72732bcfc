#include "datalayer/support/test_course_list.h"

#include "norwin/automation/variant.h"

namespace norwin::testing {

using automation::MakeCollection;
using automation::MakeRef;
using automation::Variant;

NORWIN_CLASS(TestSection) { Property("ID", &TestSection::ID); }

TestCourse::TestCourse(std::string id) : id_(std::move(id)), sections_(MakeCollection()) {}

NORWIN_CLASS(TestCourse) {
  Property("ID", &TestCourse::ID);
  Property("Sections", &TestCourse::Sections);
}

TestCourseList::TestCourseList() : courses_(MakeCollection()) {}

void TestCourseList::AddCourse(std::string_view id,
                               std::initializer_list<std::string_view> section_ids) {
  auto course = MakeRef<TestCourse>(std::string(id));
  for (std::string_view section : section_ids) {
    course->Sections()->AddKeyed(section, Variant(MakeRef<TestSection>(std::string(section))));
  }
  courses_->AddKeyed(id, Variant(course));
}

bool TestCourseList::Exists(const std::string& id) {
  ++exists_calls_;
  return courses_->Exists(id);
}

NORWIN_CLASS(TestCourseList) {
  Method("Exists", &TestCourseList::Exists);
  Property("Courses", &TestCourseList::Courses);
}

}  // namespace norwin::testing
