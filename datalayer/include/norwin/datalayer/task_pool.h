// `TaskPool` (NorwinPellam2003.TaskPool): the tasks of a title, read from
// the table `task` of its content database (content_database.h) and kept
// keyed by ID, each pointing at its objective; with the modules (the
// objectives' modules) in the order first met. Lessons take clones of pool
// tasks. The pool can be written out as a `taskPool` record (kind
// "TaskPool", request shape B); nothing reads that record back.
#pragma once

#include <string>
#include <string_view>

#include "norwin/automation/binder.h"
#include "norwin/automation/collection.h"
#include "norwin/automation/error.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"
#include "norwin/datalayer/record_storage.h"
#include "norwin/datalayer/task.h"
#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {

inline constexpr RecordKind kTaskPoolKind{"TaskPool", RequestShape::kB};
// A task's objectiveRef that the Objectives given to the load do not hold.
inline constexpr automation::HResult kTaskInvalidObjective = automation::ObjectError(0x26D);
// Two tasks with one ID.
inline constexpr automation::HResult kTaskDuplicateId = automation::ObjectError(0x26E);

class TaskPool : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  // The tasks keyed by ID, in table order (made on first use).
  const automation::Ref<automation::Collection>& Tasks();
  void SetTasks(automation::Ref<automation::Collection> tasks);

  // A new collection of the module names met while loading, each its own
  // key, in the order first met.
  automation::Ref<automation::Collection> GetModules();
  // A new collection of clones of the tasks whose objective's Module is
  // `module` (case-sensitive), keyed by ID, in pool order.
  automation::Ref<automation::Collection> GetTasksByModule(const std::string& module);

  // False, opening nothing, when no local file `filename` exists (a server
  // location never loads); otherwise LoadFromDatabase.
  bool Load(const std::string& filename, const automation::Variant& objectives,
            const automation::Variant& text_books);
  // Adds a Task for every row of the table `task` of the database at
  // `filename`, its objective looked up in `objectives` or, when that is
  // Null, a new Objective carrying only the ID. Raises the database's
  // errors (an empty table included), 94 for a Null field,
  // kTaskInvalidObjective and kTaskDuplicateId; the tasks added before
  // stay. `text_books` is not used. True.
  bool LoadFromDatabase(const std::string& filename, const automation::Variant& objectives,
                        const automation::Variant& text_books);
  // Stores the `taskPool` record at `filename`; true.
  bool Save(const std::string& filename);
  // Appends one `task` element per task to `node`.
  void SaveToXml(XmlNode node);

  // The task `id` of the TaskPool object `pool` (ours, or another asked by
  // name); null when it has none.
  static automation::Ref<Task> LookUp(const automation::Variant& pool, std::string_view id);

 private:
  automation::Ref<automation::Collection> tasks_;
  // Module names, each under itself as key.
  automation::Ref<automation::Collection> modules_ = automation::MakeCollection();
};

}  // namespace norwin::datalayer
