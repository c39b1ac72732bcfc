#include "norwin/datalayer/live_ex_score.h"

#include "norwin/datalayer/library_classes.h"

namespace norwin::datalayer {

automation::Ref<LiveExScore> NewLiveExScore() {
  const automation::Ref<automation::Object> object = CreateRecordObject("LiveExScore");
  // The table makes the class itself; anything else is a broken build.
  return automation::Ref<LiveExScore>(&dynamic_cast<LiveExScore&>(*object));
}

automation::Ref<LiveExScore> LiveExScore::Clone() const {
  automation::Ref<LiveExScore> copy = NewLiveExScore();
  copy->id_ = id_;
  copy->exam_id_ = exam_id_;
  copy->correct_ = correct_;
  copy->attempts_ = attempts_;
  return copy;
}

NORWIN_CLASS(LiveExScore) {
  PropertyRW("ID", &LiveExScore::Id, &LiveExScore::SetId);
  PropertyRW("ExamID", &LiveExScore::ExamId, &LiveExScore::SetExamId);
  PropertyRW("Correct", &LiveExScore::Correct, &LiveExScore::SetCorrect);
  PropertyRW("Attempts", &LiveExScore::Attempts, &LiveExScore::SetAttempts);
  Method("Clone", &LiveExScore::Clone);
}

}  // namespace norwin::datalayer
