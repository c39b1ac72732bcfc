#include "norwin/datalayer/vellora_live_ex.h"

#include <optional>
#include <utility>

#include "norwin/automation/convert.h"
#include "norwin/automation/date.h"
#include "norwin/automation/error.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/vellora_submission.h"
#include "norwin/datalayer/xml_dom_objects.h"
#include "norwin/platform/clock.h"

namespace norwin::datalayer {

namespace {

using automation::Variant;

constexpr std::string_view kLiveExerciseElement = "liveExercise";

constexpr std::string_view kMonthNames[] = {"January",   "February", "March",    "April",
                                            "May",       "June",     "July",     "August",
                                            "September", "October",  "November", "December"};

void AppendTwoDigits(std::string& text, int value) {
  text.push_back(static_cast<char>('0' + value / 10 % 10));
  text.push_back(static_cast<char>('0' + value % 10));
}

// The moment the form reports: the completion date when it is a valid
// date, else now.
platform::LocalDateTime CompletionMoment(const std::string& completion_date) {
  if (const std::optional<automation::Date> date = automation::ParseDate(completion_date)) {
    const automation::DateParts parts = automation::SplitDate(*date);
    platform::LocalDateTime moment;
    moment.year = parts.year;
    moment.month = parts.month;
    moment.day = parts.day;
    moment.hour = parts.hour;
    moment.minute = parts.minute;
    moment.second = parts.second;
    return moment;
  }
  return platform::Source().LocalNow();
}

// "December 7, 2026": full month name, day without a leading zero, year.
std::string TestDate(const platform::LocalDateTime& moment) {
  std::string text(kMonthNames[(moment.month - 1) % 12]);
  text.push_back(' ');
  text.append(std::to_string(moment.day));
  text.append(", ");
  text.append(std::to_string(moment.year));
  return text;
}

// "03:04:05PM": two-digit hours of a 12-hour clock, minutes and seconds,
// then AM or PM without a blank.
std::string TestTime(const platform::LocalDateTime& moment) {
  const int hour12 = moment.hour % 12 == 0 ? 12 : moment.hour % 12;
  std::string text;
  AppendTwoDigits(text, hour12);
  text.push_back(':');
  AppendTwoDigits(text, moment.minute);
  text.push_back(':');
  AppendTwoDigits(text, moment.second);
  text.append(moment.hour < 12 ? "AM" : "PM");
  return text;
}

}  // namespace

bool VelloraLiveEx::Load(std::string_view filename, std::string_view ini_location) {
  access_key_ = std::string(ChooseAccessKey(ini_location));
  XmlDocument doc;
  if (!LoadSubmissionDocument(doc, filename, access_key_)) return false;
  // A well-formed document of another kind (an error page in XHTML) is no
  // submission document: reading nothing from it would send the results
  // nowhere.
  const XmlNode root = doc.DocumentElement();
  if (root.NodeName() != kSubmissionRoot) return false;
  // A document that served its submission once never sends another.
  std::string xml = doc.Xml();
  if (IsSubmissionDocumentSent(filename, xml)) return false;
  // The fields come first: a document whose fields do not read leaves
  // theXML as it was too.
  const bool loaded = LoadFromXml(root, filename);
  the_xml_ = std::move(xml);
  return loaded;
}

bool VelloraLiveEx::LoadFromXml(XmlNode root, std::string_view /*url*/) {
  const XmlNode exercise = CheckDom(root.SelectSingleNode(kLiveExerciseElement));
  std::optional<double> score;
  if (std::optional<std::string> text = ChildText(exercise, "score")) {
    const std::optional<double> number = automation::ParseNumber(*text);
    if (!number) {
      throw automation::AutomationError(
          automation::HResultFromRuntimeError(automation::kTypeMismatch),
          "The score of the live exercise is no number: \"" + *text + "\"");
    }
    score = *number;
  }
  ReadChildText(exercise, "id", exam_id_);
  ReadChildText(exercise, "courseId", course_id_);
  ReadChildText(exercise, "studentId", student_id_);
  ReadChildText(exercise, "assignmentId", assignment_id_);
  if (score) score_ = *score;
  // The older element inside the exercise first, so that the root's own
  // wins when both are there.
  ReadChildText(exercise, kOldSubmitHostElement, submit_host_);
  ReadChildText(root, kSubmitHostElement, submit_host_);
  ReadChildText(root, kSubmitBackupHostElement, submit_backup_host_);
  return true;
}

void VelloraLiveEx::SaveToXml(XmlNode root) const {
  AppendTextElement(root, kSubmitHostElement, submit_host_);
  AppendTextElement(root, kSubmitBackupHostElement, submit_backup_host_);
  const XmlNode exercise = AppendElement(root, kLiveExerciseElement);
  AppendTextElement(exercise, "id", exam_id_);
  AppendTextElement(exercise, "courseId", course_id_);
  AppendTextElement(exercise, "studentId", student_id_);
  AppendTextElement(exercise, "assignmentId", assignment_id_);
  AppendValueElement(exercise, "score", Variant(score_));
}

bool VelloraLiveEx::Save(std::string_view filename) {
  XmlDocument doc;
  SaveToXml(NewRecordRoot(doc, kSubmissionRoot));
  if (filename.empty()) return SubmitScore() == SubmitResult::kAccepted;
  return StoreSubmissionDocument(doc, filename);
}

std::string VelloraLiveEx::FormBody() const {
  const platform::LocalDateTime moment = CompletionMoment(completion_date_);
  ResultForm form(ResultForm::Lead::kSeparator);
  form.Add("student_id", student_id_)
      .Add("exercise_id", exam_id_)
      .Add("assignment_id", assignment_id_)
      .Add("course_id", course_id_)
      .Add("testDate", TestDate(moment))
      .Add("testTime", TestTime(moment))
      // The score's own digits: the server reads a number.
      .Add("result", automation::FormatNumber(score_))
      .Add("key", access_key_);
  return form.body();
}

SubmitResult VelloraLiveEx::SubmitScore() {
  const std::string body = FormBody();
  bool refused = false;
  bool unreached = false;
  for (int attempt = 1; attempt <= kLiveExAttempts; ++attempt) {
    // Without a backup host its turns go to the submit host, so that every
    // attempt has a chance.
    const bool backup_turn = attempt == 3 || attempt == 5;
    const std::string& host =
        backup_turn && !submit_backup_host_.empty() ? submit_backup_host_ : submit_host_;
    const PostOutcome outcome = PostResultForm(host, body);
    if (outcome.accepted()) return SubmitResult::kAccepted;
    (outcome.reached() ? refused : unreached) = true;
    switch (outcome.stage) {
      case PostStage::kAnswered:
        ShowSubmissionMessage(std::string(kLiveExRefusedText) + outcome.reply, kLiveExErrorCaption);
        break;
      case PostStage::kNotSent:
        ShowSubmissionMessage(std::string(kLiveExNotSentText) + outcome.reply, kLiveExErrorCaption);
        break;
      case PostStage::kNotOpened:
        break;
    }
    // After the last attempt there is nothing to wait for: the user learns
    // at once that the results did not go.
    if (attempt < kLiveExAttempts) {
      ShowSubmissionMessage(kLiveExRetryText, kLiveExNoticeCaption);
      platform::Source().Sleep(kLiveExRetryPause, platform::WaitEvents::kProcess);
    }
  }
  ShowSubmissionMessage(kLiveExGaveUpText, kLiveExNoticeCaption);
  // A server that looked at the results and turned them down would turn
  // them down again; only one that could not be reached may take them later.
  // A document without a host that can be opened never will.
  return unreached && !refused ? SubmitResult::kNotReached : SubmitResult::kRefused;
}

bool VelloraLiveEx::Delete(std::string_view filename) { return DeleteSubmissionDocument(filename); }

NORWIN_CLASS(VelloraLiveEx) {
  PropertyRW("CourseID", &VelloraLiveEx::CourseId, &VelloraLiveEx::SetCourseId);
  PropertyRW("ExamID", &VelloraLiveEx::ExamId, &VelloraLiveEx::SetExamId);
  PropertyRW("assignmentID", &VelloraLiveEx::AssignmentId, &VelloraLiveEx::SetAssignmentId);
  PropertyRW("courseName", &VelloraLiveEx::CourseName, &VelloraLiveEx::SetCourseName);
  PropertyRW("Score", &VelloraLiveEx::Score, &VelloraLiveEx::SetScore);
  PropertyRW("CompletionDate", &VelloraLiveEx::CompletionDate, &VelloraLiveEx::SetCompletionDate);
  PropertyRW("SubmitHost", &VelloraLiveEx::SubmitHost, &VelloraLiveEx::SetSubmitHost);
  PropertyRW("SubmitBackupHost", &VelloraLiveEx::SubmitBackupHost,
             &VelloraLiveEx::SetSubmitBackupHost);
  PropertyRW("StudentID", &VelloraLiveEx::StudentId, &VelloraLiveEx::SetStudentId);
  PropertyRW("theXML", &VelloraLiveEx::TheXml, &VelloraLiveEx::SetTheXml);
  Method("Load", &VelloraLiveEx::Load, automation::Optional("iniLocation", ""));
  Method("LoadFromXMLNode", [](VelloraLiveEx& self, const Variant& root, const std::string& url) {
    return self.LoadFromXml(DomNodeArgument(root), url);
  });
  Method("Save", &VelloraLiveEx::Save);
  Method("SaveToXMLNode", [](VelloraLiveEx& self, const Variant& root) {
    self.SaveToXml(DomNodeArgument(root));
    return true;
  });
  Method("Delete", [](VelloraLiveEx& self, const std::string& filename) {
    return Variant(self.Delete(filename));
  });
}

}  // namespace norwin::datalayer
