#include "norwin/datalayer/course_section.h"

#include <optional>

#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/xml_dom_objects.h"

namespace norwin::datalayer {

bool CourseSection::LoadFromXml(XmlNode node) {
  if (std::optional<std::string> id = ChildText(node, "id")) id_ = std::move(*id);
  if (std::optional<std::string> name = ChildText(node, "sectionName")) name_ = std::move(*name);
  return true;
}

void CourseSection::SaveToXml(XmlNode node) const {
  AppendTextElement(node, "id", id_);
  AppendTextElement(node, "sectionName", name_);
}

NORWIN_CLASS(CourseSection) {
  PropertyRW("ID", &CourseSection::ID, &CourseSection::SetID);
  PropertyRW("Name", &CourseSection::Name, &CourseSection::SetName);
  Method("LoadFromXMLNode", [](CourseSection& self, const automation::Variant& node) {
    return self.LoadFromXml(DomNodeArgument(node));
  });
  Method("SaveToXMLNode", [](CourseSection& self, const automation::Variant& node) {
    self.SaveToXml(DomNodeArgument(node));
    return true;
  });
}

}  // namespace norwin::datalayer
