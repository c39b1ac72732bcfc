#include "norwin/datalayer/objectives.h"

#include <optional>

#include "norwin/automation/convert.h"
#include "norwin/datalayer/content_database.h"
#include "norwin/datalayer/record_members.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/xml_dom_objects.h"

namespace norwin::datalayer {

using automation::Collection;
using automation::Ref;
using automation::Variant;

const Ref<Collection>& Objectives::Members() {
  if (!members_) members_ = automation::MakeCollection();
  return members_;
}

void Objectives::SetMembers(Ref<Collection> members) { members_ = std::move(members); }

bool Objectives::Load(const std::string& filename, const Variant& text_books) {
  if (!ExistingContentFile(filename)) return false;
  return LoadFromDatabase(filename, text_books);
}

bool Objectives::LoadFromDatabase(const std::string& filename, const Variant& text_books) {
  const ContentDatabase database(filename, "Objectives.LoadFromDatabase");
  ContentQuery rows = database.Query("SELECT id, module, skillset, objectiveLabel FROM objective");
  if (!rows.Next()) database.FailEmpty("objective");
  const Ref<Collection>& members = Members();
  do {
    std::string id(rows.RequiredText(0));
    std::string module(rows.RequiredText(1));
    std::string skill_set(rows.RequiredText(2));
    std::string label(rows.RequiredText(3));
    Ref<Objective> objective = NewRecordObject<Objective>("Objective");
    objective->LoadFromDatabase(id, module, skill_set, label, text_books);
    members->AddKeyed(objective->ID(), Variant(objective));
  } while (rows.Next());
  return true;
}

bool Objectives::Exists(const Variant& id) {
  const Variant& key = id.Resolve();
  if (!key.IsString() && !key.IsNumeric()) return false;
  return Members()->Exists(automation::ToString(key));
}

bool Objectives::Save(const std::string& filename) {
  XmlDocument doc;
  SaveToXml(NewRecordRoot(doc, "objectiveList"));
  return SaveRecord(doc, filename, kObjectivesKind);
}

void Objectives::SaveToXml(XmlNode node) {
  for (Objective& objective : Members()->Objects<Objective>()) {
    objective.SaveToXml(AppendElement(node, "objective"));
  }
}

Ref<Objective> Objectives::LookUp(const Variant& objectives, std::string_view id) {
  if (auto* ours = ObjectAs<Objectives>(objectives)) {
    return Ref<Objective>(ours->Members()->FindObject<Objective>(id));
  }
  std::optional<Variant> found = LookUpByName(objectives, "Objectives", id);
  if (!found) return nullptr;
  auto* objective = ObjectAs<Objective>(*found);
  if (!objective) throw automation::RuntimeError(automation::kTypeMismatch);
  return Ref<Objective>(objective);
}

NORWIN_CLASS(Objectives) {
  PropertyRef("Objectives", &Objectives::Members, &Objectives::SetMembers);
  Method("Load", &Objectives::Load, automation::Optional("TextBooks", Variant::Null()));
  Method("LoadFromDatabase", &Objectives::LoadFromDatabase,
         automation::Optional("TextBooks", Variant::Null()));
  Method("Exists", &Objectives::Exists);
  Method("Save", &Objectives::Save);
  Method("SaveToXMLNode", [](Objectives& self, const Variant& node) {
    self.SaveToXml(DomNodeArgument(node));
    return Variant(true);
  });
}

}  // namespace norwin::datalayer
