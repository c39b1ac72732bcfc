#include "norwin/datalayer/task_pool.h"

#include <optional>

#include "norwin/datalayer/content_database.h"
#include "norwin/datalayer/objectives.h"
#include "norwin/datalayer/record_members.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/xml_dom_objects.h"

namespace norwin::datalayer {

using automation::AutomationError;
using automation::Collection;
using automation::Ref;
using automation::Variant;

namespace {

constexpr const char* kLoadSource = "TaskPool.LoadFromDatabase";

}  // namespace

const Ref<Collection>& TaskPool::Tasks() {
  if (!tasks_) tasks_ = automation::MakeCollection();
  return tasks_;
}

void TaskPool::SetTasks(Ref<Collection> tasks) { tasks_ = std::move(tasks); }

Ref<Collection> TaskPool::GetModules() {
  Ref<Collection> modules = automation::MakeCollection();
  for (const Variant& name : *modules_) modules->AddKeyed(name.string(), name);
  return modules;
}

Ref<Collection> TaskPool::GetTasksByModule(const std::string& module) {
  Ref<Collection> found = automation::MakeCollection();
  for (Task& task : Tasks()->Objects<Task>()) {
    // A task without an objective belongs to no module.
    if (!task.GetObjective() || task.GetObjective()->Module() != module) continue;
    Ref<Task> clone = task.Clone();
    found->AddKeyed(clone->ID(), Variant(clone));
  }
  return found;
}

bool TaskPool::Load(const std::string& filename, const Variant& objectives,
                    const Variant& text_books) {
  if (!ExistingContentFile(filename)) return false;
  return LoadFromDatabase(filename, objectives, text_books);
}

bool TaskPool::LoadFromDatabase(const std::string& filename, const Variant& objectives,
                                const Variant& /*text_books*/) {
  const ContentDatabase database(filename, kLoadSource);
  ContentQuery rows =
      database.Query("SELECT id, taskName, baseHREF, app, view, objectiveRef FROM task");
  if (!rows.Next()) database.FailEmpty("task");
  const bool no_objectives = IsNoObject(objectives);
  const Ref<Collection>& tasks = Tasks();
  do {
    Ref<Task> task = NewRecordObject<Task>("Task");
    task->SetID(std::string(rows.RequiredText(0)));
    task->SetName(std::string(rows.RequiredText(1)));
    task->SetBaseHREF(std::string(rows.RequiredText(2)));
    task->SetApp(std::string(rows.RequiredText(3)));
    task->SetView(std::string(rows.RequiredText(4)));
    const std::string objective_ref(rows.RequiredText(5));
    if (no_objectives) {
      task->SetObjectiveID(Variant(objective_ref));
    } else {
      Ref<Objective> objective = Objectives::LookUp(objectives, objective_ref);
      if (!objective) {
        throw AutomationError(kTaskInvalidObjective,
                              "TaskPool.LoadFromDatabase: Invalid Objective ID", kLoadSource);
      }
      task->SetObjective(std::move(objective));
    }
    if (!tasks->TryAddKeyed(task->ID(), Variant(task))) {
      throw AutomationError(kTaskDuplicateId,
                            "TaskPool.LoadFromDatabase: Duplicate task ID '" + task->ID() + "'",
                            kLoadSource);
    }
    const std::string& module = task->GetObjective()->Module();
    (void)modules_->TryAddKeyed(module, Variant(module));
  } while (rows.Next());
  return true;
}

bool TaskPool::Save(const std::string& filename) {
  XmlDocument doc;
  SaveToXml(NewRecordRoot(doc, "taskPool"));
  return SaveRecord(doc, filename, kTaskPoolKind);
}

void TaskPool::SaveToXml(XmlNode node) {
  for (Task& task : Tasks()->Objects<Task>()) task.SaveToXml(AppendElement(node, "task"));
}

Ref<Task> TaskPool::LookUp(const Variant& pool, std::string_view id) {
  if (auto* ours = ObjectAs<TaskPool>(pool)) return Ref<Task>(ours->Tasks()->FindObject<Task>(id));
  std::optional<Variant> found = LookUpByName(pool, "Tasks", id);
  if (!found) return nullptr;
  auto* task = ObjectAs<Task>(*found);
  if (!task) throw automation::RuntimeError(automation::kTypeMismatch);
  return Ref<Task>(task);
}

NORWIN_CLASS(TaskPool) {
  PropertyRef("Tasks", &TaskPool::Tasks, &TaskPool::SetTasks);
  Method("GetModules", &TaskPool::GetModules);
  Method("GetTasksByModule", &TaskPool::GetTasksByModule);
  Method("Load", &TaskPool::Load, automation::Optional("TextBooks", Variant::Nothing()));
  Method("LoadFromDatabase", &TaskPool::LoadFromDatabase,
         automation::Optional("TextBooks", Variant::Nothing()));
  Method("Save", &TaskPool::Save);
  Method("SaveToXMLNode", [](TaskPool& self, const Variant& node) {
    self.SaveToXml(DomNodeArgument(node));
    return Variant(true);
  });
}

}  // namespace norwin::datalayer
