// `Objective` (NorwinPellam2003.Objective): one skill objective of a title,
// a row of the content database's table `objective`. Tasks and questions
// point at the Objectives' own objects (shared, not copied); the module of
// a question is its objective's Module.
#pragma once

#include <string>

#include "norwin/automation/binder.h"
#include "norwin/automation/collection.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"
#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {

class Objective : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  const std::string& ID() const { return id_; }
  void SetID(const std::string& id) { id_ = id; }
  const std::string& Module() const { return module_; }
  void SetModule(const std::string& module) { module_ = module; }
  const std::string& SkillSet() const { return skill_set_; }
  void SetSkillSet(const std::string& skill_set) { skill_set_ = skill_set; }
  const std::string& Label() const { return label_; }
  void SetLabel(const std::string& label) { label_ = label; }
  // The objective's text-book references (Reference objects; made on first
  // use).
  const automation::Ref<automation::Collection>& References();
  void SetReferences(automation::Ref<automation::Collection> references);

  // Sets ID, Module, SkillSet and Label; the text books are not used. True.
  bool LoadFromDatabase(const std::string& id, const std::string& module,
                        const std::string& skill_set, const std::string& label,
                        const automation::Variant& text_books);
  // Appends to the `objective` element `node`: `id` (when not empty),
  // `module`, `skillSet` and `objectiveLabel` (each when not empty) and a
  // `referenceList` of `reference` elements when there are references.
  void SaveToXml(XmlNode node);

 private:
  std::string id_;
  std::string module_;
  std::string skill_set_;
  std::string label_;
  automation::Ref<automation::Collection> references_;
};

}  // namespace norwin::datalayer
