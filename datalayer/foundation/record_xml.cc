#include "norwin/datalayer/record_xml.h"

#include <utility>

#include "norwin/automation/convert.h"
#include "norwin/automation/error.h"

namespace norwin::datalayer {

namespace {

using automation::AutomationError;

[[noreturn]] void ThrowDomError(const std::string& message) {
  throw AutomationError(automation::E_INVALIDARG, message);
}

template <typename T>
T Check(Result<T> result) {
  if (!result.ok()) ThrowDomError(result.message());
  return std::move(result).value();
}

void Check(const Status& status) {
  if (!status.ok()) ThrowDomError(status.message());
}

XmlDocument& DocumentOf(XmlNode node) {
  XmlDocument* doc = node.OwnerDocument();
  if (doc == nullptr) {
    throw automation::RuntimeError(automation::kObjectNotSet);
  }
  return *doc;
}

}  // namespace

XmlNode NewRecordRoot(XmlDocument& doc, std::string_view name) {
  XmlNode root = Check(doc.CreateElement(name));
  Check(doc.SetDocumentElement(root));
  return root;
}

XmlNode AppendElement(XmlNode parent, std::string_view name) {
  XmlNode child = Check(DocumentOf(parent).CreateElement(name));
  return Check(parent.AppendChild(child));
}

XmlNode AppendTextElement(XmlNode parent, std::string_view name, std::string_view text) {
  XmlNode child = Check(DocumentOf(parent).CreateElement(name));
  Check(child.SetText(text));
  return Check(parent.AppendChild(child));
}

XmlNode AppendValueElement(XmlNode parent, std::string_view name,
                           const automation::Variant& value) {
  return AppendTextElement(parent, name, automation::ToString(value));
}

void SetAttributeText(XmlNode element, std::string_view name, std::string_view text) {
  XmlNode attribute = Check(DocumentOf(element).CreateAttribute(name));
  Check(attribute.SetText(text));
  (void)Check(element.Attributes().SetNamedItem(attribute));
}

std::optional<std::string> ChildText(XmlNode node, std::string_view name) {
  const XmlNode child = Check(node.SelectSingleNode(name));
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

}  // namespace norwin::datalayer
