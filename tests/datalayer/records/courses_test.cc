// Course lists: reading and writing `classes` records with sections and text
// books, the identifier counters, and the errors of bad identifiers and
// text-book references.
#include "norwin/datalayer/courses.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "norwin/automation/dispatch.h"
#include "norwin/automation/error.h"
#include "norwin/datalayer/course_section.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/text_books.h"
#include "support/temp_prefix.h"

namespace norwin::datalayer {
namespace {

using automation::AutomationError;
using automation::CallByName;
using automation::MakeRef;
using automation::Ref;
using automation::Variant;

template <typename F>
AutomationError ErrorOf(F call) {
  try {
    call();
  } catch (const AutomationError& e) {
    return e;
  }
  ADD_FAILURE() << "no error raised";
  return AutomationError(0, "");
}

constexpr char kCourseList[] =
    "<classes>"
    "<class><id>1</id><className>Word 101</className>"
    "<sectionList><section><id>A</id><sectionName>Mornings</sectionName></section>"
    "<section><id>7</id><sectionName>Evenings</sectionName></section>"
    "<section><id>2</id><sectionName>Weekends</sectionName></section></sectionList>"
    "<textBookRef>TB1</textBookRef></class>"
    "<class><id>5</id><className>Excel 101</className></class>"
    "<class><id>3</id></class>"
    "</classes>";

class CoursesTest : public ::testing::Test {
 protected:
  // Loads `text` into `courses` against `text_books`.
  bool LoadText(Courses& courses, std::string_view text, const Variant& text_books) {
    EXPECT_TRUE(doc_.LoadXml(text).ok());
    return courses.LoadFromXml(doc_.DocumentElement(), text_books);
  }

  testing::TempPrefix prefix_;
  XmlDocument doc_;
};

TEST_F(CoursesTest, LoadSetsCountersPastEveryIdRead) {
  auto courses = MakeRef<Courses>();
  ASSERT_TRUE(LoadText(*courses, kCourseList, Variant::Null()));
  ASSERT_EQ(courses->Members()->size(), 3u);
  EXPECT_EQ(courses->NextCourseIdForTesting(), 6);
  Course* word = courses->Members()->FindObject<Course>("1");
  ASSERT_NE(word, nullptr);
  EXPECT_EQ(word->Name(), "Word 101");
  // Sections A, 7 and 2: A is no number.
  EXPECT_EQ(word->NewSectionID(), 8);
  EXPECT_EQ(word->Sections()->FindObject<CourseSection>("7")->Name(), "Evenings");
  // Without TextBooks the reference is a bare text book.
  ASSERT_TRUE(word->GetTextBook());
  EXPECT_EQ(word->GetTextBook()->ID(), "TB1");
  EXPECT_EQ(word->GetTextBook()->Title(), "");
  // A class without className keeps its name empty.
  EXPECT_EQ(courses->Members()->FindObject<Course>("3")->Name(), "");

  // Adding goes on from there and stores nothing.
  EXPECT_EQ(courses->AddCourse("Access 101"), "6");
  EXPECT_EQ(courses->AddCourse("PowerPoint 101"), "7");
  EXPECT_EQ(word->AddSection("Summer"), 8);
  EXPECT_EQ(word->AddSection("Winter"), 9);
  EXPECT_EQ(word->NewSectionID(), 10);
  EXPECT_EQ(word->Sections()->FindObject<CourseSection>("9")->Name(), "Winter");
  Ref<automation::Collection> names = word->GetSections();
  ASSERT_EQ(names->size(), 5u);
  EXPECT_EQ(names->at(0), Variant("Mornings"));
  EXPECT_EQ(names->at(4), Variant("Winter"));
  EXPECT_FALSE(names->KeyAt(0).has_value());

  // Loading more never lowers the counter, and the list is not emptied.
  ASSERT_TRUE(LoadText(*courses, "<classes><class><id>2</id></class></classes>", Variant::Null()));
  EXPECT_EQ(courses->Members()->size(), 6u);
  EXPECT_EQ(courses->AddCourse("Next"), "8");

  EXPECT_TRUE(courses->Exists(Variant("5")));
  EXPECT_TRUE(courses->Exists(Variant(int32_t{5})));
  EXPECT_FALSE(courses->Exists(Variant("4")));
  EXPECT_FALSE(courses->Exists(Variant::Null()));
}

TEST_F(CoursesTest, TextBooksResolveToTheSharedObjectOrRaise641) {
  auto text_books = MakeRef<TextBooks>();
  auto tb1 = MakeRef<TextBook>();
  tb1->InitTextbook("TB1", "Word Basics", "Ann Author");
  text_books->Members()->AddKeyed("TB1", Variant(tb1));

  auto courses = MakeRef<Courses>();
  ASSERT_TRUE(LoadText(*courses, kCourseList, Variant(text_books)));
  EXPECT_EQ(courses->Members()->FindObject<Course>("1")->GetTextBook(), tb1);

  auto others = MakeRef<Courses>();
  const AutomationError invalid = ErrorOf([&] {
    (void)LoadText(*others,
                   "<classes><class><id>1</id></class>"
                   "<class><id>2</id><textBookRef>TB9</textBookRef></class></classes>",
                   Variant(text_books));
  });
  EXPECT_EQ(invalid.number, automation::HResultFromRuntimeError(641));
  EXPECT_EQ(invalid.description, "Invalid textbook reference");
  EXPECT_EQ(invalid.source, "Course:LoadFromXMLNode");
  // The courses before the bad one stay.
  EXPECT_EQ(others->Members()->size(), 1u);
}

TEST_F(CoursesTest, BadCourseIdsRaiseAndKeepTheCoursesBefore) {
  auto courses = MakeRef<Courses>();
  const AutomationError not_numeric = ErrorOf([&] {
    (void)LoadText(*courses,
                   "<classes><class><id>4</id></class><class><id>x</id></class></classes>",
                   Variant::Null());
  });
  EXPECT_EQ(not_numeric.number, automation::HResultFromRuntimeError(automation::kTypeMismatch));
  EXPECT_EQ(courses->Members()->size(), 1u);
  EXPECT_EQ(courses->NextCourseIdForTesting(), 5);

  const AutomationError duplicate = ErrorOf([&] {
    (void)LoadText(*courses,
                   "<classes><class><id>9</id></class><class><id>4</id></class></classes>",
                   Variant::Null());
  });
  EXPECT_EQ(duplicate.number, automation::HResultFromRuntimeError(automation::kDuplicateKey));
  EXPECT_EQ(courses->Members()->size(), 2u);
  EXPECT_EQ(courses->NextCourseIdForTesting(), 10);

  // A section ID given twice in one course.
  auto more = MakeRef<Courses>();
  EXPECT_EQ(ErrorOf([&] {
              (void)LoadText(*more,
                             "<classes><class><id>1</id><sectionList>"
                             "<section><id>1</id></section><section><id>1</id></section>"
                             "</sectionList></class></classes>",
                             Variant::Null());
            }).number,
            automation::HResultFromRuntimeError(automation::kDuplicateKey));
}

TEST_F(CoursesTest, SaveWritesOnlyWhatACourseHasAndReadsBack) {
  auto courses = MakeRef<Courses>();
  ASSERT_TRUE(LoadText(*courses, kCourseList, Variant::Null()));
  const std::string file = (prefix_.path() / "classes.xml").string();
  ASSERT_TRUE(courses->Save(file));

  XmlDocument saved;
  ASSERT_TRUE(saved.Load(file).ok());
  EXPECT_EQ(saved.Xml(),
            "<classes>"
            "<class><id>1</id><className>Word 101</className>"
            "<sectionList><section><id>A</id><sectionName>Mornings</sectionName></section>"
            "<section><id>7</id><sectionName>Evenings</sectionName></section>"
            "<section><id>2</id><sectionName>Weekends</sectionName></section></sectionList>"
            "<textBookRef>TB1</textBookRef></class>"
            "<class><id>5</id><className>Excel 101</className></class>"
            "<class><id>3</id><className/></class>"
            "</classes>");

  auto reread = MakeRef<Courses>();
  ASSERT_TRUE(reread->Load(file, Variant::Null()));
  EXPECT_EQ(reread->Members()->size(), 3u);
  EXPECT_EQ(reread->NextCourseIdForTesting(), 6);

  // A record that does not parse, or is not there, loads nothing.
  std::ofstream(prefix_.path() / "broken.xml") << "<classes><class>";
  EXPECT_FALSE(reread->Load((prefix_.path() / "broken.xml").string(), Variant::Null()));
  EXPECT_FALSE(reread->Load((prefix_.path() / "none.xml").string(), Variant::Null()));
  EXPECT_EQ(reread->Members()->size(), 3u);
}

TEST_F(CoursesTest, CourseMembersThroughDispatch) {
  auto course = MakeRef<Course>();
  auto call = [&](std::string_view name, std::initializer_list<Variant> args = {}) {
    return CallByName(*course, name, automation::DISPATCH_METHOD, args);
  };
  EXPECT_EQ(call("AddSection", {Variant(int32_t{42})}), Variant(int32_t{0}));
  EXPECT_EQ(course->Sections()->FindObject<CourseSection>("0")->Name(), "42");
  call("SetTextBookID", {Variant(int32_t{12})});
  ASSERT_TRUE(course->GetTextBook());
  EXPECT_EQ(course->GetTextBook()->ID(), "12");
  Ref<TextBook> same = course->GetTextBook();
  call("SetTextBookID", {Variant("TB2")});
  EXPECT_EQ(course->GetTextBook(), same);  // the same object, renamed
  auto other = MakeRef<TextBook>();
  EXPECT_EQ(call("SetTextBook", {Variant(other)}), Variant(true));
  EXPECT_EQ(course->GetTextBook(), other);

  course->SetID("4");
  course->SetNewSectionID(20);
  call("Class_Initialize");
  EXPECT_EQ(course->ID(), "");
  EXPECT_EQ(course->NewSectionID(), 0);
  EXPECT_FALSE(course->GetTextBook());
  EXPECT_TRUE(course->Sections()->empty());

  // AddCourse answers with a Variant holding the ID as text.
  auto courses = MakeRef<Courses>();
  EXPECT_EQ(CallByName(*courses, "AddCourse", automation::DISPATCH_METHOD, {Variant("Word")}),
            Variant("0"));
  EXPECT_EQ(CallByName(*courses, "Exists", automation::DISPATCH_METHOD, {Variant("0")}),
            Variant(true));
}

}  // namespace
}  // namespace norwin::datalayer
