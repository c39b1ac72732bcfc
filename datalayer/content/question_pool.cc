#include "norwin/datalayer/question_pool.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
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

// Rows of one table that belong to questions, read in one pass and kept
// flat: their texts back to back in one buffer, the rows of each question
// chained in table order and found through an open-addressed index on the
// question ID (compared without regard to case). One query per question would
// read the whole table once per question in a database without an index on
// questionID; a map of small strings and vectors per question made large
// pools slower per question than small ones, the allocator's work growing
// with the pool. Rows whose question ID is Null belong to no question.
class RowsByQuestion {
 public:
  // Reads every row of `rows`: the question ID in `key_column`, the texts
  // kept in `columns`.
  RowsByQuestion(ContentQuery& rows, int key_column, std::initializer_list<int> columns)
      : width_(columns.size()) {
    while (rows.Next()) {
      if (rows.IsNull(key_column)) continue;
      texts_.push_back(Keep(rows, key_column));
      for (int column : columns) texts_.push_back(Keep(rows, column));
    }
    const size_t count = texts_.size() / (width_ + 1);
    next_.assign(count, kNone);
    size_t capacity = 16;
    shift_ = 60;
    while (capacity < count * 2) {
      capacity *= 2;
      --shift_;
    }
    slots_.assign(capacity, Slot{});
    head_.assign(count, false);
    Slot* previous = nullptr;
    std::string_view previous_id;
    for (uint32_t row = 0; row < count; ++row) {
      const std::string_view id = View(texts_[row * (width_ + 1)]);
      // A question's rows usually follow one another: the row before's
      // slot is this one's without hashing.
      Slot* slot = previous;
      if (!slot || !automation::TextKeysEqual(id, previous_id)) {
        const size_t hash = automation::HashTextKey(id);
        slot = &Place(id, hash);
        if (slot->first == kNone) slot->hash = hash;
      }
      if (slot->first == kNone) {
        slot->first = slot->last = row;
        head_[row] = true;
      } else {
        next_[slot->last] = row;
        slot->last = row;
      }
      previous = slot;
      previous_id = id;
    }
  }

  // Calls `visit(texts)` for each row of question `id` in table order, with
  // the row's texts (nullopt for Null) in the order of `columns`.
  template <typename Visit>
  void ForEachRow(std::string_view id, Visit visit) const {
    // Questions are mostly asked for in the order their rows stand in the
    // table: the row after the last one visited is then the first of this
    // question, and the index (a random place in a large table) is not
    // needed.
    uint32_t first = kNone;
    if (cursor_ < head_.size() && head_[cursor_] &&
        automation::TextKeysEqual(View(texts_[cursor_ * (width_ + 1)]), id)) {
      first = cursor_;
    } else {
      first = Place(id, automation::HashTextKey(id)).first;
    }
    std::optional<std::string_view> texts[kMaxWidth];
    for (uint32_t row = first; row != kNone; row = next_[row]) {
      cursor_ = row + 1;
      for (size_t c = 0; c < width_ && c < kMaxWidth; ++c) {
        const Text& text = texts_[row * (width_ + 1) + 1 + c];
        texts[c] = text.null ? std::nullopt : std::optional(View(text));
      }
      visit(texts);
    }
  }

  static constexpr size_t kMaxWidth = 2;

 private:
  static constexpr uint32_t kNone = UINT32_MAX;
  struct Text {
    size_t offset = 0;
    size_t size = 0;
    bool null = true;
  };
  struct Slot {
    size_t hash = 0;
    uint32_t first = kNone;  // kNone: a free slot
    uint32_t last = kNone;
  };

  Text Keep(const ContentQuery& rows, int column) {
    if (rows.IsNull(column)) return Text{};
    const std::string_view text = rows.Text(column);
    Text kept{buffer_.size(), text.size(), false};
    buffer_.append(text);
    return kept;
  }
  std::string_view View(const Text& text) const {
    return std::string_view(buffer_).substr(text.offset, text.size);
  }
  // The slot of `id`, or the free slot where it would go.
  const Slot& Place(std::string_view id, size_t hash) const {
    const size_t mask = slots_.size() - 1;
    // Fibonacci hashing: the product's high bits mix every bit of the hash.
    for (size_t i = static_cast<size_t>((uint64_t{hash} * 0x9E3779B97F4A7C15ull) >> shift_);;
         i = (i + 1) & mask) {
      const Slot& slot = slots_[i];
      if (slot.first == kNone) return slot;
      if (slot.hash == hash &&
          automation::TextKeysEqual(View(texts_[slot.first * (width_ + 1)]), id))
        return slot;
    }
  }
  Slot& Place(std::string_view id, size_t hash) {
    return const_cast<Slot&>(std::as_const(*this).Place(id, hash));
  }

  size_t width_;
  int shift_ = 60;  // 64 - log2 of the slot count
  std::string buffer_;
  std::vector<Text> texts_;  // per row: the question ID, then the columns
  std::vector<uint32_t> next_;
  std::vector<bool> head_;  // whether a row is the first of its question
  std::vector<Slot> slots_;
  mutable uint32_t cursor_ = 0;  // the row after the last one visited
};

// Every row of one answer table: the question ID, the answer and its item
// (background or dialog ID).
RowsByQuestion ReadAnswers(const ContentDatabase& database, std::string_view sql) {
  ContentQuery rows = database.Query(sql);
  return RowsByQuestion(rows, 0, {1, 2});
}

// The page references of every question in the column named `text_book_id`
// of tblPageRefs; a question's first row counts.
RowsByQuestion ReadPageRefs(const ContentDatabase& database, std::string_view text_book_id) {
  ContentQuery rows = database.Query("SELECT * FROM tblPageRefs");
  const std::optional<int> question_column = rows.FindColumn("questionID");
  if (!question_column) database.FailNoColumn("questionID");
  const std::optional<int> column = rows.FindColumn(text_book_id);
  if (!column) database.FailNoColumn(text_book_id);
  return RowsByQuestion(rows, *question_column, {*column});
}

enum class NullItem { kNone, kError };

// Adds the rows of `answers` that belong to `id` to the dictionary that
// `target` makes on first use; a Null item reads `none` ("none", one string
// that every such answer of the pool shares) or is an error.
void AddAnswers(const ContentDatabase& database, const RowsByQuestion& answers,
                const std::string& id, std::string_view item_column, NullItem null_item,
                const Variant& none, Question& question,
                const Ref<Dictionary>& (Question::*target)()) {
  answers.ForEachRow(id, [&](const std::optional<std::string_view>* row) {
    const std::optional<std::string_view>& answer = row[0];
    const std::optional<std::string_view>& item = row[1];
    if (!answer) database.FailNull("answer");
    if (!item && null_item == NullItem::kError) database.FailNull(item_column);
    (question.*target)()->Add(Variant(*answer), item ? Variant(*item) : none);
  });
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
  const std::optional<RowsByQuestion> page_refs =
      text_book_id.empty() ? std::nullopt : std::optional(ReadPageRefs(database, text_book_id));
  const bool no_objectives = IsNoObject(objectives);
  const bool no_tasks = IsNoObject(task_pool);
  const Ref<Collection>& questions = Questions();
  const Variant none("none");
  do {
    Ref<Question> question = NewRecordObject<Question>("Question");
    question->SetID(std::string(rows.RequiredText(0)));
    question->SetText(std::string(rows.RequiredText(1)));
    question->SetHint(std::string(rows.RequiredText(2)));
    question->SetBgImage(std::string(rows.RequiredText(3)));
    const std::string& id = question->ID();

    AddAnswers(database, finals, id, "background", NullItem::kNone, none, *question,
               &Question::FinalAnswers);
    AddAnswers(database, dialogs, id, "dialogID", NullItem::kError, none, *question,
               &Question::DialogAnswers);
    AddAnswers(database, partials, id, "background", NullItem::kNone, none, *question,
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

    if (page_refs) {
      bool first = true;
      page_refs->ForEachRow(id, [&](const std::optional<std::string_view>* row) {
        if (first && row[0]) question->SetTextbookReference(std::string(*row[0]));
        first = false;
      });
    }

    if (!questions->TryAddKeyed(id, Variant(question))) {
      throw AutomationError(
          kQuestionDuplicateId,
          "QuestionPool.LoadFromDatabase: found duplication question id '" + id + "'", kLoadSource);
    }
    // Most questions share a module: asking first spares making an entry
    // only to throw it away.
    if (!modules_->Exists(question->Module()))
      modules_->AddKeyed(question->Module(), Variant(question->Module()));
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
