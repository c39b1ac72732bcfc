// `Exam` (NorwinPellam2003.Exam): one exam, either its definition (a file
// named "<exam>_pmxm.xml" listing the questions to ask and the exam's
// preferences) or one student's attempt at it ("<exam>_pmxm_<student>_NN.xml",
// the same record plus the student, per-question results, completion state
// and score). Kept as a record of kind "Exam" (root `exam`).
//
// Questions are clones of a question pool's questions, kept under their IDs
// in presentation order. Scoring is the caller's: the exam stores, totals and
// reports the values it is given. An exam summary (LoadExamSummary) is an
// Exam whose question counters are totals over the students of a section.
// Collections and `Prefs` are made on first use.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "norwin/automation/binder.h"
#include "norwin/automation/collection.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"
#include "norwin/datalayer/preferences.h"
#include "norwin/datalayer/record_kinds.h"
#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {

// The values of ExamTypes.
enum class ExamType : int16_t {
  kAll = kExamTypeAll,
  kRaw = kExamTypeRaw,
  kStudent = kExamTypeStudent
};

// The file name of attempt `attempt` of `student_id` at the exam whose
// definition is `exam_base` without ".xml": exam_base & "_" & student & "_"
// & the attempt in at least two digits & ".xml".
std::string AttemptFilename(std::string_view exam_base, std::string_view student_id,
                            int16_t attempt);

class Exam : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  Exam();

  automation::Ref<automation::Collection> ExamAssignments();
  void SetExamAssignments(automation::Ref<automation::Collection> c) {
    exam_assignments_ = std::move(c);
  }
  automation::Ref<automation::Collection> Questions();
  void SetQuestions(automation::Ref<automation::Collection> c) { questions_ = std::move(c); }
  automation::Ref<Preferences> Prefs();
  void SetPrefs(automation::Ref<Preferences> prefs) { prefs_ = std::move(prefs); }

  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& v) { title_ = v; }
  const std::string& ExamID() const { return exam_id_; }
  void SetExamID(const std::string& v) { exam_id_ = v; }
  const std::string& ExternalID() const { return external_id_; }
  void SetExternalID(const std::string& v) { external_id_ = v; }
  int16_t CurrentQuestion() const { return current_question_; }
  void SetCurrentQuestion(int16_t v) { current_question_ = v; }
  int16_t TimeExpired() const { return time_expired_; }
  void SetTimeExpired(int16_t v) { time_expired_ = v; }
  const std::string& CompletionDate() const { return completion_date_; }
  void SetCompletionDate(const std::string& v) { completion_date_ = v; }
  bool Started() const { return started_; }
  void SetStarted(bool v) { started_ = v; }
  double PctCorrect() const { return pct_correct_; }
  void SetPctCorrect(double v) { pct_correct_ = v; }
  int16_t Source() const { return source_; }
  void SetSource(int16_t v) { source_ = v; }
  const std::string& ExamFileName() const { return exam_file_name_; }
  void SetExamFileName(const std::string& v) { exam_file_name_ = v; }
  const std::string& StudentID() const { return student_id_; }
  void SetStudentID(const std::string& v) { student_id_ = v; }
  bool IsChallenge() const { return is_challenge_; }
  void SetIsChallenge(bool v) { is_challenge_ = v; }

  // ---- Listings: new collections without keys ----
  // The exam files of `type` in a local folder (each opened for its title;
  // one that does not load is left out; empty when the folder does not
  // exist) or a server folder's listing (not opened) as TitleFilename.
  automation::Ref<automation::Collection> GetExams(const std::string& directory, int32_t type);
  // The same as ExamInfo, limited to the attempts of `student_id` unless it
  // is empty. `with_source`: the server's records carry the exam's Source.
  enum class InfoSource { kWithout, kWith };
  automation::Ref<automation::Collection> GetExamInfo(const std::string& directory,
                                                      const std::string& student_id, int32_t type,
                                                      InfoSource source);
  // The first attempts (attempt 01) of `student_id`, of everyone when empty.
  automation::Ref<automation::Collection> GetStudentExams(const std::string& directory,
                                                          const std::string& student_id);

  // ---- Loading and saving ----
  // Reads the record `filename`, taking its questions from `pool_questions`
  // (a question pool's Questions; null: questions carrying only their ID and
  // results). False when the document cannot be read or its `pref` is
  // refused. Remembers `filename` for Save's deleteOldIfChanged.
  bool Load(const std::string& filename, const automation::Ref<automation::Collection>& pool);
  // Reads the `exam` element `root`; see the header comment of the record.
  // Missing items leave their fields as they are; a question the pool does
  // not hold, a duplicate ID and a remediation of no held question are
  // skipped. False when the `pref` element is refused.
  bool LoadFromXml(XmlNode root, const automation::Ref<automation::Collection>& pool,
                   std::string_view filename);
  // Appends the attributes and children of the record to `root`; true.
  bool SaveToXml(XmlNode root);
  // Stores the record at `filename` (the storage raises when it cannot);
  // true. With kDeleteOld, the file the exam was loaded from is then deleted
  // when it is another one.
  enum class DeleteOld { kKeep, kDeleteIfChanged };
  bool Save(const std::string& filename, DeleteOld delete_old);
  // True when the record was deleted; Empty otherwise.
  automation::Variant Delete(const std::string& filename);

  // Moves, Count times, a randomly drawn question to the end (random
  // numbers from the process's source, platform/clock.h).
  void RandomizeQuestions();

  bool CheckPassword(const std::string& password);
  void SetPassword(const std::string& password);
  // Shares `prefs` (a new Preferences when null) and marks it not inherited.
  void SetPreferences(automation::Ref<Preferences> prefs);

  // Totals, per question ID, over the attempts `attempt` of the students of
  // a section: Attempts = students whose attempt holds the question, Correct
  // = those who answered it correctly. A server exam (`exam_id` a URL) asks
  // the server for the summary. False when the roster (or the server's
  // answer) cannot be read; students without a readable attempt are skipped.
  bool LoadExamSummary(const std::string& students_filename,
                       const automation::Ref<automation::Collection>& pool,
                       automation::Object* courses, const std::string& course_id,
                       const std::string& section_id, const std::string& exam_id, int16_t attempt);

 private:
  automation::Ref<automation::Collection> exam_assignments_;
  automation::Ref<automation::Collection> questions_;
  std::string title_;
  automation::Ref<Preferences> prefs_;
  std::string exam_id_;
  std::string external_id_;
  int16_t current_question_ = 0;
  int16_t time_expired_ = 0;
  std::string completion_date_;
  bool started_ = false;
  double pct_correct_ = 0;
  int16_t source_ = 0;
  std::string exam_file_name_;
  std::string student_id_;
  bool is_challenge_ = false;
  // Where Load last read the exam from, for Save's deleteOldIfChanged.
  std::string loaded_from_;
};

// The Questions of a question pool given by script: null for Null, Empty,
// Missing or Nothing; a pool of this library directly, any other object
// through its `Questions` property.
automation::Ref<automation::Collection> PoolQuestionsArgument(const automation::Variant& pool);

}  // namespace norwin::datalayer
