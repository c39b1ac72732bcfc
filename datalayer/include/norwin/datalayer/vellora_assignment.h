// What the exam's and the lesson's submission classes (VelloraExam,
// VelloraLesson) share: the submission document the course-management
// server issues for one assignment, with its course, student and instructor,
// and the sending of the results back.
//
// The document is VUDUD_INPUTS / COURSE_LIST / COURSE; COURSE (attribute
// ID) holds str_Name, SUBMIT_HOST_V3, SUBMIT_HOST_V3_BACKUP,
// CURRENT_LOCATION, STUDENT (attribute ID; str_FirstName, str_LastName),
// INSTRUCTOR (str_FirstName, str_LastName, HOST) and the element of the
// record the assignment is about, which the derived class reads and writes.
//
// Save writes the document back (a local file, or a server page that
// answers with empty text), or, under an empty file name, posts the result
// form to the submit host once: a reply beginning with "success" accepts it.
// A refusal is shown in a message box, or kept in ServerErrorStr when the
// caller asks for silence. One thread at a time, as every automation object.
#pragma once

#include <string>
#include <string_view>

#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"
#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {

// Element names of the assignment document.
inline constexpr std::string_view kCourseListElement = "COURSE_LIST";
inline constexpr std::string_view kCourseElement = "COURSE";

class VelloraAssignment : public automation::Object {
 public:
  // ---- Properties (all start empty) ----
  const std::string& CourseId() const { return course_id_; }
  void SetCourseId(const std::string& value) { course_id_ = value; }
  const std::string& CourseName() const { return course_name_; }
  void SetCourseName(const std::string& value) { course_name_ = value; }
  const std::string& SubmitHost() const { return submit_host_; }
  void SetSubmitHost(const std::string& value) { submit_host_ = value; }
  // Kept and written back; the exam and lesson senders post to SubmitHost only.
  const std::string& SubmitBackupHost() const { return submit_backup_host_; }
  void SetSubmitBackupHost(const std::string& value) { submit_backup_host_ = value; }
  // Kept and written back; its meaning is the server's.
  const std::string& CurrentLocation() const { return current_location_; }
  void SetCurrentLocation(const std::string& value) { current_location_ = value; }
  const std::string& StudentId() const { return student_id_; }
  void SetStudentId(const std::string& value) { student_id_ = value; }
  const std::string& StudentFirstName() const { return student_first_name_; }
  void SetStudentFirstName(const std::string& value) { student_first_name_ = value; }
  const std::string& StudentLastName() const { return student_last_name_; }
  void SetStudentLastName(const std::string& value) { student_last_name_ = value; }
  const std::string& InstructorFirstName() const { return instructor_first_name_; }
  void SetInstructorFirstName(const std::string& value) { instructor_first_name_ = value; }
  const std::string& InstructorLastName() const { return instructor_last_name_; }
  void SetInstructorLastName(const std::string& value) { instructor_last_name_ = value; }
  const std::string& InstructorHost() const { return instructor_host_; }
  void SetInstructorHost(const std::string& value) { instructor_host_ = value; }
  // The text of the whole document as last loaded.
  const std::string& TheXml() const { return the_xml_; }
  void SetTheXml(const std::string& value) { the_xml_ = value; }
  // The reply of the last refused submission made with the message
  // suppressed; a later success does not clear it.
  const std::string& ServerErrorStr() const { return server_error_str_; }
  void SetServerErrorStr(const std::string& value) { server_error_str_ = value; }
  // The key chosen by the last Load; empty before any (then the form
  // carries an empty key).
  const std::string& access_key() const { return access_key_; }

  // ---- Loading ----
  // Chooses the access key for `ini_location`, reads the document at
  // `filename` (a local file, or the server's answer to the keyed address)
  // and its COURSE element. False, with the properties as they were, when
  // the document cannot be read or holds no VUDUD_INPUTS/COURSE_LIST/COURSE.
  bool Load(std::string_view filename, const automation::Variant& pool,
            std::string_view ini_location);
  // Reads the fields of `course` (a missing element leaves its property as
  // it is; SUBMIT_HOST_V3 wins over the older SUBMIT_HOST) and then the
  // record's element, with `pool` and `url` handed to the record. True when
  // there is no record element.
  bool LoadFromXml(XmlNode course, const automation::Variant& pool, std::string_view url);

  // ---- Writing ----
  // Puts the ID attribute and the fields on `course`, then the record's
  // element; false when the record did not write itself.
  bool SaveToXml(XmlNode course);
  // Empty `filename`: posts the result form (see Submit). Otherwise builds
  // the document and writes it back to the file or server page.
  bool Save(std::string_view filename, bool suppress_server_error_msg);
  // False for a server address; otherwise whether the local file went.
  bool Delete(std::string_view filename);

  // The result form of the assignment, as posted.
  virtual std::string FormBody() = 0;

 protected:
  VelloraAssignment() = default;

  // Reads the record from its element under `course` (none there: true).
  virtual bool LoadRecord(XmlNode course, const automation::Variant& pool,
                          std::string_view url) = 0;
  // Appends the record's element to `course`; false when the record did
  // not write itself.
  virtual bool SaveRecord(XmlNode course) = 0;

 private:
  // Posts FormBody() to SubmitHost once; true when the server accepts it.
  bool Submit(bool suppress_server_error_msg);

  std::string course_id_;
  std::string course_name_;
  std::string submit_host_;
  std::string submit_backup_host_;
  std::string current_location_;
  std::string student_id_;
  std::string student_first_name_;
  std::string student_last_name_;
  std::string instructor_first_name_;
  std::string instructor_last_name_;
  std::string instructor_host_;
  std::string the_xml_;
  std::string server_error_str_;
  std::string access_key_;
};

}  // namespace norwin::datalayer
