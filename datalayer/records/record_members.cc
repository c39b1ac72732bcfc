#include "norwin/datalayer/record_members.h"

#include "norwin/automation/dispatch.h"
#include "norwin/automation/error.h"

namespace norwin::datalayer {

using automation::Variant;

bool IsNoObject(const Variant& value) {
  const Variant& v = value.Resolve();
  return v.IsNull() || v.IsEmpty() || v.IsMissing() || v.IsNothing();
}

std::optional<Variant> LookUpByName(const Variant& owner, std::string_view collection,
                                    std::string_view key) {
  const Variant& v = owner.Resolve();
  if (!v.IsObject() || !v.object()) return std::nullopt;
  try {
    const Variant members =
        automation::CallByName(*v.object(), collection, automation::DISPATCH_PROPERTYGET);
    const Variant& list = members.Resolve();
    if (!list.IsObject() || !list.object()) return std::nullopt;
    return automation::CallByName(*list.object(), "Item",
                                  automation::DISPATCH_METHOD | automation::DISPATCH_PROPERTYGET,
                                  {Variant(key)});
  } catch (const automation::AutomationError&) {
    // A failed look-up is an answer, not an error: the caller decides
    // what a missing member means.
    return std::nullopt;
  }
}

XmlNode FirstChildElement(XmlNode node, std::string_view name) {
  for (XmlNode child = node.FirstChild(); !child.IsNull(); child = child.NextSibling()) {
    if (child.NodeType() == XmlNodeType::kElement && child.NodeName() == name) return child;
  }
  return XmlNode();
}

std::vector<XmlNode> ChildElements(XmlNode node, std::string_view name) {
  std::vector<XmlNode> found;
  for (XmlNode child = node.FirstChild(); !child.IsNull(); child = child.NextSibling()) {
    if (child.NodeType() == XmlNodeType::kElement && child.NodeName() == name) {
      found.push_back(child);
    }
  }
  return found;
}

}  // namespace norwin::datalayer
