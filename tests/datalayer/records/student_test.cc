// `Student`: the property array, passwords kept as digests, the `student`
// element written and read, the checks against a course list and the
// errors page script sees.
#include "norwin/datalayer/student.h"

#include <gtest/gtest.h>

#include <string>

#include "datalayer/foundation/xml_test_util.h"
#include "datalayer/support/test_course_list.h"
#include "norwin/automation/dispatch.h"
#include "norwin/automation/error.h"
#include "norwin/datalayer/record_xml.h"

namespace norwin::datalayer {
namespace {

using automation::AutomationError;
using automation::CallByName;
using automation::DISPATCH_METHOD;
using automation::DISPATCH_PROPERTYGET;
using automation::DISPATCH_PROPERTYPUT;
using automation::MakeRef;
using automation::Ref;
using automation::Variant;
using testing::ParseXml;
using testing::TextOf;

constexpr char kDigestOfSecret[] = "5ebe2294ecd0e0f08eab7690d2a6ee69";  // "secret"

// The error `call` raises; fails the test when it raises none.
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

Ref<Student> MakeStudent(std::string id, std::string user, std::string course = "",
                         std::string section = "") {
  Ref<Student> student = NewStudent();
  student->SetField(StudentField::kStudentId, std::move(id));
  student->SetField(StudentField::kFirstName, "Ann");
  student->SetField(StudentField::kLastName, "Lee");
  student->SetField(StudentField::kUserName, std::move(user));
  student->SetField(StudentField::kCourse, std::move(course));
  student->SetField(StudentField::kSection, std::move(section));
  return student;
}

class StudentTest : public ::testing::Test {
 protected:
  StudentTest() {
    courses_->AddCourse("3", {"1", "2"});
    courses_->AddCourse("4", {});
  }
  // The `student` element `student` writes, as text.
  std::string Written(const Student& student, automation::Object* courses = nullptr) {
    XmlDocument doc;
    XmlNode root = NewRecordRoot(doc, "student");
    EXPECT_TRUE(student.SaveToXml(root, courses));
    return root.Xml();
  }

  Ref<norwin::testing::TestCourseList> courses_ = MakeRef<norwin::testing::TestCourseList>();
};

TEST_F(StudentTest, PropertyArrayFollowsTheFieldOrder) {
  EXPECT_EQ(StudentFieldIndex("lastname"), 1);
  EXPECT_EQ(StudentFieldIndex("STUDENTID"), 0);
  EXPECT_EQ(StudentFieldIndex("MiddleInit"), 3);
  EXPECT_EQ(StudentFieldIndex("username"), 6);
  EXPECT_EQ(StudentFieldIndex("Email"), -1);
  EXPECT_EQ(StudentFieldIndex(""), -1);

  Ref<Student> student = NewStudent();
  EXPECT_TRUE(student->GetProperty(0).IsEmpty()) << "slot 0 starts Empty";
  EXPECT_EQ(student->GetProperty(1), Variant(""));
  EXPECT_EQ(student->GetProperty(10), Variant(""));
  EXPECT_EQ(ErrorOf([&] { student->GetProperty(11); }).number,
            automation::HResultFromRuntimeError(automation::kSubscriptOutOfRange));
  EXPECT_EQ(ErrorOf([&] { student->GetProperty(-1); }).number,
            automation::HResultFromRuntimeError(automation::kSubscriptOutOfRange));

  // Properties set by name land in their slots.
  const char* names[] = {"StudentID", "LastName", "FirstName", "MiddleInit",
                         "Course",    "Section",  "UserName"};
  for (int16_t slot = 0; slot < 7; ++slot) {
    CallByName(*student, names[slot], DISPATCH_PROPERTYPUT,
               {Variant("value " + std::to_string(slot))});
  }
  for (int16_t slot = 0; slot < 7; ++slot) {
    const Variant index = CallByName(*student, "GetPropertyIndex", DISPATCH_METHOD,
                                     {Variant(std::string(names[slot]))});
    EXPECT_EQ(index, Variant(slot));
    EXPECT_EQ(CallByName(*student, "GetProperty", DISPATCH_METHOD, {index}),
              Variant("value " + std::to_string(slot)));
    EXPECT_EQ(CallByName(*student, names[slot], DISPATCH_PROPERTYGET),
              Variant("value " + std::to_string(slot)));
  }
}

TEST_F(StudentTest, PasswordsAreKeptAsDigests) {
  Ref<Student> student = NewStudent();
  // Without a password any text passes, the empty one too.
  EXPECT_FALSE(student->HasPassword());
  EXPECT_TRUE(student->CheckPassword("anything"));
  EXPECT_TRUE(student->CheckPassword(""));

  student->SetPassword("secret");
  EXPECT_TRUE(student->HasPassword());
  EXPECT_EQ(student->PasswordDigest(), kDigestOfSecret);
  EXPECT_TRUE(student->CheckPassword("secret"));
  EXPECT_FALSE(student->CheckPassword("Secret"));
  EXPECT_FALSE(student->CheckPassword(""));
  EXPECT_NE(Written(*student).find(std::string("<password>") + kDigestOfSecret + "</password>"),
            std::string::npos);

  // The empty password removes it, and nothing is written for it.
  student->SetPassword("");
  EXPECT_FALSE(student->HasPassword());
  EXPECT_TRUE(student->CheckPassword("whatever"));
  EXPECT_EQ(Written(*student).find("<password"), std::string::npos);

  // A stored digest is taken as it is, and checked from then on.
  CallByName(*student, "SetEncryptedPassword", DISPATCH_METHOD, {Variant(kDigestOfSecret)});
  EXPECT_EQ(CallByName(*student, "hasPassword", DISPATCH_PROPERTYGET), Variant(true));
  EXPECT_EQ(CallByName(*student, "CheckPassword", DISPATCH_METHOD, {Variant("secret")}),
            Variant(true));
  EXPECT_EQ(CallByName(*student, "CheckPassword", DISPATCH_METHOD, {Variant("guess")}),
            Variant(false));
  // Script may switch the check off, as it always could.
  CallByName(*student, "hasPassword", DISPATCH_PROPERTYPUT, {Variant(false)});
  EXPECT_TRUE(student->CheckPassword("guess"));

  // A character the digest cannot take is an error, not a silent mismatch.
  EXPECT_EQ(ErrorOf([&] { student->SetPassword("\xE4\xB8\x80"); }).number,
            automation::HResultFromRuntimeError(automation::kInvalidProcedureCall));
}

TEST_F(StudentTest, WritesItsElementInOrder) {
  Ref<Student> student = MakeStudent("SID00012", "alee", "3", "2");
  student->SetPassword("secret");
  EXPECT_EQ(Written(*student),
            "<student><id>SID00012</id><name><first>Ann</first><last>Lee</last></name>"
            "<classRef>3</classRef><sectionRef>2</sectionRef><username>alee</username>"
            "<password>5ebe2294ecd0e0f08eab7690d2a6ee69</password></student>");

  // Middle initial only when there is one; course and section only when set.
  Ref<Student> plain = MakeStudent("SID00013", "");
  plain->SetField(StudentField::kMiddleInit, "Q");
  EXPECT_EQ(Written(*plain),
            "<student><id>SID00013</id><name><first>Ann</first><middle>Q</middle><last>Lee</last>"
            "</name><username/></student>");
}

TEST_F(StudentTest, ReadsItsElement) {
  auto doc = ParseXml(
      "<student><id>SID00012</id><name><first>Ann</first><middle>Q</middle><last>Lee</last>"
      "</name><classRef>3</classRef><sectionRef>2</sectionRef><username>alee</username>"
      "<password>5ebe2294ecd0e0f08eab7690d2a6ee69</password></student>");
  Ref<Student> student = NewStudent();
  ASSERT_TRUE(student->LoadFromXml(doc->DocumentElement(), courses_.get()));
  EXPECT_EQ(student->StudentID(), "SID00012");
  EXPECT_EQ(student->Field(StudentField::kFirstName), "Ann");
  EXPECT_EQ(student->Field(StudentField::kMiddleInit), "Q");
  EXPECT_EQ(student->Field(StudentField::kLastName), "Lee");
  EXPECT_EQ(student->Field(StudentField::kCourse), "3");
  EXPECT_EQ(student->Field(StudentField::kSection), "2");
  EXPECT_EQ(student->UserName(), "alee");
  EXPECT_TRUE(student->HasPassword());
  EXPECT_TRUE(student->CheckPassword("secret"));
  EXPECT_FALSE(student->CheckPassword("wrong"));
  // What it read, it writes back the same.
  EXPECT_EQ(Written(*student), doc->DocumentElement().Xml());

  // Only the id is required; without a password any text passes.
  auto bare = ParseXml("<student><id>SID00001</id></student>");
  Ref<Student> minimal = NewStudent();
  ASSERT_TRUE(minimal->LoadFromXml(bare->DocumentElement(), nullptr));
  EXPECT_EQ(minimal->StudentID(), "SID00001");
  EXPECT_EQ(minimal->UserName(), "");
  EXPECT_FALSE(minimal->HasPassword());
  EXPECT_TRUE(minimal->CheckPassword("x"));

  auto no_id = ParseXml("<student><username>x</username></student>");
  EXPECT_EQ(ErrorOf([&] { NewStudent()->LoadFromXml(no_id->DocumentElement(), nullptr); }).number,
            automation::HResultFromRuntimeError(automation::kObjectNotSet));
}

TEST_F(StudentTest, ReferencesAreCheckedOnlyAgainstACourseList) {
  auto read = [&](const char* xml, automation::Object* courses) {
    auto doc = ParseXml(xml);
    Ref<Student> student = NewStudent();
    student->LoadFromXml(doc->DocumentElement(), courses);
    return student;
  };
  // Without a course list anything is taken as it is.
  Ref<Student> unchecked = read(
      "<student><id>S</id><classRef>99</classRef><sectionRef>7</sectionRef></student>", nullptr);
  EXPECT_EQ(unchecked->Field(StudentField::kCourse), "99");
  EXPECT_EQ(unchecked->Field(StudentField::kSection), "7");

  struct Case {
    const char* xml;
    int32_t code;
    const char* description;
  } cases[] = {
      {"<student><id>S</id><classRef>99</classRef></student>", 631, "Invalid class reference id"},
      {"<student><id>S</id><sectionRef>1</sectionRef></student>", 632,
       "section reference without valid class"},
      {"<student><id>S</id><classRef>3</classRef><sectionRef>7</sectionRef></student>", 633,
       "invalid section reference"},
      {"<student><id>S</id><classRef>4</classRef><sectionRef>1</sectionRef></student>", 633,
       "invalid section reference"},
  };
  for (const Case& c : cases) {
    const AutomationError error = ErrorOf([&] { read(c.xml, courses_.get()); });
    EXPECT_EQ(error.number, automation::ObjectError(c.code)) << c.xml;
    EXPECT_EQ(error.description, c.description) << c.xml;
    EXPECT_EQ(error.source, "student:LoadFromXMLNode") << c.xml;
  }
  EXPECT_EQ(automation::ObjectError(631), automation::MakeHResult(0x80040277));
  EXPECT_EQ(automation::ObjectError(633), automation::MakeHResult(0x80040279));

  Ref<Student> checked =
      read("<student><id>S</id><classRef>3</classRef><sectionRef>1</sectionRef></student>",
           courses_.get());
  EXPECT_EQ(checked->Field(StudentField::kSection), "1");
}

TEST_F(StudentTest, SavingChecksTheReferencesItWrites) {
  const AutomationError course_error =
      ErrorOf([&] { Written(*MakeStudent("S", "u", "99"), courses_.get()); });
  EXPECT_EQ(course_error.number, automation::MakeHResult(0x80040281));
  EXPECT_EQ(course_error.description, "Invalid course ID");
  EXPECT_EQ(course_error.source, "Student:SaveToXMLNode");

  const AutomationError section_error =
      ErrorOf([&] { Written(*MakeStudent("S", "u", "3", "9"), courses_.get()); });
  EXPECT_EQ(section_error.number, automation::MakeHResult(0x80040282));
  EXPECT_EQ(section_error.description, "Invalid Section reference");
  EXPECT_EQ(section_error.source, "Student:SaveToXMLNode");

  // A section without a course cannot be found in any course.
  EXPECT_EQ(ErrorOf([&] { Written(*MakeStudent("S", "u", "", "1"), courses_.get()); }).number,
            automation::MakeHResult(0x80040282));
  EXPECT_NE(Written(*MakeStudent("S", "u", "3", "2"), courses_.get()).find("<sectionRef>2<"),
            std::string::npos);
  EXPECT_NE(Written(*MakeStudent("S", "u", "99", "9"), nullptr).find("<classRef>99<"),
            std::string::npos);
}

TEST_F(StudentTest, ValidateGivesCodeAndText) {
  auto validate = [&](const Student& student, automation::Object* courses) {
    int32_t code = 0;
    std::string text;
    const bool valid = student.Validate(courses, code, text);
    return std::make_tuple(valid, code, text);
  };
  EXPECT_EQ(validate(*MakeStudent("", "alee", "3", "2"), courses_.get()),
            std::make_tuple(true, 0, std::string()));
  EXPECT_EQ(validate(*MakeStudent("", "alee", "99", "2"), courses_.get()),
            std::make_tuple(false, 631, std::string("Course is invalid - 99")));
  EXPECT_EQ(validate(*MakeStudent("", "alee", "3", "5"), courses_.get()),
            std::make_tuple(false, 633, std::string("Section is invalid - 5")));
  EXPECT_EQ(validate(*MakeStudent("", "   ", "3", "2"), courses_.get()),
            std::make_tuple(false, 636, std::string("Username is required")));
  // Without a course list only the user name counts.
  EXPECT_EQ(validate(*MakeStudent("", "alee", "99", "5"), nullptr),
            std::make_tuple(true, 0, std::string()));
  EXPECT_EQ(validate(*MakeStudent("", "", "99", "5"), nullptr),
            std::make_tuple(false, 636, std::string("Username is required")));

  // Script gets the code and text through its variables.
  Ref<Student> student = MakeStudent("", "alee", "99");
  Variant code, text;
  const Variant valid =
      CallByName(*student, "Validate", DISPATCH_METHOD,
                 {Variant(courses_), Variant::ByRef(&code), Variant::ByRef(&text)});
  EXPECT_EQ(valid, Variant(false));
  EXPECT_EQ(code, Variant(int32_t{631}));
  EXPECT_EQ(text, Variant("Course is invalid - 99"));
  EXPECT_EQ(ErrorOf([&] {
              CallByName(*student, "Validate", DISPATCH_METHOD,
                         {Variant("not a list"), Variant::ByRef(&code), Variant::ByRef(&text)});
            }).number,
            automation::HResultFromRuntimeError(automation::kObjectRequired));
}

TEST_F(StudentTest, CloneIsAnIndependentCopyWithThePasswordCheck) {
  Ref<Student> original = MakeStudent("SID00004", "alee", "3", "1");
  original->SetField(StudentField::kMiddleInit, "Q");
  original->SetPassword("secret");
  const Variant made = CallByName(*original, "Clone", DISPATCH_METHOD);
  auto* copy = dynamic_cast<Student*>(made.object());
  ASSERT_NE(copy, nullptr);
  ASSERT_NE(copy, original.get());
  EXPECT_EQ(Written(*copy), Written(*original));
  EXPECT_TRUE(copy->HasPassword());
  EXPECT_FALSE(copy->CheckPassword("guess"));
  EXPECT_TRUE(copy->CheckPassword("secret"));

  copy->SetField(StudentField::kLastName, "Other");
  EXPECT_EQ(original->Field(StudentField::kLastName), "Lee");

  // A student without a password clones to one without.
  Ref<Student> open = MakeStudent("SID00005", "open");
  EXPECT_TRUE(open->Clone()->CheckPassword("anything"));
}

}  // namespace
}  // namespace norwin::datalayer
