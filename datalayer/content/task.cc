#include "norwin/datalayer/task.h"

#include "norwin/automation/convert.h"
#include "norwin/automation/error.h"
#include "norwin/datalayer/record_members.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/reference.h"
#include "norwin/datalayer/xml_dom_objects.h"

namespace norwin::datalayer {

using automation::Collection;
using automation::Ref;
using automation::Variant;

const Ref<Collection>& Task::References() {
  if (!references_) references_ = automation::MakeCollection();
  return references_;
}

void Task::SetReferences(Ref<Collection> references) { references_ = std::move(references); }

Ref<Task> Task::Clone() {
  Ref<Task> copy = NewRecordObject<Task>("Task");
  copy->id_ = id_;
  copy->app_ = app_;
  copy->view_ = view_;
  copy->name_ = name_;
  copy->base_href_ = base_href_;
  copy->completion_date_ = completion_date_;
  copy->objective_ = objective_;
  copy->references_ = References();
  return copy;
}

void Task::SaveToXml(XmlNode node) {
  if (!objective_) {
    throw automation::RuntimeError(automation::kObjectNotSet, "Task.SaveToXMLNode");
  }
  AppendTextElement(node, "id", id_);
  AppendTextElement(node, "taskName", name_);
  AppendTextElement(node, "objectiveRef", objective_->ID());
  AppendTextElement(node, "baseHREF", base_href_);
  if (references_ && !references_->empty()) {
    const XmlNode list = AppendElement(node, "referenceList");
    for (Reference& reference : references_->Objects<Reference>()) {
      reference.SaveToXml(AppendElement(list, "reference"));
    }
  }
}

void Task::SetObjectiveID(const Variant& id) {
  std::string text = automation::ToString(id);
  if (!objective_) objective_ = NewRecordObject<Objective>("Objective");
  objective_->SetID(std::move(text));
}

NORWIN_CLASS(Task) {
  PropertyRW("ID", &Task::ID, &Task::SetID);
  PropertyRW("App", &Task::App, &Task::SetApp);
  PropertyRW("View", &Task::View, &Task::SetView);
  PropertyRW("Name", &Task::Name, &Task::SetName);
  PropertyRef("Objective", &Task::GetObjective, &Task::SetObjective);
  PropertyRW("BaseHREF", &Task::BaseHREF, &Task::SetBaseHREF);
  PropertyRW("CompletionDate", &Task::CompletionDate, &Task::SetCompletionDate);
  PropertyRef("References", &Task::References, &Task::SetReferences);
  Method("Clone", &Task::Clone);
  Method("SaveToXMLNode", [](Task& self, const Variant& node) {
    self.SaveToXml(DomNodeArgument(node));
    return true;
  });
  Method("SetObjectiveID", &Task::SetObjectiveID);
}

}  // namespace norwin::datalayer
