#include "norwin/datalayer/record_xml.h"

#include <utility>

#include "norwin/automation/convert.h"
#include "norwin/automation/error.h"

namespace norwin::datalayer {

namespace {

using automation::AutomationError;

XmlDocument& DocumentOf(XmlNode node) {
  XmlDocument* doc = node.OwnerDocument();
  if (doc == nullptr) {
    throw automation::RuntimeError(automation::kObjectNotSet);
  }
  return *doc;
}

}  // namespace

void CheckDom(const Status& status) {
  if (!status.ok()) throw AutomationError(automation::E_INVALIDARG, status.message());
}

XmlNode NewRecordRoot(XmlDocument& doc, std::string_view name) {
  XmlNode root = CheckDom(doc.CreateElement(name));
  CheckDom(doc.SetDocumentElement(root));
  return root;
}

XmlNode AppendElement(XmlNode parent, std::string_view name) {
  XmlNode child = CheckDom(DocumentOf(parent).CreateElement(name));
  return CheckDom(parent.AppendChild(child));
}

XmlNode AppendTextElement(XmlNode parent, std::string_view name, std::string_view text) {
  XmlNode child = CheckDom(DocumentOf(parent).CreateElement(name));
  CheckDom(child.SetText(text));
  return CheckDom(parent.AppendChild(child));
}

XmlNode AppendValueElement(XmlNode parent, std::string_view name,
                           const automation::Variant& value) {
  return AppendTextElement(parent, name, automation::ToString(value));
}

void SetAttributeText(XmlNode element, std::string_view name, std::string_view text) {
  XmlNode attribute = CheckDom(DocumentOf(element).CreateAttribute(name));
  CheckDom(attribute.SetText(text));
  (void)CheckDom(element.Attributes().SetNamedItem(attribute));
}

std::optional<std::string> ChildText(XmlNode node, std::string_view name) {
  const XmlNode child = CheckDom(node.SelectSingleNode(name));
  if (child.IsNull()) return std::nullopt;
  return child.Text();
}

std::string RequiredChildText(XmlNode node, std::string_view name) {
  std::optional<std::string> text = ChildText(node, name);
  if (!text) throw automation::RuntimeError(automation::kObjectNotSet);
  return std::move(*text);
}

std::optional<std::string> AttributeText(XmlNode node, std::string_view name) {
  const XmlNode attribute = node.Attributes().GetNamedItem(name);
  if (attribute.IsNull()) return std::nullopt;
  return attribute.Text();
}

void ReadChildText(XmlNode node, std::string_view name, std::string& field) {
  if (node.IsNull()) return;
  if (std::optional<std::string> text = ChildText(node, name)) field = std::move(*text);
}

void ReadAttributeText(XmlNode node, std::string_view name, std::string& field) {
  if (node.IsNull()) return;
  if (std::optional<std::string> text = AttributeText(node, name)) field = std::move(*text);
}

}  // namespace norwin::datalayer
