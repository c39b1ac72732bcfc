#include "norwin/datalayer/vellora_assignment.h"

#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/vellora_submission.h"

namespace norwin::datalayer {

namespace {

constexpr std::string_view kStudentElement = "STUDENT";
constexpr std::string_view kInstructorElement = "INSTRUCTOR";
constexpr std::string_view kFirstNameElement = "str_FirstName";
constexpr std::string_view kLastNameElement = "str_LastName";

}  // namespace

bool VelloraAssignment::Load(std::string_view filename, const automation::Variant& pool,
                             std::string_view ini_location) {
  access_key_ = std::string(ChooseAccessKey(ini_location));
  XmlDocument doc;
  if (!LoadSubmissionDocument(doc, filename, access_key_)) return false;
  // A well-formed document of another kind (an error page in XHTML) is no
  // submission document: taking it would send the results nowhere.
  const XmlNode course = CheckDom(doc.SelectSingleNode("/VUDUD_INPUTS/COURSE_LIST/COURSE"));
  if (course.IsNull()) return false;
  the_xml_ = doc.Xml();
  return LoadFromXml(course, pool, filename);
}

bool VelloraAssignment::LoadFromXml(XmlNode course, const automation::Variant& pool,
                                    std::string_view url) {
  ReadAttributeText(course, "ID", course_id_);
  ReadChildText(course, "str_Name", course_name_);
  // The older name first, so that the current one wins when both are there.
  ReadChildText(course, kOldSubmitHostElement, submit_host_);
  ReadChildText(course, kSubmitHostElement, submit_host_);
  ReadChildText(course, kSubmitBackupHostElement, submit_backup_host_);
  ReadChildText(course, "CURRENT_LOCATION", current_location_);
  const XmlNode student = CheckDom(course.SelectSingleNode(kStudentElement));
  ReadAttributeText(student, "ID", student_id_);
  ReadChildText(student, kFirstNameElement, student_first_name_);
  ReadChildText(student, kLastNameElement, student_last_name_);
  const XmlNode instructor = CheckDom(course.SelectSingleNode(kInstructorElement));
  ReadChildText(instructor, kFirstNameElement, instructor_first_name_);
  ReadChildText(instructor, kLastNameElement, instructor_last_name_);
  ReadChildText(instructor, "HOST", instructor_host_);
  return LoadRecord(course, pool, url);
}

bool VelloraAssignment::SaveToXml(XmlNode course) {
  SetAttributeText(course, "ID", course_id_);
  AppendTextElement(course, "str_Name", course_name_);
  AppendTextElement(course, kSubmitHostElement, submit_host_);
  AppendTextElement(course, kSubmitBackupHostElement, submit_backup_host_);
  AppendTextElement(course, "CURRENT_LOCATION", current_location_);
  const XmlNode student = AppendElement(course, kStudentElement);
  SetAttributeText(student, "ID", student_id_);
  AppendTextElement(student, kFirstNameElement, student_first_name_);
  AppendTextElement(student, kLastNameElement, student_last_name_);
  const XmlNode instructor = AppendElement(course, kInstructorElement);
  AppendTextElement(instructor, kFirstNameElement, instructor_first_name_);
  AppendTextElement(instructor, kLastNameElement, instructor_last_name_);
  AppendTextElement(instructor, "HOST", instructor_host_);
  return SaveRecord(course);
}

bool VelloraAssignment::Save(std::string_view filename, bool suppress_server_error_msg) {
  XmlDocument doc;
  const XmlNode root = NewRecordRoot(doc, kSubmissionRoot);
  const XmlNode course = AppendElement(AppendElement(root, kCourseListElement), kCourseElement);
  if (!SaveToXml(course)) return false;
  if (filename.empty()) return Submit(suppress_server_error_msg);
  return StoreSubmissionDocument(doc, filename);
}

bool VelloraAssignment::Submit(bool suppress_server_error_msg) {
  const PostOutcome outcome = PostResultForm(submit_host_, FormBody());
  if (outcome.accepted()) return true;
  // No exchange took place: there is no server text to show.
  if (outcome.stage != PostStage::kAnswered) return false;
  if (suppress_server_error_msg) {
    server_error_str_ = outcome.reply;
  } else {
    ShowSubmissionMessage(SubmitFailedMessage(submit_host_, outcome.reply), kSubmissionCaption);
  }
  return false;
}

bool VelloraAssignment::Delete(std::string_view filename) {
  return DeleteSubmissionDocument(filename);
}

}  // namespace norwin::datalayer
