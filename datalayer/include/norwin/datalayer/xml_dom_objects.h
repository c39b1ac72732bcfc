// The XML DOM as automation objects: the document, node, node-list and
// attribute-map objects that page script creates ("MSXML2.DOMDocument") and
// that the record classes take and give in LoadFromXMLNode(theNode, ...) and
// SaveToXMLNode(theNode, theDoc, ...). Members carry the DOM's script names
// (`documentElement`, `selectSingleNode`, `createNode`, `text`, `xml`, ...).
//
// Ownership: a DomDocumentObject owns its XmlDocument through a shared
// pointer, and every node, list and map object made from it holds that
// pointer too, so a node a script keeps stays usable after the document
// object is released. Handles follow the rules of xml_dom.h: a load makes
// earlier node objects null nodes, never dangling ones.
//
// Errors reach script as AutomationError: a DOM operation the document
// refuses (a name that is no XML name, a node of another document) raises
// E_INVALIDARG with the DOM's message; a missing node where one is required
// raises 91 "Object variable or With block variable not set".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "norwin/automation/binder.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"
#include "norwin/datalayer/library_classes.h"
#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {

// A document: `async`, `load`, `loadXML`, `save`, `xml`, `documentElement`,
// `parseError`, `createNode`, `createElement`, `createAttribute`,
// `createTextNode`, `appendChild`, `childNodes`, `selectSingleNode`,
// `selectNodes`, `nodeName` ("#document"), `nodeType` (9), `text`.
class DomDocumentObject : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  // A new, empty document.
  DomDocumentObject();
  // A script view of `document`, which the object shares.
  explicit DomDocumentObject(std::shared_ptr<XmlDocument> document);

  XmlDocument& document() const { return *document_; }
  const std::shared_ptr<XmlDocument>& shared_document() const { return document_; }

  // Script members (named as script names them; see the .cc table).
  bool Async() const { return async_; }
  void SetAsync(bool async) { async_ = async; }
  // False when the file is missing or not well-formed; parseError says why.
  bool Load(const std::string& path);
  bool LoadXml(const std::string& text);
  // Raises kLocalWriteFailed (record_storage.h) when the file cannot be written.
  void Save(const std::string& path);
  std::string Xml() const;
  automation::Variant DocumentElement() const;
  void SetDocumentElement(const automation::Variant& element);
  automation::Ref<automation::Object> ParseError() const;
  automation::Variant CreateNode(const automation::Variant& type, const std::string& name,
                                 const std::string& namespace_uri);
  automation::Variant CreateElement(const std::string& name);
  automation::Variant CreateAttribute(const std::string& name);
  automation::Variant CreateTextNode(const std::string& text);
  automation::Variant AppendChild(const automation::Variant& child);
  automation::Variant ChildNodes() const;
  automation::Variant SelectSingleNode(const std::string& xpath) const;
  automation::Variant SelectNodes(const std::string& xpath) const;
  std::string Text() const;
  std::string NodeName() const { return "#document"; }
  int32_t NodeType() const { return static_cast<int32_t>(XmlNodeType::kDocument); }

 private:
  std::shared_ptr<XmlDocument> document_;
  bool async_ = true;
  // The address of the last load, and why it could not be fetched (empty
  // when the text arrived), for parseError.
  std::string url_;
  std::string transport_error_;
  LibraryObjectLock lock_;
};

// One node (element, attribute, text): `nodeName`, `nodeType`, `text`
// (get and put), `xml`, `parentNode`, `firstChild`, `lastChild`,
// `nextSibling`, `previousSibling`, `hasChildNodes`, `childNodes`,
// `attributes`, `appendChild`, `removeChild`, `selectSingleNode`,
// `selectNodes`, `getAttribute`, `setAttribute`, `ownerDocument`,
// `nodeValue`.
class DomNodeObject : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  DomNodeObject(std::shared_ptr<XmlDocument> document, XmlNode node);

  XmlNode node() const { return node_; }
  XmlDocument& document() const { return *document_; }
  const std::shared_ptr<XmlDocument>& shared_document() const { return document_; }

  std::string NodeName() const;
  int32_t NodeType() const;
  std::string Text() const;
  void SetText(const std::string& text);
  std::string Xml() const;
  automation::Variant NodeValue() const;
  automation::Variant ParentNode() const;
  automation::Variant FirstChild() const;
  automation::Variant LastChild() const;
  automation::Variant NextSibling() const;
  automation::Variant PreviousSibling() const;
  bool HasChildNodes() const;
  automation::Variant ChildNodes() const;
  automation::Variant Attributes() const;
  automation::Variant AppendChild(const automation::Variant& child);
  automation::Variant RemoveChild(const automation::Variant& child);
  automation::Variant SelectSingleNode(const std::string& xpath) const;
  automation::Variant SelectNodes(const std::string& xpath) const;
  // Null when the element has no such attribute.
  automation::Variant GetAttribute(const std::string& name) const;
  void SetAttribute(const std::string& name, const automation::Variant& value);
  automation::Variant OwnerDocument() const;

 private:
  std::shared_ptr<XmlDocument> document_;
  XmlNode node_;
  LibraryObjectLock lock_;
};

// For a record class's script entry points and for script-visible results.

// The script object for `node` of `document`: Nothing (an empty object
// Variant) for a null handle, a DomDocumentObject for the document node,
// a DomNodeObject otherwise.
automation::Variant WrapDomNode(const std::shared_ptr<XmlDocument>& document, XmlNode node);

// The node a caller passed as `theNode`: a DomNodeObject's node, or a
// DomDocumentObject's document node. Raises 91 "Object variable or With
// block variable not set" for Nothing and for a node a later load of its
// document has removed, and 424 "Object required" for anything else (Null,
// a string, another class's object).
XmlNode DomNodeArgument(const automation::Variant& value);
// The document a caller passed as `theDoc`: a DomDocumentObject's document,
// or the owner of a DomNodeObject's node. Raises as DomNodeArgument does.
XmlDocument& DomDocumentArgument(const automation::Variant& value);

}  // namespace norwin::datalayer
