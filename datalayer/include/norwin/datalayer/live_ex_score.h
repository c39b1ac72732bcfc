// `LiveExScore` (NorwinPellam2003.LiveExScore): the result of one step of a
// live exercise, a member of LiveExResults' Scores collection, kept there
// under its ID.
//
// Plain values: nothing here fails. One thread at a time, as every
// automation object.
#pragma once

#include <cstdint>
#include <string>

#include "norwin/automation/binder.h"
#include "norwin/automation/object.h"

namespace norwin::datalayer {

class LiveExScore : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  // The step's identifier, a number as text.
  const std::string& Id() const { return id_; }
  void SetId(const std::string& value) { id_ = value; }
  // The live exercise the step belongs to.
  const std::string& ExamId() const { return exam_id_; }
  void SetExamId(const std::string& value) { exam_id_ = value; }
  bool Correct() const { return correct_; }
  void SetCorrect(bool value) { correct_ = value; }
  int16_t Attempts() const { return attempts_; }
  void SetAttempts(int16_t value) { attempts_ = value; }

  // A new score with the same four values, made through the library's
  // class table.
  automation::Ref<LiveExScore> Clone() const;

 private:
  std::string id_;
  std::string exam_id_;
  bool correct_ = false;
  int16_t attempts_ = 0;
};

// A new, empty LiveExScore made through the library's class table, so that
// it counts as one of the library's objects.
automation::Ref<LiveExScore> NewLiveExScore();

}  // namespace norwin::datalayer
