#include "norwin/datalayer/objective.h"

#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/reference.h"
#include "norwin/datalayer/xml_dom_objects.h"

namespace norwin::datalayer {

using automation::Collection;
using automation::Ref;
using automation::Variant;

const Ref<Collection>& Objective::References() {
  if (!references_) references_ = automation::MakeCollection();
  return references_;
}

void Objective::SetReferences(Ref<Collection> references) { references_ = std::move(references); }

bool Objective::LoadFromDatabase(const std::string& id, const std::string& module,
                                 const std::string& skill_set, const std::string& label,
                                 const Variant& /*text_books*/) {
  id_ = id;
  module_ = module;
  skill_set_ = skill_set;
  label_ = label;
  return true;
}

void Objective::SaveToXml(XmlNode node) {
  if (!id_.empty()) AppendTextElement(node, "id", id_);
  AppendTextElement(node, "module", module_);
  if (!skill_set_.empty()) AppendTextElement(node, "skillSet", skill_set_);
  if (!label_.empty()) AppendTextElement(node, "objectiveLabel", label_);
  if (references_ && !references_->empty()) {
    const XmlNode list = AppendElement(node, "referenceList");
    for (Reference& reference : references_->Objects<Reference>()) {
      reference.SaveToXml(AppendElement(list, "reference"));
    }
  }
}

NORWIN_CLASS(Objective) {
  PropertyRW("ID", &Objective::ID, &Objective::SetID);
  PropertyRW("Module", &Objective::Module, &Objective::SetModule);
  PropertyRW("SkillSet", &Objective::SkillSet, &Objective::SetSkillSet);
  PropertyRW("Label", &Objective::Label, &Objective::SetLabel);
  PropertyRef("References", &Objective::References, &Objective::SetReferences);
  Method("LoadFromDatabase", &Objective::LoadFromDatabase,
         automation::Optional("TextBooks", Variant::Null()));
  Method("SaveToXMLNode", [](Objective& self, const Variant& node) {
    self.SaveToXml(DomNodeArgument(node));
    return true;
  });
}

}  // namespace norwin::datalayer
