#include "norwin/datalayer/question.h"

#include <optional>

#include "norwin/automation/convert.h"
#include "norwin/datalayer/record_members.h"
#include "norwin/datalayer/record_xml.h"

namespace norwin::datalayer {

using automation::Dictionary;
using automation::Ref;
using automation::Variant;

namespace {

const Ref<Dictionary>& MadeOnFirstUse(Ref<Dictionary>& slot) {
  if (!slot) slot = automation::MakeRef<Dictionary>();
  return slot;
}

// The attribute `name` of `element` as a 16-bit integer (CInt); nullopt
// when the element has no such attribute.
std::optional<int16_t> Int16Attribute(XmlNode element, std::string_view name) {
  const std::optional<std::string_view> text = element.GetAttribute(name);
  if (!text) return std::nullopt;
  return automation::ToInt16(Variant(*text));
}

}  // namespace

const Ref<Dictionary>& Question::FinalAnswers() { return MadeOnFirstUse(final_answers_); }
void Question::SetFinalAnswers(Ref<Dictionary> answers) { final_answers_ = std::move(answers); }
const Ref<Dictionary>& Question::DialogAnswers() { return MadeOnFirstUse(dialog_answers_); }
void Question::SetDialogAnswers(Ref<Dictionary> answers) { dialog_answers_ = std::move(answers); }
const Ref<Dictionary>& Question::PartialAnswers() { return MadeOnFirstUse(partial_answers_); }
void Question::SetPartialAnswers(Ref<Dictionary> answers) { partial_answers_ = std::move(answers); }

Ref<Question> Question::Clone() const {
  Ref<Question> copy = NewRecordObject<Question>("Question");
  copy->id_ = id_;
  copy->text_ = text_;
  copy->hint_ = hint_;
  copy->objective_ = objective_;
  copy->task_ = task_;
  copy->module_ = module_;
  copy->correct_ = correct_;
  copy->attempts_ = attempts_;
  copy->textbook_reference_ = textbook_reference_;
  copy->points_ = points_;
  copy->remediation_ = remediation_;
  return copy;
}

void Question::SetObjectiveID(const Variant& id) {
  std::string text = automation::ToString(id);
  if (!objective_) objective_ = NewRecordObject<Objective>("Objective");
  objective_->SetID(std::move(text));
}

void Question::SetTaskID(const Variant& id) {
  std::string text = automation::ToString(id);
  if (!task_) task_ = NewRecordObject<Task>("Task");
  task_->SetID(std::move(text));
}

void Question::WriteQuestionRef(XmlNode element) const {
  CheckDom(element.SetText(id_));
  SetAttributeText(element, "correct", std::to_string(correct_));
  SetAttributeText(element, "attempts", std::to_string(attempts_));
  SetAttributeText(element, "points", std::to_string(points_));
}

void Question::ReadResultAttributes(XmlNode element) {
  // All three are converted before any is set, so a bad value changes
  // nothing.
  const std::optional<int16_t> correct = Int16Attribute(element, "correct");
  const std::optional<int16_t> attempts = Int16Attribute(element, "attempts");
  const std::optional<int16_t> points = Int16Attribute(element, "points");
  if (correct) correct_ = *correct;
  if (attempts) attempts_ = *attempts;
  if (points) points_ = *points;
}

NORWIN_CLASS(Question) {
  PropertyRW("ID", &Question::ID, &Question::SetID);
  PropertyRW("Text", &Question::Text, &Question::SetText);
  PropertyRW("Hint", &Question::Hint, &Question::SetHint);
  PropertyRW("BgImage", &Question::BgImage, &Question::SetBgImage);
  PropertyRef("FinalAnswers", &Question::FinalAnswers, &Question::SetFinalAnswers);
  PropertyRef("DialogAnswers", &Question::DialogAnswers, &Question::SetDialogAnswers);
  PropertyRef("PartialAnswers", &Question::PartialAnswers, &Question::SetPartialAnswers);
  PropertyRef("Objective", &Question::GetObjective, &Question::SetObjective);
  PropertyRef("Task", &Question::GetTask, &Question::SetTask);
  PropertyRW("App", &Question::App, &Question::SetApp);
  PropertyRW("View", &Question::View, &Question::SetView);
  PropertyRW("Module", &Question::Module, &Question::SetModule);
  PropertyRW("Correct", &Question::Correct, &Question::SetCorrect);
  PropertyRW("Attempts", &Question::Attempts, &Question::SetAttempts);
  PropertyRW("TextbookReference", &Question::TextbookReference, &Question::SetTextbookReference);
  PropertyRW("Points", &Question::Points, &Question::SetPoints);
  PropertyRW("Remediation", &Question::Remediation, &Question::SetRemediation);
  Method("Clone", &Question::Clone);
  Method("SetObjectiveID", &Question::SetObjectiveID);
  Method("SetTaskID", &Question::SetTaskID);
}

}  // namespace norwin::datalayer
