// `ExamInfo` (NorwinPellam2003.ExamInfo): the handle of one exam in a listing
// that goes with a student's results: title, file and folder as a
// TitleFilename has them, plus the attempt, the percentage correct, the first
// question and where the exam came from (ExamSources).
#pragma once

#include <cstdint>
#include <string>

#include "norwin/automation/binder.h"
#include "norwin/automation/object.h"

namespace norwin::datalayer {

class ExamInfo : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title) { title_ = title; }
  const std::string& Filename() const { return filename_; }
  void SetFilename(const std::string& filename) { filename_ = filename; }
  const std::string& Directory() const { return directory_; }
  void SetDirectory(const std::string& directory) { directory_ = directory; }
  int16_t Attempt() const { return attempt_; }
  void SetAttempt(int16_t attempt) { attempt_ = attempt; }
  double PctCorrect() const { return pct_correct_; }
  void SetPctCorrect(double pct) { pct_correct_ = pct; }
  const std::string& FirstQuestionID() const { return first_question_id_; }
  void SetFirstQuestionID(const std::string& id) { first_question_id_ = id; }
  int16_t Source() const { return source_; }
  void SetSource(int16_t source) { source_ = source; }

  // Sets all seven; true.
  bool SetValues(std::string title, std::string directory, std::string filename, int16_t attempt,
                 double pct_correct, std::string first_question_id, int16_t source);

  // Fetches the exam (FetchHandleRecord, title_filename.h) and takes its
  // `title` (when present), the root's `pctCorrect` (when present) and the
  // first `questionRef`'s text (when present), with filename and Directory;
  // Attempt and Source stay. False, changing nothing, when the record does
  // not load. A `pctCorrect` that is no number raises 13 and changes nothing.
  bool LoadValues(const std::string& directory, const std::string& filename,
                  const std::string& obj_name);

 private:
  std::string title_;
  std::string filename_;
  std::string directory_;
  int16_t attempt_ = 0;
  double pct_correct_ = 0;
  std::string first_question_id_;
  int16_t source_ = 0;
};

}  // namespace norwin::datalayer
