#include "norwin/datalayer/student.h"

#include <utility>

#include "norwin/automation/error.h"
#include "norwin/datalayer/course_references.h"
#include "norwin/datalayer/library_classes.h"
#include "norwin/datalayer/password_digest.h"
#include "norwin/datalayer/record_list.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/xml_dom_objects.h"
#include "norwin/platform/case_fold.h"

namespace norwin::datalayer {

namespace {

using automation::AutomationError;
using automation::Object;
using automation::Ref;
using automation::Variant;

constexpr std::string_view kLoadSource = "student:LoadFromXMLNode";
constexpr std::string_view kSaveSource = "Student:SaveToXMLNode";

// The names GetPropertyIndex knows, in slot order.
constexpr std::string_view kFieldNames[kStudentFieldCount] = {
    "STUDENTID", "LASTNAME", "FIRSTNAME", "MIDDLEINIT", "COURSE", "SECTION", "USERNAME"};

[[noreturn]] void Raise(int32_t code, std::string description, std::string_view source) {
  throw AutomationError(automation::ObjectError(code), std::move(description), std::string(source));
}

std::string_view TrimBlanks(std::string_view text) {
  const size_t begin = text.find_first_not_of(' ');
  if (begin == std::string_view::npos) return {};
  return text.substr(begin, text.find_last_not_of(' ') - begin + 1);
}

}  // namespace

Ref<Student> NewStudent() {
  static const automation::InprocClass* const kClass = FindLibraryClass("Student");
  Ref<Object> made = kClass->create();
  return Ref<Student>(static_cast<Student*>(made.get()));
}

int16_t StudentFieldIndex(std::string_view name) {
  for (int16_t i = 0; i < kStudentFieldCount; ++i) {
    if (platform::EqualsIgnoringCase(name, kFieldNames[i])) return i;
  }
  return -1;
}

void Student::SetField(StudentField field, std::string value) {
  fields_[static_cast<size_t>(field)] = std::move(value);
  if (field == StudentField::kStudentId) id_set_ = true;
}

bool Student::CheckPassword(std::string_view password) const {
  if (!has_password_) return true;
  return EncryptPassword(password) == digest_;
}

void Student::SetPassword(std::string_view password) {
  if (password.empty()) {
    digest_.clear();
    has_password_ = false;
    return;
  }
  digest_ = EncryptPassword(password);
  has_password_ = true;
}

void Student::SetEncryptedPassword(std::string digest) {
  // hasPassword means "a digest is held": a student given a stored digest
  // must not go on accepting every password until the roster is reloaded.
  has_password_ = !digest.empty();
  digest_ = std::move(digest);
}

Variant Student::GetProperty(int16_t index) const {
  if (index < 0 || index >= kStudentPropertySlots) {
    throw automation::RuntimeError(automation::kSubscriptOutOfRange);
  }
  if (index >= kStudentFieldCount) return Variant(std::string());
  if (index == 0 && !id_set_) return Variant();
  return Variant(fields_[static_cast<size_t>(index)]);
}

namespace {

// A student element's children: the text fields, then the name and its parts.
constexpr std::string_view kChildNames[] = {"id",       "classRef", "sectionRef",
                                            "username", "password", "name"};
constexpr size_t kNameSlot = std::size(kChildNames) - 1;
constexpr std::string_view kNamePartNames[] = {"first", "middle", "last"};
constexpr size_t kRecordSlots = kNameSlot + 1 + std::size(kNamePartNames);
static_assert(kChildNames[kStudentRecordIdSlot] == "id" &&
              kChildNames[kStudentRecordUserSlot] == "username");

}  // namespace

const RecordListShape& StudentRecordShape() {
  static const RecordListShape kShape{"students", "autoStudentID",
                                      std::span(kChildNames).first(kNameSlot),
                                      kChildNames[kNameSlot], kNamePartNames};
  return kShape;
}

bool Student::LoadFromXml(XmlNode node, Object* courses) {
  // The element read into the fields a roster read without the DOM gives.
  std::string texts[kRecordSlots];
  XmlNode found[std::size(kChildNames)];
  node.FindChildElements(kChildNames, found, std::span(texts, kNameSlot));
  XmlNode parts[std::size(kNamePartNames)];
  found[kNameSlot].FindChildElements(kNamePartNames, parts,
                                     std::span(texts).subspan(kNameSlot + 1));
  RecordField fields[kRecordSlots];
  for (size_t i = 0; i < kRecordSlots; ++i) {
    const XmlNode& element = i <= kNameSlot ? found[i] : parts[i - kNameSlot - 1];
    fields[i] = RecordField{texts[i], !element.IsNull()};
  }
  return LoadFromRecord(fields, courses);
}

bool Student::LoadFromRecord(std::span<const RecordField> fields, Object* courses) {
  const RecordField& id = fields[0];
  const RecordField& class_ref = fields[1];
  const RecordField& section_ref = fields[2];
  const RecordField& username = fields[3];
  const RecordField& password = fields[4];
  const std::span<const RecordField> name_parts = fields.subspan(kNameSlot + 1);

  if (!id.present) throw automation::RuntimeError(automation::kObjectNotSet);
  SetField(StudentField::kStudentId, std::string(id.text));
  static constexpr StudentField kNameFields[] = {
      StudentField::kFirstName, StudentField::kMiddleInit, StudentField::kLastName};
  for (size_t i = 0; i < std::size(kNameFields); ++i) {
    if (name_parts[i].present) SetField(kNameFields[i], std::string(name_parts[i].text));
  }
  if (class_ref.present) {
    if (courses) {
      course_ref_ = FindCourse(*courses, class_ref.text);
      if (!course_ref_) Raise(kInvalidClassReference, "Invalid class reference id", kLoadSource);
    }
    SetField(StudentField::kCourse, std::string(class_ref.text));
  }
  if (section_ref.present) {
    if (courses) {
      if (!course_ref_) {
        Raise(kSectionWithoutClass, "section reference without valid class", kLoadSource);
      }
      section_ref_ = FindSection(*course_ref_, section_ref.text);
      if (!section_ref_) Raise(kInvalidSectionReference, "invalid section reference", kLoadSource);
    }
    SetField(StudentField::kSection, std::string(section_ref.text));
  }
  if (username.present) SetField(StudentField::kUserName, std::string(username.text));
  has_password_ = password.present;
  if (password.present) digest_.assign(password.text);
  return true;
}

bool Student::SaveToXml(XmlNode node, Object* courses) const {
  AppendTextElement(node, "id", StudentID());
  XmlNode name = AppendElement(node, "name");
  AppendTextElement(name, "first", Field(StudentField::kFirstName));
  if (!Field(StudentField::kMiddleInit).empty()) {
    AppendTextElement(name, "middle", Field(StudentField::kMiddleInit));
  }
  AppendTextElement(name, "last", Field(StudentField::kLastName));
  const std::string& course = Field(StudentField::kCourse);
  if (!course.empty()) {
    if (courses && !CourseListHas(*courses, course)) {
      Raise(kSaveInvalidCourse, "Invalid course ID", kSaveSource);
    }
    AppendTextElement(node, "classRef", course);
  }
  const std::string& section = Field(StudentField::kSection);
  if (!section.empty()) {
    if (courses) {
      const Ref<Object> found = FindCourse(*courses, course);
      if (!found || !FindSection(*found, section)) {
        Raise(kSaveInvalidSection, "Invalid Section reference", kSaveSource);
      }
    }
    AppendTextElement(node, "sectionRef", section);
  }
  AppendTextElement(node, "username", UserName());
  if (!digest_.empty()) AppendTextElement(node, "password", digest_);
  return true;
}

bool Student::Validate(Object* courses, int32_t& code, std::string& description) const {
  const std::string& course = Field(StudentField::kCourse);
  Ref<Object> course_object;
  if (!course.empty() && courses) {
    if (!CourseListHas(*courses, course)) {
      code = kValidateCourseInvalid;
      description = "Course is invalid - " + course;
      return false;
    }
    course_object = FindCourse(*courses, course);
  }
  const std::string& section = Field(StudentField::kSection);
  if (course_object && !section.empty() && !FindSection(*course_object, section)) {
    code = kValidateSectionInvalid;
    description = "Section is invalid - " + section;
    return false;
  }
  if (TrimBlanks(UserName()).empty()) {
    code = kValidateUserNameRequired;
    description = "Username is required";
    return false;
  }
  return true;
}

Ref<Student> Student::Clone() const {
  Ref<Student> copy = NewStudent();
  copy->fields_ = fields_;
  copy->id_set_ = true;
  // The copy keeps the password check of the original: a copy that
  // accepted any password would let anyone in as this student once it
  // replaced the original in a roster.
  copy->SetEncryptedPassword(digest_);
  copy->has_password_ = has_password_;
  return copy;
}

bool Student::ScriptLoadFromXmlNode(const Variant& node, const Variant& courses) {
  return LoadFromXml(DomNodeArgument(node), CourseListArgument(courses));
}

bool Student::ScriptSaveToXmlNode(const Variant& node, const Variant& doc,
                                  const Variant& courses) const {
  const XmlNode element = DomNodeArgument(node);
  // The elements are made on the node's own document, which is the one a
  // caller passes as theDoc; anything else there is still refused.
  (void)DomDocumentArgument(doc);
  return SaveToXml(element, CourseListArgument(courses));
}

bool Student::ScriptValidate(const Variant& courses, Variant& code, Variant& description) const {
  int32_t error_code = 0;
  std::string error_text;
  if (Validate(CourseListArgument(courses), error_code, error_text)) return true;
  code = Variant(error_code);
  description = Variant(std::move(error_text));
  return false;
}

namespace {

template <StudentField kField>
std::string GetField(Student& student) {
  return student.Field(kField);
}
template <StudentField kField>
void LetField(Student& student, const std::string& value) {
  student.SetField(kField, value);
}

}  // namespace

// The members in the order of the class's automation interface.
NORWIN_CLASS(Student) {
  PropertyRW("StudentID", &GetField<StudentField::kStudentId>, &LetField<StudentField::kStudentId>);
  PropertyRW("LastName", &GetField<StudentField::kLastName>, &LetField<StudentField::kLastName>);
  PropertyRW("Section", &GetField<StudentField::kSection>, &LetField<StudentField::kSection>);
  PropertyRW("Course", &GetField<StudentField::kCourse>, &LetField<StudentField::kCourse>);
  PropertyRW("FirstName", &GetField<StudentField::kFirstName>, &LetField<StudentField::kFirstName>);
  PropertyRW("MiddleInit", &GetField<StudentField::kMiddleInit>,
             &LetField<StudentField::kMiddleInit>);
  PropertyRW("UserName", &GetField<StudentField::kUserName>, &LetField<StudentField::kUserName>);
  PropertyRW("hasPassword", &Student::HasPassword, &Student::SetHasPassword);
  Method("CheckPassword", &Student::CheckPassword);
  Method("SetPassword", &Student::SetPassword);
  Method("SetEncryptedPassword", &Student::SetEncryptedPassword);
  Method("LoadFromXMLNode", &Student::ScriptLoadFromXmlNode,
         automation::Optional("Courses", Variant::Null()));
  Method("SaveToXMLNode", &Student::ScriptSaveToXmlNode,
         automation::Optional("Courses", Variant::Null()));
  Method("GetPropertyIndex",
         [](Student&, const std::string& name) { return StudentFieldIndex(name); });
  Method("GetProperty", &Student::GetProperty);
  Method("Clone", &Student::ScriptClone);
  Method("Validate", &Student::ScriptValidate);
}

}  // namespace norwin::datalayer
