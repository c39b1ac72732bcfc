// `VelloraLiveEx` (NorwinPellam2003.VelloraLiveEx): the submission document
// of one live exercise, issued by the course-management server, and the
// sender of its percentage score back to that server.
//
// The document (root VUDUD_INPUTS) names the submit host, a backup host and,
// in its `liveExercise` element, the exercise, course, student and
// assignment. Load reads it from the server (with the access key of
// vellora_submission.h) or from a local file; Save writes it back to a file
// or a server address, or, under an empty file name, posts the result form
// to the submit host, retrying: five attempts, the third and fifth to the
// backup host, ten seconds apart (through the clock source of
// norwin/platform/clock.h, while window events are processed), each failure
// explained in a message box.
//
// Expected failures are results (false); a server that gives no answer to
// Load or to a write-back raises kServerNotReached, a local file that cannot
// be written kLocalWriteFailed, a `score` that is no number runtime error 13.
// One thread at a time, as every automation object.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "norwin/automation/binder.h"
#include "norwin/automation/object.h"
#include "norwin/datalayer/vellora_submission.h"
#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {

// The sender's attempts, and the pause after each failed one but the last.
inline constexpr int kLiveExAttempts = 5;
inline constexpr std::chrono::seconds kLiveExRetryPause{10};

// Captions and texts of the sender's messages.
inline constexpr std::string_view kLiveExErrorCaption = "Norwin.dll error msg";
inline constexpr std::string_view kLiveExNoticeCaption = "Pellam Message";
inline constexpr std::string_view kLiveExRefusedText = "Vellora server response:\r\n\r\n";
inline constexpr std::string_view kLiveExNotSentText = "Vellora server returned error:\r\n\r\n";
inline constexpr std::string_view kLiveExRetryText =
    "Sending results to Vellora failed.  I'll try again in 10 seconds.\r\n\r\n"
    "Please do not close the application during this time.";
inline constexpr std::string_view kLiveExGaveUpText =
    "Sending results to Vellora failed.  Please alert your instructor";

class VelloraLiveEx : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  // ---- Properties (all start empty, Score 0) ----
  const std::string& CourseId() const { return course_id_; }
  void SetCourseId(const std::string& value) { course_id_ = value; }
  const std::string& ExamId() const { return exam_id_; }
  void SetExamId(const std::string& value) { exam_id_ = value; }
  const std::string& AssignmentId() const { return assignment_id_; }
  void SetAssignmentId(const std::string& value) { assignment_id_ = value; }
  // Kept for the page; not part of the document.
  const std::string& CourseName() const { return course_name_; }
  void SetCourseName(const std::string& value) { course_name_ = value; }
  // The percentage score.
  double Score() const { return score_; }
  void SetScore(double value) { score_ = value; }
  // The date of completion as text; not part of the document. When it is no
  // valid date, the form carries the moment of sending.
  const std::string& CompletionDate() const { return completion_date_; }
  void SetCompletionDate(const std::string& value) { completion_date_ = value; }
  const std::string& SubmitHost() const { return submit_host_; }
  void SetSubmitHost(const std::string& value) { submit_host_ = value; }
  const std::string& SubmitBackupHost() const { return submit_backup_host_; }
  void SetSubmitBackupHost(const std::string& value) { submit_backup_host_ = value; }
  const std::string& StudentId() const { return student_id_; }
  void SetStudentId(const std::string& value) { student_id_ = value; }
  // The text of the whole document as last loaded.
  const std::string& TheXml() const { return the_xml_; }
  void SetTheXml(const std::string& value) { the_xml_ = value; }
  // The key chosen by the last Load; empty before any.
  const std::string& access_key() const { return access_key_; }

  // ---- Loading ----
  // Chooses the access key for `ini_location` (ChooseAccessKey), reads the
  // document at `filename` (LoadSubmissionDocument) and its fields. False,
  // with the properties as they were, when the document cannot be read, its
  // root element is not VUDUD_INPUTS (an error page in XHTML), or it is
  // marked as sent (IsSubmissionDocumentSent).
  bool Load(std::string_view filename, std::string_view ini_location);
  // Reads the fields of the VUDUD_INPUTS element `root`; missing elements
  // leave their properties as they are. A `SUBMIT_HOST` inside
  // `liveExercise` is read first, a root-level SUBMIT_HOST_V3 wins over it.
  // Always true; raises 13 for a `score` that is no number (nothing is
  // changed then).
  bool LoadFromXml(XmlNode root, std::string_view url);

  // ---- Writing ----
  // Appends SUBMIT_HOST_V3, SUBMIT_HOST_V3_BACKUP and `liveExercise` (id,
  // courseId, studentId, assignmentId, score) to `root`.
  void SaveToXml(XmlNode root) const;
  // Empty `filename`: submits the score (see SubmitScore). Otherwise writes
  // the document back (StoreSubmissionDocument).
  bool Save(std::string_view filename);
  // The result form: student_id, exercise_id, assignment_id, course_id,
  // testDate ("December 7, 2026"), testTime ("03:04:05PM"), result (the
  // score's text form) and key.
  std::string FormBody() const;
  // Posts the form up to kLiveExAttempts times (attempts 3 and 5 to the
  // backup host, or to the submit host when there is no backup host),
  // showing the messages above; kAccepted as soon as the server accepts it.
  // After the last attempt: kNotReached when no attempt reached the server
  // (PostOutcome::reached), else kRefused.
  SubmitResult SubmitScore();

  // False for a server address; otherwise whether the local file went.
  bool Delete(std::string_view filename);

 private:
  std::string course_id_;
  std::string exam_id_;
  std::string assignment_id_;
  std::string course_name_;
  double score_ = 0;
  std::string completion_date_;
  std::string submit_host_;
  std::string submit_backup_host_;
  std::string student_id_;
  std::string the_xml_;
  std::string access_key_;
};

}  // namespace norwin::datalayer
