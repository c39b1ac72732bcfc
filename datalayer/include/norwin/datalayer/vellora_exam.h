// `VelloraExam` (NorwinPellam2003.VelloraExam): the submission document of
// one exam assignment (see vellora_assignment.h) with the exam, kept under
// COURSE as EXAM_LIST/EXAM, and the sender of the student's answers.
//
// The result form: student_id, exam_id, assignment_id (the exam's
// ExternalID), ttTaskTime (TimeExpired), key, then for each question in the
// exam's order, numbered from 0: question_idN, document_scoreN (Correct;
// an unanswered -1 goes as 0), attemptsN and remediationN.
#pragma once

#include <string>
#include <string_view>

#include "norwin/automation/binder.h"
#include "norwin/datalayer/exam.h"
#include "norwin/datalayer/preferences.h"
#include "norwin/datalayer/vellora_assignment.h"

namespace norwin::datalayer {

class VelloraExam : public VelloraAssignment {
 public:
  NORWIN_BOUND_CLASS();

  // The exam, made on first use.
  automation::Ref<Exam> TheExam();
  void SetTheExam(automation::Ref<Exam> exam) { exam_ = std::move(exam); }

  // Saves as Save does with `other` in place of the exam; the exam is put
  // back afterwards, also when saving raises.
  bool SaveOtherExam(std::string_view filename, automation::Ref<Exam> other,
                     bool suppress_server_error_msg);
  // Hands `prefs` to the exam (Exam::SetPreferences).
  void SetPreferences(automation::Ref<Preferences> prefs);

  std::string FormBody() override;

 protected:
  bool LoadRecord(XmlNode course, const automation::Variant& pool, std::string_view url) override;
  bool SaveRecord(XmlNode course) override;

 private:
  automation::Ref<Exam> exam_;
};

}  // namespace norwin::datalayer
