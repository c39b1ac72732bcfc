#include "norwin/datalayer/question_pool.h"

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "norwin/automation/key_compare.h"
#include "norwin/datalayer/content_database.h"
#include "norwin/datalayer/objectives.h"
#include "norwin/datalayer/record_members.h"
#include "norwin/datalayer/task_pool.h"

namespace norwin::datalayer {

using automation::AutomationError;
using automation::Collection;
using automation::Dictionary;
using automation::Ref;
using automation::Variant;

namespace {

constexpr const char* kLoadSource = "QuestionPool.LoadFromDatabase";
// The reference errors carry the source the pages have always been shown.
constexpr const char* kReferenceSource = "QuestionPool:LoadFromXMLNode";

// One row of an answer table: the answer and its item (background or
// dialog ID), either of which may be Null.
struct AnswerRow {
  std::optional<std::string> answer;
  std::optional<std::string> item;
};

// Rows keyed by question ID, compared without regard to case.
template <typename Row>
using ByQuestion =
    std::unordered_map<std::string, Row, automation::TextKeyHash, automation::TextKeyEqual>;

std::optional<std::string> OptionalText(const ContentQuery& rows, int column) {
  if (rows.IsNull(column)) return std::nullopt;
  return std::string(rows.Text(column));
}

// Every row of one answer table, read in one pass: one query per question
// would read the whole table once per question in a database without an
// index on questionID. Rows whose questionID is Null belong to no question.
ByQuestion<std::vector<AnswerRow>> ReadAnswers(const ContentDatabase& database,
                                               std::string_view sql) {
  ByQuestion<std::vector<AnswerRow>> answers;
  ContentQuery rows = database.Query(sql);
  while (rows.Next()) {
    if (rows.IsNull(0)) continue;
    answers[std::string(rows.Text(0))].push_back(
        AnswerRow{OptionalText(rows, 1), OptionalText(rows, 2)});
  }
  return answers;
}

// The first page reference of every question in the column named
// `text_book_id` of tblPageRefs (Null where the row holds none).
ByQuestion<std::optional<std::string>> ReadPageRefs(const ContentDatabase& database,
                                                    std::string_view text_book_id) {
  ContentQuery rows = database.Query("SELECT * FROM tblPageRefs");
  const std::optional<int> question_column = rows.FindColumn("questionID");
  if (!question_column) database.FailNoColumn("questionID");
  const std::optional<int> column = rows.FindColumn(text_book_id);
  if (!column) database.FailNoColumn(text_book_id);
  ByQuestion<std::optional<std::string>> refs;
  while (rows.Next()) {
    if (rows.IsNull(*question_column)) continue;
    std::string id(rows.Text(*question_column));
    if (refs.find(id) == refs.end()) refs.emplace(std::move(id), OptionalText(rows, *column));
  }
  return refs;
}

enum class NullItem { kNone, kError };

// Adds the rows of `answers` that belong to `id` to the dictionary that
// `target` makes on first use; a Null item reads "none" or is an error.
void AddAnswers(const ContentDatabase& database, const ByQuestion<std::vector<AnswerRow>>& answers,
                const std::string& id, std::string_view item_column, NullItem null_item,
                Question& question, const Ref<Dictionary>& (Question::*target)()) {
  const auto found = answers.find(id);
  if (found == answers.end()) return;
  const Ref<Dictionary>& dictionary = (question.*target)();
  for (const AnswerRow& row : found->second) {
    if (!row.answer) database.FailNull("answer");
    if (!row.item && null_item == NullItem::kError) database.FailNull(item_column);
    dictionary->Add(Variant(*row.answer), row.item ? Variant(*row.item) : Variant("none"));
  }
}

}  // namespace

const Ref<Collection>& QuestionPool::Questions() {
  if (!questions_) questions_ = automation::MakeCollection();
  return questions_;
}

void QuestionPool::SetQuestions(Ref<Collection> questions) { questions_ = std::move(questions); }

Ref<Collection> QuestionPool::GetModules() {
  Ref<Collection> modules = automation::MakeCollection();
  for (const Variant& name : *modules_) modules->AddKeyed(name.string(), name);
  return modules;
}

Ref<Collection> QuestionPool::GetQuestionsByModule(const std::string& module) {
  Ref<Collection> found = automation::MakeCollection();
  for (const Question& question : Questions()->Objects<Question>()) {
    if (question.Module() != module) continue;
    Ref<Question> clone = question.Clone();
    if (!found->TryAddKeyed(clone->ID(), Variant(clone))) {
      throw AutomationError(kQuestionDuplicateInModule,
                            "QuestionPool.GetQuestionsByModule: duplicate question '" +
                                clone->ID() + "' in module " + module,
                            "QuestionPool.GetQuestionsByModule");
    }
  }
  return found;
}

bool QuestionPool::Load(const std::string& filename, const Variant& objectives,
                        const Variant& task_pool, const std::string& text_book_id) {
  if (!ExistingContentFile(filename)) return false;
  return LoadFromDatabase(filename, objectives, task_pool, text_book_id);
}

bool QuestionPool::LoadFromDatabase(const std::string& filename, const Variant& objectives,
                                    const Variant& task_pool, const std::string& text_book_id) {
  const ContentDatabase database(filename, kLoadSource);
  ContentQuery rows =
      database.Query("SELECT id, text, hint, background, objectiveRef, taskRef FROM tblQuestions");
  if (!rows.Next()) database.FailEmpty("tblQuestions");
  const auto finals =
      ReadAnswers(database, "SELECT questionID, answer, background FROM tblFinalAnswer");
  const auto dialogs =
      ReadAnswers(database, "SELECT questionID, answer, dialogID FROM tblDialogAnswer");
  const auto partials =
      ReadAnswers(database, "SELECT questionID, answer, background FROM tblPartialAnswer");
  const auto page_refs = text_book_id.empty() ? ByQuestion<std::optional<std::string>>()
                                              : ReadPageRefs(database, text_book_id);
  const bool no_objectives = IsNoObject(objectives);
  const bool no_tasks = IsNoObject(task_pool);
  const Ref<Collection>& questions = Questions();
  do {
    Ref<Question> question = NewRecordObject<Question>("Question");
    question->SetID(std::string(rows.RequiredText(0)));
    question->SetText(std::string(rows.RequiredText(1)));
    question->SetHint(std::string(rows.RequiredText(2)));
    question->SetBgImage(std::string(rows.RequiredText(3)));
    const std::string& id = question->ID();

    AddAnswers(database, finals, id, "background", NullItem::kNone, *question,
               &Question::FinalAnswers);
    AddAnswers(database, dialogs, id, "dialogID", NullItem::kError, *question,
               &Question::DialogAnswers);
    AddAnswers(database, partials, id, "background", NullItem::kNone, *question,
               &Question::PartialAnswers);

    if (!rows.IsNull(4)) {
      const std::string objective_ref(rows.Text(4));
      if (no_objectives) {
        question->SetObjectiveID(Variant(objective_ref));
      } else {
        Ref<Objective> objective = Objectives::LookUp(objectives, objective_ref);
        if (!objective) {
          throw AutomationError(kQuestionInvalidObjective, "Invalid Objective ID",
                                kReferenceSource);
        }
        question->SetObjective(std::move(objective));
      }
      question->SetModule(question->GetObjective()->Module());
    }

    if (!rows.IsNull(5)) {
      const std::string task_ref(rows.Text(5));
      if (no_tasks) {
        question->SetTaskID(Variant(task_ref));
      } else {
        Ref<Task> task = TaskPool::LookUp(task_pool, task_ref);
        if (!task) {
          throw AutomationError(kQuestionInvalidTask,
                                "Invalid Task ID " + task_ref + " in question ID " + id,
                                kReferenceSource);
        }
        question->SetTask(std::move(task));
      }
      question->SetApp(question->GetTask()->App());
      question->SetView(question->GetTask()->View());
    }

    if (!text_book_id.empty()) {
      const auto ref = page_refs.find(id);
      if (ref != page_refs.end() && ref->second) question->SetTextbookReference(*ref->second);
    }

    if (!questions->TryAddKeyed(id, Variant(question))) {
      throw AutomationError(
          kQuestionDuplicateId,
          "QuestionPool.LoadFromDatabase: found duplication question id '" + id + "'", kLoadSource);
    }
    (void)modules_->TryAddKeyed(question->Module(), Variant(question->Module()));
  } while (rows.Next());
  return true;
}

Question* QuestionPool::Find(std::string_view id) { return Questions()->FindObject<Question>(id); }

NORWIN_CLASS(QuestionPool) {
  PropertyRef("Questions", &QuestionPool::Questions, &QuestionPool::SetQuestions);
  Method("GetModules", &QuestionPool::GetModules);
  Method("GetQuestionsByModule", &QuestionPool::GetQuestionsByModule);
  Method("Load", &QuestionPool::Load, automation::Optional("textBkID", ""));
  Method("LoadFromDatabase", &QuestionPool::LoadFromDatabase);
}

}  // namespace norwin::datalayer
