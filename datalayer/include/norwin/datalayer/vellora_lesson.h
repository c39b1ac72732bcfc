// `VelloraLesson` (NorwinPellam2003.VelloraLesson): the submission document
// of one lesson assignment (see vellora_assignment.h) with the lesson, kept
// under COURSE as LESSON (an older document's `lesson` is read too), and
// the sender of the completion of its tasks.
//
// The result form: studentName (first and last name joined without a
// blank), student_id, lesson_id, assignment_id (the lesson's ExternalID),
// moduleName (the lesson's Title), key, then for each task in the lesson's
// order, numbered from 0: task_idN and completedN ("Y" when the task has a
// completion date, else "N").
#pragma once

#include <string>
#include <string_view>

#include "norwin/automation/binder.h"
#include "norwin/datalayer/lesson.h"
#include "norwin/datalayer/vellora_assignment.h"

namespace norwin::datalayer {

class VelloraLesson : public VelloraAssignment {
 public:
  NORWIN_BOUND_CLASS();

  // The lesson, made on first use.
  automation::Ref<Lesson> TheLesson();
  void SetTheLesson(automation::Ref<Lesson> lesson) { lesson_ = std::move(lesson); }

  std::string FormBody() override;

 protected:
  bool LoadRecord(XmlNode course, const automation::Variant& pool, std::string_view url) override;
  bool SaveRecord(XmlNode course) override;

 private:
  automation::Ref<Lesson> lesson_;
};

}  // namespace norwin::datalayer
