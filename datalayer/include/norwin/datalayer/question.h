// `Question` (NorwinPellam2003.Question): one exam question of a title, a
// row of the content database's table `tblQuestions` with its answers,
// objective, task and text-book page reference. The question pool holds
// the originals; exams hold clones, in which the caller records the
// student's results (Correct, Attempts) and the points.
//
// Answers are string dictionaries (Scripting.Dictionary, case-sensitive
// keys) keyed by the answer text: FinalAnswers and PartialAnswers hold the
// answer's background image ("none" when there is none), DialogAnswers the
// dialog ID. In an exam record a question appears as a `questionRef`
// element: its ID as text and the attributes `correct`, `attempts` and
// `points` (WriteQuestionRef, ReadResultAttributes).
#pragma once

#include <cstdint>
#include <string>

#include "norwin/automation/binder.h"
#include "norwin/automation/dictionary.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"
#include "norwin/datalayer/objective.h"
#include "norwin/datalayer/task.h"
#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {

class Question : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  const std::string& ID() const { return id_; }
  void SetID(std::string id) { id_ = std::move(id); }
  const std::string& Text() const { return text_; }
  void SetText(std::string text) { text_ = std::move(text); }
  const std::string& Hint() const { return hint_; }
  void SetHint(std::string hint) { hint_ = std::move(hint); }
  const std::string& BgImage() const { return bg_image_; }
  void SetBgImage(std::string bg_image) { bg_image_ = std::move(bg_image); }
  // The answer dictionaries (made on first use).
  const automation::Ref<automation::Dictionary>& FinalAnswers();
  void SetFinalAnswers(automation::Ref<automation::Dictionary> answers);
  const automation::Ref<automation::Dictionary>& DialogAnswers();
  void SetDialogAnswers(automation::Ref<automation::Dictionary> answers);
  const automation::Ref<automation::Dictionary>& PartialAnswers();
  void SetPartialAnswers(automation::Ref<automation::Dictionary> answers);
  // Shared with the pools they came from; null at first.
  const automation::Ref<Objective>& GetObjective() const { return objective_; }
  void SetObjective(automation::Ref<Objective> objective) { objective_ = std::move(objective); }
  const automation::Ref<Task>& GetTask() const { return task_; }
  void SetTask(automation::Ref<Task> task) { task_ = std::move(task); }
  const std::string& App() const { return app_; }
  void SetApp(std::string app) { app_ = std::move(app); }
  const std::string& View() const { return view_; }
  void SetView(std::string view) { view_ = std::move(view); }
  const std::string& Module() const { return module_; }
  void SetModule(std::string module) { module_ = std::move(module); }
  // 1 marks a correct answer; any other value counts as not correct.
  int16_t Correct() const { return correct_; }
  void SetCorrect(int16_t correct) { correct_ = correct; }
  int16_t Attempts() const { return attempts_; }
  void SetAttempts(int16_t attempts) { attempts_ = attempts; }
  const std::string& TextbookReference() const { return textbook_reference_; }
  void SetTextbookReference(std::string reference) { textbook_reference_ = std::move(reference); }
  int16_t Points() const { return points_; }
  void SetPoints(int16_t points) { points_ = points; }
  const std::string& Remediation() const { return remediation_; }
  void SetRemediation(std::string remediation) { remediation_ = std::move(remediation); }

  // A new Question with ID, Text, Hint, Module, Correct, Attempts,
  // TextbookReference, Points and Remediation copied and the same Objective
  // and Task objects; BgImage, App, View and the answers stay new.
  automation::Ref<Question> Clone() const;
  // Makes an Objective (a Task) when there is none and sets its ID to `id`
  // as text.
  void SetObjectiveID(const automation::Variant& id);
  void SetTaskID(const automation::Variant& id);

  // Fills the `questionRef` element `element`: the ID as its text, then the
  // attributes `correct`, `attempts` and `points` in decimal.
  void WriteQuestionRef(XmlNode element) const;
  // Sets Correct, Attempts and Points from those attributes of `element`
  // that are present. Raises 13 or 6 (changing nothing) for a value that is
  // no 16-bit integer.
  void ReadResultAttributes(XmlNode element);

 private:
  std::string id_;
  std::string text_;
  std::string hint_;
  std::string bg_image_;
  automation::Ref<automation::Dictionary> final_answers_;
  automation::Ref<automation::Dictionary> dialog_answers_;
  automation::Ref<automation::Dictionary> partial_answers_;
  automation::Ref<Objective> objective_;
  automation::Ref<Task> task_;
  std::string app_;
  std::string view_;
  std::string module_;
  int16_t correct_ = 0;
  int16_t attempts_ = 0;
  std::string textbook_reference_;
  int16_t points_ = 1;
  std::string remediation_;
};

}  // namespace norwin::datalayer
