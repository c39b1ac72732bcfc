// `QuestionPool` (NorwinPellam2003.QuestionPool): the exam questions of a
// title, read from its content database (content_database.h): the table
// `tblQuestions`, the answers of `tblFinalAnswer`, `tblDialogAnswer` and
// `tblPartialAnswer` (keyed by `questionID`), and, for a chosen text book,
// the page references of `tblPageRefs` (one column per text-book ID). Each
// question points at its objective and task in the pools given to the load.
// Exams take clones of pool questions.
//
// Answers are matched to their question as the titles' database engine
// compared text, without regard to case. The question and text-book IDs
// are values and a column name to look for, never SQL: an ID holding a
// quote is just an ID.
#pragma once

#include <string>
#include <string_view>

#include "norwin/automation/binder.h"
#include "norwin/automation/collection.h"
#include "norwin/automation/error.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"
#include "norwin/datalayer/question.h"

namespace norwin::datalayer {

// A question's objectiveRef that the Objectives given to the load do not hold.
inline constexpr automation::HResult kQuestionInvalidObjective = automation::ObjectError(0x281);
// A question's taskRef that the TaskPool given to the load does not hold.
inline constexpr automation::HResult kQuestionInvalidTask = automation::ObjectError(0x282);
// Two questions of one module with one ID (GetQuestionsByModule).
inline constexpr automation::HResult kQuestionDuplicateInModule = automation::ObjectError(0x28A);
// Two questions with one ID in the database.
inline constexpr automation::HResult kQuestionDuplicateId = automation::ObjectError(0x28D);

class QuestionPool : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  // The questions keyed by ID, in table order (made on first use).
  const automation::Ref<automation::Collection>& Questions();
  void SetQuestions(automation::Ref<automation::Collection> questions);

  // A new collection of the module names met while loading, each its own
  // key, in the order first met.
  automation::Ref<automation::Collection> GetModules();
  // A new collection of clones of the questions whose Module is `module`
  // (case-sensitive), keyed by ID, in pool order. Raises
  // kQuestionDuplicateInModule when two of them share an ID.
  automation::Ref<automation::Collection> GetQuestionsByModule(const std::string& module);

  // False, opening nothing, when no local file `filename` exists (a server
  // location never loads); otherwise LoadFromDatabase.
  bool Load(const std::string& filename, const automation::Variant& objectives,
            const automation::Variant& task_pool, const std::string& text_book_id);
  // Adds a Question for every row of `tblQuestions` of the database at
  // `filename`, with its answers; its objective and task looked up in
  // `objectives` and `task_pool` (a Null one gives new objects carrying only
  // the ID), its Module from the objective, App and View from the task; and,
  // when `text_book_id` is not empty, its TextbookReference from that column
  // of `tblPageRefs`. Raises the database's errors (an empty `tblQuestions`
  // and a missing page-reference column included), 94 for a Null field that
  // must hold text, 457 for an answer given twice to one question, and
  // kQuestionInvalidObjective, kQuestionInvalidTask and
  // kQuestionDuplicateId; the questions added before stay. True.
  bool LoadFromDatabase(const std::string& filename, const automation::Variant& objectives,
                        const automation::Variant& task_pool, const std::string& text_book_id);

  // The question under `id`; null when there is none.
  Question* Find(std::string_view id);

 private:
  automation::Ref<automation::Collection> questions_;
  // Module names, each under itself as key.
  automation::Ref<automation::Collection> modules_ = automation::MakeCollection();
};

}  // namespace norwin::datalayer
