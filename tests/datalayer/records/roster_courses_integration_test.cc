// A roster checked against a real course list (the library's `Courses`,
// loaded from its file), as a registration page uses the two together.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "norwin/automation/error.h"
#include "norwin/datalayer/library_classes.h"
#include "norwin/datalayer/students.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

using automation::AutomationError;
using automation::MakeRef;
using automation::Ref;
using automation::Variant;

constexpr char kClasses[] =
    "<classes><class><id>3</id><className>Word 101</className>"
    "<sectionList><section><id>1</id><sectionName>Mornings</sectionName></section>"
    "<section><id>2</id><sectionName>Evenings</sectionName></section></sectionList></class>"
    "<class><id>5</id><className>Excel 101</className></class></classes>";

template <typename F>
AutomationError ErrorOf(F&& call) {
  try {
    call();
  } catch (const AutomationError& e) {
    return e;
  }
  ADD_FAILURE() << "no error raised";
  return AutomationError(0, "");
}

class RosterWithCoursesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(prefix_.path() / "classes.xml") << kClasses;
    courses_ = CreateRecordObject("Courses");
    const Variant loaded = automation::CallByName(
        *courses_, "Load", automation::DISPATCH_METHOD,
        {Variant((prefix_.path() / "classes.xml").string()), Variant::Null()});
    ASSERT_EQ(loaded, Variant(true));
  }
  std::string Path(const char* name) const { return (prefix_.path() / name).string(); }

  norwin::testing::TempPrefix prefix_;
  Ref<automation::Object> courses_;
  Ref<Students> roster_ = MakeRef<Students>();
};

TEST_F(RosterWithCoursesTest, ReferencesAreCheckedAgainstTheCourseList) {
  std::ofstream(prefix_.path() / "roster.xml")
      << "<students autoStudentID=\"1\"><student><id>SID00001</id><classRef>3</classRef>"
         "<sectionRef>2</sectionRef><username>alee</username></student></students>";
  ASSERT_TRUE(roster_->Load(Path("roster.xml"), courses_.get()));

  auto entry = [](const char* user, const char* course, const char* section) {
    Ref<Student> student = NewStudent();
    student->SetField(StudentField::kUserName, user);
    student->SetField(StudentField::kCourse, course);
    student->SetField(StudentField::kSection, section);
    return student;
  };
  const AutomationError course = ErrorOf(
      [&] { roster_->AddStudent(Path("roster.xml"), entry("b", "9", "").get(), courses_.get()); });
  EXPECT_EQ(course.number, automation::ObjectError(631));
  EXPECT_EQ(course.description, "Course is invalid - 9");
  const AutomationError section = ErrorOf(
      [&] { roster_->AddStudent(Path("roster.xml"), entry("b", "5", "1").get(), courses_.get()); });
  EXPECT_EQ(section.number, automation::ObjectError(633));
  EXPECT_EQ(section.description, "Section is invalid - 1");

  ASSERT_TRUE(roster_->AddStudent(Path("roster.xml"), entry("b", "3", "1").get(), courses_.get()));
  Ref<Students> reloaded = MakeRef<Students>();
  ASSERT_TRUE(reloaded->Load(Path("roster.xml"), courses_.get()));
  EXPECT_EQ(reloaded->MatchUserName("b")->Field(StudentField::kSection), "1");

  std::ofstream(prefix_.path() / "stale.xml")
      << "<students><student><id>S</id><classRef>3</classRef><sectionRef>9</sectionRef>"
         "</student></students>";
  EXPECT_EQ(ErrorOf([&] { roster_->Load(Path("stale.xml"), courses_.get()); }).number,
            automation::ObjectError(633));
  EXPECT_TRUE(roster_->Load(Path("stale.xml"), nullptr));
  EXPECT_EQ(ErrorOf([&] { roster_->Save(Path("stale.xml"), courses_.get()); }).number,
            automation::ObjectError(642));
}

}  // namespace
}  // namespace norwin::datalayer
