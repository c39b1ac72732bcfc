#include "norwin/datalayer/vellora_exam.h"

#include <utility>

#include "../records/new_record_object.h"
#include "norwin/datalayer/question.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/vellora_submission.h"
#include "norwin/datalayer/xml_dom_objects.h"
#include "vellora_assignment_members.h"

namespace norwin::datalayer {

namespace {

constexpr std::string_view kExamListElement = "EXAM_LIST";
constexpr std::string_view kExamElement = "EXAM";

}  // namespace

automation::Ref<Exam> VelloraExam::TheExam() {
  if (!exam_) exam_ = NewRecordObject<Exam>("Exam");
  return exam_;
}

bool VelloraExam::LoadRecord(XmlNode course, const automation::Variant& pool,
                             std::string_view url) {
  const XmlNode element = CheckDom(course.SelectSingleNode("EXAM_LIST/EXAM"));
  if (element.IsNull()) return true;
  return TheExam()->LoadFromXml(element, PoolQuestionsArgument(pool), url);
}

bool VelloraExam::SaveRecord(XmlNode course) {
  const XmlNode list = AppendElement(course, kExamListElement);
  const XmlNode element = CheckDom(course.OwnerDocument()->CreateElement(kExamElement));
  // The exam goes in only when it wrote itself whole.
  if (!TheExam()->SaveToXml(element)) return false;
  CheckDom(list.AppendChild(element));
  return true;
}

std::string VelloraExam::FormBody() {
  const automation::Ref<Exam> exam = TheExam();
  ResultForm form(ResultForm::Lead::kSeparator);
  form.Add("student_id", StudentId())
      .Add("exam_id", exam->ExamID())
      .Add("assignment_id", exam->ExternalID())
      .Add("ttTaskTime", std::to_string(exam->TimeExpired()))
      .Add("key", access_key());
  int index = 0;
  for (const Question& question : exam->Questions()->Objects<Question>()) {
    // A question not answered yet (-1) counts as not correct.
    const int correct = question.Correct() == -1 ? 0 : question.Correct();
    form.AddIndexed("question_id", index, question.ID())
        .AddIndexed("document_score", index, std::to_string(correct))
        .AddIndexed("attempts", index, std::to_string(question.Attempts()))
        .AddIndexed("remediation", index, question.Remediation());
    ++index;
  }
  return form.body();
}

bool VelloraExam::SaveOtherExam(std::string_view filename, automation::Ref<Exam> other,
                                bool suppress_server_error_msg) {
  automation::Ref<Exam> own = std::exchange(exam_, std::move(other));
  struct PutBack {
    automation::Ref<Exam>& slot;
    automation::Ref<Exam>& own;
    ~PutBack() { slot = std::move(own); }
  } put_back{exam_, own};
  return Save(filename, suppress_server_error_msg);
}

void VelloraExam::SetPreferences(automation::Ref<Preferences> prefs) {
  TheExam()->SetPreferences(std::move(prefs));
}

NORWIN_CLASS(VelloraExam) {
  using automation::Optional;
  using automation::Variant;
  BindAssignmentMembers(*this);
  PropertyRef("theExam", &VelloraExam::TheExam, &VelloraExam::SetTheExam);
  Method(
      "SaveOtherExam",
      [](VelloraExam& self, const std::string& filename, automation::Ref<Exam> other,
         bool suppress) { return self.SaveOtherExam(filename, std::move(other), suppress); },
      Optional("suppressServerErrorMsg", Variant(false)));
  Method("SetPreferences", &VelloraExam::SetPreferences);
}

}  // namespace norwin::datalayer
