// `Student` (NorwinPellam2003.Student): one entry of a class roster (the
// `student` element of the roster document): identifiers, name, course and
// section, user name and password digest.
//
// The seven text properties also form a property array of eleven slots
// (GetProperty), in the order of StudentField; slots 7 to 10 are unused and
// read as "". Passwords are kept only as their digest (password_digest.h);
// `hasPassword` tells whether one is held, and a student without one
// accepts any password.
//
// Course and section references are checked against a course list passed
// in by the caller (course_references.h) when one is given; with Null they
// are taken as they are. Errors are raised as AutomationError with the
// object-error numbers below, the texts page script shows, and the sources
// named there.
//
// One thread at a time, as every automation object.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "norwin/automation/binder.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"
#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {

struct RecordField;
struct RecordListShape;

// The slots of the property array, as GetPropertyIndex numbers them.
enum class StudentField : int16_t {
  kStudentId = 0,
  kLastName = 1,
  kFirstName = 2,
  kMiddleInit = 3,
  kCourse = 4,
  kSection = 5,
  kUserName = 6,
};
inline constexpr int kStudentFieldCount = 7;
// The highest index GetProperty accepts.
inline constexpr int kStudentPropertySlots = 11;

// Object-error numbers (add automation::kObjectErrorBase).
inline constexpr int32_t kInvalidClassReference = 631;    // loading: classRef not in the list
inline constexpr int32_t kSectionWithoutClass = 632;      // loading: sectionRef, no course found
inline constexpr int32_t kInvalidSectionReference = 633;  // loading: sectionRef not in the course
inline constexpr int32_t kSaveInvalidCourse = 641;        // saving: Course not in the list
inline constexpr int32_t kSaveInvalidSection = 642;       // saving: Section not in the course
inline constexpr int32_t kDuplicateStudent = 635;         // roster: user name or ID taken
// Validate's codes.
inline constexpr int32_t kValidateCourseInvalid = 631;
inline constexpr int32_t kValidateSectionInvalid = 633;
inline constexpr int32_t kValidateUserNameRequired = 636;

// The slot that `name` names (without regard to case: "lastname" is 1);
// -1 for any other name.
int16_t StudentFieldIndex(std::string_view name);

class Student;

// A roster file's shape as a RecordList: a student's fields, in the order
// Student::LoadFromRecord takes them.
const RecordListShape& StudentRecordShape();
// Where the StudentID and the user name are among them.
inline constexpr size_t kStudentRecordIdSlot = 0;
inline constexpr size_t kStudentRecordUserSlot = 3;

// A new, empty Student made through the library's class table, so that it
// counts as one of the library's live objects.
automation::Ref<Student> NewStudent();

class Student : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  Student() = default;

  // ---- The text properties ----
  const std::string& Field(StudentField field) const { return fields_[static_cast<size_t>(field)]; }
  void SetField(StudentField field, std::string value);

  const std::string& StudentID() const { return Field(StudentField::kStudentId); }
  const std::string& UserName() const { return Field(StudentField::kUserName); }

  // ---- Passwords ----
  bool HasPassword() const { return has_password_; }
  void SetHasPassword(bool has_password) { has_password_ = has_password; }
  const std::string& PasswordDigest() const { return digest_; }
  // True when the student has no password, else whether the digest of
  // `password` is the one held. Raises what EncryptPassword raises.
  bool CheckPassword(std::string_view password) const;
  // Holds the digest of `password`; an empty one removes the password.
  void SetPassword(std::string_view password);
  // Holds `digest` as it is; the student has a password exactly when it is
  // not empty.
  void SetEncryptedPassword(std::string digest);

  // ---- The property array ----
  // Slot `index` (0 to 10); slot 0 is Empty until a StudentID is given.
  // Raises runtime error 9 for any other index.
  automation::Variant GetProperty(int16_t index) const;

  // ---- XML ----
  // Fills the student from its `student` element `node`. With a course list
  // (see CourseListArgument) the references are checked and raise 631, 632
  // or 633 (source "student:LoadFromXMLNode"); the `id` element is required
  // (runtime error 91 when missing). Returns true.
  bool LoadFromXml(XmlNode node, automation::Object* courses);
  // The same from the fields of a `student` element as RecordList reads
  // them (StudentRecordShape()).
  bool LoadFromRecord(std::span<const RecordField> fields, automation::Object* courses);
  // Appends the student's elements to `node` (a `student` element). With a
  // course list, a course not in it raises 641 and a section not in that
  // course 642 (source "Student:SaveToXMLNode"). Returns true.
  bool SaveToXml(XmlNode node, automation::Object* courses) const;

  // ---- Checks and copies ----
  // Whether the student may join a roster: the course in the list (631),
  // the section in that course (633), a user name that is not blank (636).
  // On failure sets `code` and `description` and returns false. Without a
  // course list only the user name is checked.
  bool Validate(automation::Object* courses, int32_t& code, std::string& description) const;
  // A new student with the same properties and password.
  automation::Ref<Student> Clone() const;

  // ---- The script-facing forms of the members above ----
  bool ScriptValidate(const automation::Variant& courses, automation::Variant& code,
                      automation::Variant& description) const;
  bool ScriptLoadFromXmlNode(const automation::Variant& node, const automation::Variant& courses);
  bool ScriptSaveToXmlNode(const automation::Variant& node, const automation::Variant& doc,
                           const automation::Variant& courses) const;
  automation::Ref<Student> ScriptClone() const { return Clone(); }

 private:
  std::array<std::string, kStudentFieldCount> fields_;
  // Slot 0 reads as Empty until a StudentID is set, as the array starts.
  bool id_set_ = false;
  bool has_password_ = false;
  std::string digest_;
  // The course and section found while loading with a course list; kept
  // while the student lives, never stored.
  automation::Ref<automation::Object> course_ref_;
  automation::Ref<automation::Object> section_ref_;
};

}  // namespace norwin::datalayer
