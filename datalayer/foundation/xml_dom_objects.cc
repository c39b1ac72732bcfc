#include "norwin/datalayer/xml_dom_objects.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <utility>
#include <vector>

#include "norwin/automation/convert.h"
#include "norwin/automation/dispatch.h"
#include "norwin/automation/error.h"
#include "norwin/datalayer/record_storage.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/url_support.h"
#include "norwin/platform/drives.h"
#include "norwin/platform/http.h"

namespace norwin::datalayer {

namespace {

using automation::AutomationError;
using automation::MakeRef;
using automation::Ref;
using automation::Variant;

// A path as script writes it: a Windows path on the course drives, else
// the text as a native path (so that a missing file fails as a missing
// file, with the name the script gave).
std::filesystem::path NativePath(std::string_view path) {
  Result<std::filesystem::path> resolved = platform::ResolveCoursePath(path);
  if (resolved.ok()) return std::move(resolved).value();
  return std::filesystem::path(path);
}

// The node types createNode takes by name, as the DOM names them.
XmlNodeType NodeTypeArgument(const Variant& type) {
  const Variant value = type.Deref();
  if (value.IsString()) {
    const std::string& name = value.string();
    if (name == "element") return XmlNodeType::kElement;
    if (name == "attribute") return XmlNodeType::kAttribute;
    if (name == "text") return XmlNodeType::kText;
    throw AutomationError(automation::E_INVALIDARG,
                          "createNode cannot make a node of type \"" + name + "\"");
  }
  const int32_t number = automation::ToInt32(value);
  switch (number) {
    case 1:
      return XmlNodeType::kElement;
    case 2:
      return XmlNodeType::kAttribute;
    case 3:
      return XmlNodeType::kText;
    default:
      throw AutomationError(automation::E_INVALIDARG,
                            "createNode cannot make a node of type " + std::to_string(number));
  }
}

// The outcome of the last load, as script reads it from `parseError`.
class DomParseError : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  DomParseError(XmlParseError error, std::string url)
      : error_(std::move(error)), url_(std::move(url)) {}

  // Zero after a good load; the generic failure code otherwise, so that
  // pages testing `errorCode != 0` see the failure.
  int32_t ErrorCode() const { return error_.ok() ? 0 : automation::E_FAIL; }
  std::string Reason() const { return error_.reason; }
  int32_t Line() const { return static_cast<int32_t>(error_.line); }
  int32_t LinePos() const { return static_cast<int32_t>(error_.column); }
  int32_t FilePos() const { return static_cast<int32_t>(error_.offset); }
  std::string SrcText() const { return error_.source_text; }
  std::string Url() const { return url_; }

 private:
  XmlParseError error_;
  std::string url_;
  LibraryObjectLock lock_;
};

NORWIN_CLASS(DomParseError) {
  Property("errorCode", &DomParseError::ErrorCode).Default();
  Property("reason", &DomParseError::Reason);
  Property("line", &DomParseError::Line);
  Property("linepos", &DomParseError::LinePos);
  Property("filepos", &DomParseError::FilePos);
  Property("srcText", &DomParseError::SrcText);
  Property("url", &DomParseError::Url);
}

// A list of nodes (childNodes, selectNodes): `length`, `item(i)` 0-based,
// `for each`. A childNodes list is live, as the document's own list is.
class DomNodeList : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  DomNodeList(std::shared_ptr<XmlDocument> document, XmlNodeList list)
      : document_(std::move(document)), list_(std::move(list)) {}

  int32_t Length() const { return static_cast<int32_t>(list_.Length()); }
  // Nothing past the end, as the DOM answers.
  Variant Item(int32_t index) const {
    if (index < 0) return Variant::Nothing();
    return WrapDomNode(document_, list_.Item(static_cast<size_t>(index)));
  }
  // The node after the last one handed out, for the DOM's nextNode walk.
  Variant NextNode() {
    if (next_ >= list_.Length()) return Variant::Nothing();
    return WrapDomNode(document_, list_.Item(next_++));
  }
  void Reset() { next_ = 0; }
  Ref<automation::Enumerator> NewEnum() const {
    std::vector<Variant> items;
    items.reserve(list_.Length());
    for (XmlNode node : list_) items.push_back(WrapDomNode(document_, node));
    return automation::MakeSnapshotEnumerator(std::move(items));
  }

 private:
  std::shared_ptr<XmlDocument> document_;
  XmlNodeList list_;
  size_t next_ = 0;
  LibraryObjectLock lock_;
};

NORWIN_CLASS(DomNodeList) {
  Property("length", &DomNodeList::Length);
  Property("item", &DomNodeList::Item).Default();
  Method("nextNode", &DomNodeList::NextNode);
  Method("reset", &DomNodeList::Reset);
  NewEnum(&DomNodeList::NewEnum);
}

// The attributes of an element: `length`, `item(i)`, `getNamedItem`,
// `setNamedItem`, `for each`.
class DomAttributeMap : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  DomAttributeMap(std::shared_ptr<XmlDocument> document, XmlNamedNodeMap map)
      : document_(std::move(document)), map_(std::move(map)) {}

  int32_t Length() const { return static_cast<int32_t>(map_.Length()); }
  Variant Item(int32_t index) const {
    if (index < 0) return Variant::Nothing();
    return WrapDomNode(document_, map_.Item(static_cast<size_t>(index)));
  }
  Variant GetNamedItem(const std::string& name) const {
    return WrapDomNode(document_, map_.GetNamedItem(name));
  }
  Variant SetNamedItem(const Variant& attribute) {
    return WrapDomNode(document_, CheckDom(map_.SetNamedItem(DomNodeArgument(attribute))));
  }
  Ref<automation::Enumerator> NewEnum() const {
    std::vector<Variant> items;
    items.reserve(map_.Length());
    for (size_t i = 0; i < map_.Length(); ++i) {
      items.push_back(WrapDomNode(document_, map_.Item(i)));
    }
    return automation::MakeSnapshotEnumerator(std::move(items));
  }

 private:
  std::shared_ptr<XmlDocument> document_;
  XmlNamedNodeMap map_;
  LibraryObjectLock lock_;
};

NORWIN_CLASS(DomAttributeMap) {
  Property("length", &DomAttributeMap::Length);
  Property("item", &DomAttributeMap::Item).Default();
  Method("getNamedItem", &DomAttributeMap::GetNamedItem);
  Method("setNamedItem", &DomAttributeMap::SetNamedItem);
  NewEnum(&DomAttributeMap::NewEnum);
}

Variant WrapList(const std::shared_ptr<XmlDocument>& document, XmlNodeList list) {
  return Variant(MakeRef<DomNodeList>(document, std::move(list)));
}

// Appends `child` (a node object of any document) to `parent`; a node of
// another document arrives as a copy, which is what the script gets back.
Variant AppendTo(const std::shared_ptr<XmlDocument>& document, XmlNode parent,
                 const Variant& child) {
  return WrapDomNode(document, CheckDom(parent.AppendChild(DomNodeArgument(child))));
}

}  // namespace

// ---------------------------------------------------------------------------
// DomDocumentObject

DomDocumentObject::DomDocumentObject() : document_(std::make_shared<XmlDocument>()) {}

DomDocumentObject::DomDocumentObject(std::shared_ptr<XmlDocument> document)
    : document_(std::move(document)) {}

bool DomDocumentObject::Load(const std::string& path) {
  url_ = path;
  if (IsURL(path)) {
    platform::HttpRequest request;
    request.url = path;
    Result<platform::HttpResponse> response = platform::DefaultHttpClient().Send(request);
    if (!response.ok()) {
      // Keep the reason: an empty text fails to parse, and parseError then
      // says why the document is empty instead of blaming the text.
      (void)document_->LoadXml("");
      transport_error_ = response.message();
      return false;
    }
    transport_error_.clear();
    return document_->LoadXml(response->body).ok();
  }
  transport_error_.clear();
  return document_->Load(NativePath(path)).ok();
}

bool DomDocumentObject::LoadXml(const std::string& text) {
  url_.clear();
  transport_error_.clear();
  return document_->LoadXml(text).ok();
}

void DomDocumentObject::Save(const std::string& path) {
  if (const Status saved = document_->Save(NativePath(path)); !saved.ok()) {
    throw AutomationError(kLocalWriteFailed, saved.message());
  }
}

std::string DomDocumentObject::Xml() const { return document_->Xml(); }

Variant DomDocumentObject::DocumentElement() const {
  return WrapDomNode(document_, document_->DocumentElement());
}

void DomDocumentObject::SetDocumentElement(const Variant& element) {
  CheckDom(document_->SetDocumentElement(DomNodeArgument(element)));
}

Ref<automation::Object> DomDocumentObject::ParseError() const {
  XmlParseError error = document_->ParseError();
  if (!transport_error_.empty()) error.reason = transport_error_;
  return MakeRef<DomParseError>(std::move(error), url_);
}

Variant DomDocumentObject::CreateNode(const Variant& type, const std::string& name,
                                      const std::string& namespace_uri) {
  if (!namespace_uri.empty()) {
    // The records never use namespaces; a node that silently lost its
    // namespace would be a different node.
    throw AutomationError(automation::E_INVALIDARG,
                          "nodes in a namespace are not supported (\"" + namespace_uri + "\")");
  }
  switch (NodeTypeArgument(type)) {
    case XmlNodeType::kAttribute:
      return CreateAttribute(name);
    case XmlNodeType::kText:
      return CreateTextNode(name);
    default:
      return CreateElement(name);
  }
}

Variant DomDocumentObject::CreateElement(const std::string& name) {
  return WrapDomNode(document_, CheckDom(document_->CreateElement(name)));
}

Variant DomDocumentObject::CreateAttribute(const std::string& name) {
  return WrapDomNode(document_, CheckDom(document_->CreateAttribute(name)));
}

Variant DomDocumentObject::CreateTextNode(const std::string& text) {
  return WrapDomNode(document_, CheckDom(document_->CreateTextNode(text)));
}

Variant DomDocumentObject::AppendChild(const Variant& child) {
  return AppendTo(document_, document_->Node(), child);
}

Variant DomDocumentObject::ChildNodes() const {
  return WrapList(document_, document_->ChildNodes());
}

Variant DomDocumentObject::SelectSingleNode(const std::string& xpath) const {
  return WrapDomNode(document_, CheckDom(document_->SelectSingleNode(xpath)));
}

Variant DomDocumentObject::SelectNodes(const std::string& xpath) const {
  return WrapList(document_, CheckDom(document_->SelectNodes(xpath)));
}

std::string DomDocumentObject::Text() const { return document_->Node().Text(); }

NORWIN_CLASS(DomDocumentObject) {
  PropertyRW("async", &DomDocumentObject::Async, &DomDocumentObject::SetAsync);
  Method("load", &DomDocumentObject::Load);
  Method("loadXML", &DomDocumentObject::LoadXml);
  Method("save", &DomDocumentObject::Save);
  Property("xml", &DomDocumentObject::Xml);
  PropertyRW("documentElement", &DomDocumentObject::DocumentElement,
             &DomDocumentObject::SetDocumentElement);
  Property("parseError", &DomDocumentObject::ParseError);
  Method("createNode", &DomDocumentObject::CreateNode, automation::Optional("namespaceURI", ""));
  Method("createElement", &DomDocumentObject::CreateElement);
  Method("createAttribute", &DomDocumentObject::CreateAttribute);
  Method("createTextNode", &DomDocumentObject::CreateTextNode);
  Method("appendChild", &DomDocumentObject::AppendChild);
  Property("childNodes", &DomDocumentObject::ChildNodes);
  Method("selectSingleNode", &DomDocumentObject::SelectSingleNode);
  Method("selectNodes", &DomDocumentObject::SelectNodes);
  Property("text", &DomDocumentObject::Text);
  Property("nodeName", &DomDocumentObject::NodeName);
  Property("nodeType", &DomDocumentObject::NodeType);
}

// ---------------------------------------------------------------------------
// DomNodeObject

DomNodeObject::DomNodeObject(std::shared_ptr<XmlDocument> document, XmlNode node)
    : document_(std::move(document)), node_(node) {}

std::string DomNodeObject::NodeName() const { return std::string(node_.NodeName()); }

int32_t DomNodeObject::NodeType() const { return static_cast<int32_t>(node_.NodeType()); }

std::string DomNodeObject::Text() const { return node_.Text(); }

void DomNodeObject::SetText(const std::string& text) { CheckDom(node_.SetText(text)); }

std::string DomNodeObject::Xml() const { return node_.Xml(); }

Variant DomNodeObject::NodeValue() const {
  switch (node_.NodeType()) {
    case XmlNodeType::kAttribute:
    case XmlNodeType::kText:
    case XmlNodeType::kCData:
      return Variant(node_.Text());
    default:
      return Variant::Null();
  }
}

Variant DomNodeObject::ParentNode() const { return WrapDomNode(document_, node_.ParentNode()); }
Variant DomNodeObject::FirstChild() const { return WrapDomNode(document_, node_.FirstChild()); }
Variant DomNodeObject::LastChild() const { return WrapDomNode(document_, node_.LastChild()); }
Variant DomNodeObject::NextSibling() const { return WrapDomNode(document_, node_.NextSibling()); }
Variant DomNodeObject::PreviousSibling() const {
  return WrapDomNode(document_, node_.PreviousSibling());
}
bool DomNodeObject::HasChildNodes() const { return node_.HasChildNodes(); }

Variant DomNodeObject::ChildNodes() const { return WrapList(document_, node_.ChildNodes()); }

Variant DomNodeObject::Attributes() const {
  // Only elements have attributes; the DOM gives null for other nodes.
  if (node_.NodeType() != XmlNodeType::kElement) return Variant::Null();
  return Variant(MakeRef<DomAttributeMap>(document_, node_.Attributes()));
}

Variant DomNodeObject::AppendChild(const Variant& child) {
  return AppendTo(document_, node_, child);
}

Variant DomNodeObject::RemoveChild(const Variant& child) {
  return WrapDomNode(document_, CheckDom(node_.RemoveChild(DomNodeArgument(child))));
}

Variant DomNodeObject::SelectSingleNode(const std::string& xpath) const {
  return WrapDomNode(document_, CheckDom(node_.SelectSingleNode(xpath)));
}

Variant DomNodeObject::SelectNodes(const std::string& xpath) const {
  return WrapList(document_, CheckDom(node_.SelectNodes(xpath)));
}

Variant DomNodeObject::GetAttribute(const std::string& name) const {
  const std::optional<std::string_view> value = node_.GetAttribute(name);
  if (!value) return Variant::Null();
  return Variant(std::string(*value));
}

void DomNodeObject::SetAttribute(const std::string& name, const Variant& value) {
  CheckDom(node_.SetAttribute(name, automation::ToString(value)));
}

Variant DomNodeObject::OwnerDocument() const {
  if (node_.IsNull()) return Variant::Nothing();
  return Variant(MakeRef<DomDocumentObject>(document_));
}

NORWIN_CLASS(DomNodeObject) {
  Property("nodeName", &DomNodeObject::NodeName);
  Property("nodeType", &DomNodeObject::NodeType);
  PropertyRW("text", &DomNodeObject::Text, &DomNodeObject::SetText);
  Property("xml", &DomNodeObject::Xml);
  Property("nodeValue", &DomNodeObject::NodeValue);
  Property("parentNode", &DomNodeObject::ParentNode);
  Property("firstChild", &DomNodeObject::FirstChild);
  Property("lastChild", &DomNodeObject::LastChild);
  Property("nextSibling", &DomNodeObject::NextSibling);
  Property("previousSibling", &DomNodeObject::PreviousSibling);
  Method("hasChildNodes", &DomNodeObject::HasChildNodes);
  Property("childNodes", &DomNodeObject::ChildNodes);
  Property("attributes", &DomNodeObject::Attributes);
  Method("appendChild", &DomNodeObject::AppendChild);
  Method("removeChild", &DomNodeObject::RemoveChild);
  Method("selectSingleNode", &DomNodeObject::SelectSingleNode);
  Method("selectNodes", &DomNodeObject::SelectNodes);
  Method("getAttribute", &DomNodeObject::GetAttribute);
  Method("setAttribute", &DomNodeObject::SetAttribute);
  Property("ownerDocument", &DomNodeObject::OwnerDocument);
}

// ---------------------------------------------------------------------------

Variant WrapDomNode(const std::shared_ptr<XmlDocument>& document, XmlNode node) {
  if (node.IsNull()) return Variant::Nothing();
  if (node.NodeType() == XmlNodeType::kDocument) {
    return Variant(MakeRef<DomDocumentObject>(document));
  }
  return Variant(MakeRef<DomNodeObject>(document, node));
}

XmlNode DomNodeArgument(const Variant& value) {
  automation::Object& object = automation::RequireObject(value);
  if (const auto* node = dynamic_cast<const DomNodeObject*>(&object)) {
    if (node->node().IsNull()) throw automation::RuntimeError(automation::kObjectNotSet);
    return node->node();
  }
  if (const auto* doc = dynamic_cast<const DomDocumentObject*>(&object)) {
    return doc->document().Node();
  }
  throw automation::RuntimeError(automation::kObjectRequired);
}

XmlDocument& DomDocumentArgument(const Variant& value) {
  automation::Object& object = automation::RequireObject(value);
  if (const auto* doc = dynamic_cast<const DomDocumentObject*>(&object)) return doc->document();
  if (const auto* node = dynamic_cast<const DomNodeObject*>(&object)) return node->document();
  throw automation::RuntimeError(automation::kObjectRequired);
}

}  // namespace norwin::datalayer
