#include "norwin/datalayer/vellora_lesson.h"

#include <utility>

#include "../records/new_record_object.h"
#include "norwin/automation/date.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/task.h"
#include "norwin/datalayer/vellora_submission.h"
#include "vellora_assignment_members.h"

namespace norwin::datalayer {

namespace {

// The element the lesson is written under. Readers take LESSON first and
// an older document's `lesson` after it, so a written document reads back.
constexpr std::string_view kLessonElement = "LESSON";
constexpr std::string_view kOlderLessonElement = "lesson";

}  // namespace

automation::Ref<Lesson> VelloraLesson::TheLesson() {
  if (!lesson_) lesson_ = NewRecordObject<Lesson>("Lesson");
  return lesson_;
}

bool VelloraLesson::LoadRecord(XmlNode course, const automation::Variant& pool,
                               std::string_view url) {
  XmlNode element = CheckDom(course.SelectSingleNode(kLessonElement));
  if (element.IsNull()) element = CheckDom(course.SelectSingleNode(kOlderLessonElement));
  if (element.IsNull()) return true;
  return TheLesson()->LoadFromXml(element, pool, std::string(url));
}

bool VelloraLesson::SaveRecord(XmlNode course) {
  const XmlNode element = CheckDom(course.OwnerDocument()->CreateElement(kLessonElement));
  // The lesson goes in only when it wrote itself whole.
  if (!TheLesson()->SaveToXml(element)) return false;
  CheckDom(course.AppendChild(element));
  return true;
}

std::string VelloraLesson::FormBody() {
  const automation::Ref<Lesson> lesson = TheLesson();
  ResultForm form(ResultForm::Lead::kFirstField);
  form.Add("studentName", StudentFirstName() + StudentLastName())
      .Add("student_id", StudentId())
      .Add("lesson_id", lesson->LessonID())
      .Add("assignment_id", lesson->ExternalID())
      .Add("moduleName", lesson->Title())
      .Add("key", access_key());
  int index = 0;
  for (const Task& task : lesson->Tasks()->Objects<Task>()) {
    const bool done = task.CompletionDate() != automation::Date{};
    form.AddIndexed("task_id", index, task.ID()).AddIndexed("completed", index, done ? "Y" : "N");
    ++index;
  }
  return form.body();
}

NORWIN_CLASS(VelloraLesson) {
  BindAssignmentMembers(*this);
  PropertyRef("theLesson", &VelloraLesson::TheLesson, &VelloraLesson::SetTheLesson);
}

}  // namespace norwin::datalayer
