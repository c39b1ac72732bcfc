// `Task` (NorwinPellam2003.Task): one task of a title, a row of the content
// database's table `task`: an exercise in a view of an application, with
// the objective it trains and the address of its pages. Lessons hold clones
// of pool tasks and record in them when the student completed each.
#pragma once

#include <string>

#include "norwin/automation/binder.h"
#include "norwin/automation/collection.h"
#include "norwin/automation/date.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"
#include "norwin/datalayer/objective.h"
#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {

class Task : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  const std::string& ID() const { return id_; }
  void SetID(const std::string& id) { id_ = id; }
  const std::string& App() const { return app_; }
  void SetApp(const std::string& app) { app_ = app; }
  const std::string& View() const { return view_; }
  void SetView(const std::string& view) { view_ = view; }
  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }
  // The objective the task trains (shared with the Objectives it came
  // from); null at first.
  const automation::Ref<Objective>& GetObjective() const { return objective_; }
  void SetObjective(automation::Ref<Objective> objective) { objective_ = std::move(objective); }
  const std::string& BaseHREF() const { return base_href_; }
  void SetBaseHREF(const std::string& base_href) { base_href_ = base_href; }
  // When the student completed the task; the zero date while not done.
  automation::Date CompletionDate() const { return completion_date_; }
  void SetCompletionDate(automation::Date date) { completion_date_ = date; }
  // The task's text-book references (made on first use).
  const automation::Ref<automation::Collection>& References();
  void SetReferences(automation::Ref<automation::Collection> references);

  // A new Task with ID, App, View, Name, BaseHREF and CompletionDate copied
  // and the same Objective and References objects (shared; References is
  // made first when this task has none).
  automation::Ref<Task> Clone();
  // Appends `id`, `taskName`, `objectiveRef`, `baseHREF` and, when there
  // are references, a `referenceList` to `node`. Raises 91, writing
  // nothing, when the task has no objective.
  void SaveToXml(XmlNode node);
  // Makes an Objective when there is none and sets its ID to `id` as text.
  void SetObjectiveID(const automation::Variant& id);

 private:
  std::string id_;
  std::string app_;
  std::string view_;
  std::string name_;
  automation::Ref<Objective> objective_;
  std::string base_href_;
  automation::Date completion_date_;
  automation::Ref<automation::Collection> references_;
};

}  // namespace norwin::datalayer
