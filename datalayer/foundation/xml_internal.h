// Private to the XML DOM: how its handles reach the pugixml tree behind them.
//
// Nodes created and not yet appended, and nodes taken out of the tree, live
// under one extra element of the pugixml document, the free store: pugixml
// keeps every node inside a tree, and handles to such nodes must stay valid.
// The free store is a child of the document node that every walk of the
// tree skips (children, serialisation, XPath results).
#pragma once

#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {

class XmlDomAccess {
 public:
  static XmlNode Make(const XmlDocument* doc, pugi::xml_node node) {
    if (!node) return XmlNode();
    return XmlNode(const_cast<XmlDocument*>(doc), node.internal_object(), nullptr, doc->epoch_);
  }
  // The same for a node known not to be empty.
  static XmlNode MakePresent(const XmlDocument* doc, pugi::xml_node node) {
    return XmlNode(const_cast<XmlDocument*>(doc), node.internal_object(), nullptr, doc->epoch_);
  }
  static XmlNode MakeAttribute(const XmlDocument* doc, pugi::xml_node element,
                               pugi::xml_attribute attr) {
    if (!element || !attr) return XmlNode();
    return XmlNode(const_cast<XmlDocument*>(doc), element.internal_object(), attr.internal_object(),
                   doc->epoch_);
  }

  static XmlDocument* Doc(const XmlNode& n) { return n.doc_; }
  static pugi::xml_node Node(const XmlNode& n) { return pugi::xml_node(n.node_); }
  static pugi::xml_attribute Attr(const XmlNode& n) { return pugi::xml_attribute(n.attr_); }
  static bool IsAttribute(const XmlNode& n) { return n.attr_ != nullptr; }

  static pugi::xml_document& Pugi(const XmlDocument& doc) { return *doc.doc_; }
  static XmlParseError& ParseErrorOf(XmlDocument& doc) { return doc.parse_error_; }

  // Empties the document. Handles taken before are null from now on.
  static void Reset(XmlDocument& doc) {
    doc.doc_->reset();
    doc.free_nodes_ = nullptr;
    ++doc.epoch_;
    ++doc.generation_;
  }

  // The free store, made when first needed; an empty node when memory runs out.
  static pugi::xml_node FreeStore(XmlDocument& doc) {
    if (!doc.free_nodes_) {
      pugi::xml_node store = doc.doc_->append_child(pugi::node_element);
      // Not an XML name, so that no XPath name test can match it.
      if (!store || !store.set_name("#free")) return pugi::xml_node();
      doc.free_nodes_ = store.internal_object();
    }
    return pugi::xml_node(doc.free_nodes_);
  }
  static bool IsFreeStore(const XmlDocument& doc, pugi::xml_node node) {
    return doc.free_nodes_ != nullptr && node.internal_object() == doc.free_nodes_;
  }
  static bool HasFreeStore(const XmlDocument& doc) { return doc.free_nodes_ != nullptr; }
  // For a node in the free store, the ancestor-or-self that is a child of
  // the store (the top of the detached subtree); an empty node for a node in
  // the tree.
  static pugi::xml_node FreeRoot(const XmlDocument& doc, pugi::xml_node node) {
    if (!doc.free_nodes_) return pugi::xml_node();
    for (pugi::xml_node n = node; n; n = n.parent()) {
      if (n.parent().internal_object() == doc.free_nodes_) return n;
    }
    return pugi::xml_node();
  }
  // A detached attribute lives alone on a holder element in the free store.
  static constexpr const char* kAttributeHolder = "#attr";
  static bool IsAttributeHolder(const XmlDocument& doc, pugi::xml_node node) {
    return node.parent().internal_object() == doc.free_nodes_ && doc.free_nodes_ != nullptr &&
           std::string_view(node.name()) == kAttributeHolder;
  }
  // Skips the free store among the children of the document node.
  static pugi::xml_node Visible(const XmlDocument& doc, pugi::xml_node node) {
    return IsFreeStore(doc, node) ? node.next_sibling() : node;
  }
  static pugi::xml_node VisibleBack(const XmlDocument& doc, pugi::xml_node node) {
    return IsFreeStore(doc, node) ? node.previous_sibling() : node;
  }

  // Every change of the tree's shape goes through here, for the live lists.
  static void Changed(XmlDocument& doc) { ++doc.generation_; }
  static uint64_t Generation(const XmlDocument& doc) { return doc.generation_; }

  static XmlNodeList LiveList(const XmlNode& parent) {
    XmlNodeList list;
    list.live_ = true;
    list.parent_ = parent;
    return list;
  }
  static XmlNodeList FixedList(std::vector<XmlNode> nodes) {
    XmlNodeList list;
    list.nodes_ = std::move(nodes);
    return list;
  }
  static XmlNamedNodeMap AttributeMap(const XmlNode& element) {
    XmlNamedNodeMap map;
    map.element_ = element;
    return map;
  }
};

namespace internal {

// Serialises nodes into a string.
class StringWriter : public pugi::xml_writer {
 public:
  explicit StringWriter(std::string& out) : out_(out) {}
  void write(const void* data, size_t size) override {
    out_.append(static_cast<const char*>(data), size);
  }

 private:
  std::string& out_;
};

// Appends `node` serialised to `out`, as pugixml prints it except that every
// carriage return of text is written as "&#13;": the parser turns a CR
// written as it is into a line feed, and "Ann\r\nMarie" must read back as
// itself; and text of white space alone is written as references too, since
// a load drops it as layout. (Attribute values are escaped whole by pugixml
// already; comments, CDATA sections and processing instructions cannot hold
// references.)
void PrintNode(const pugi::xml_node& node, std::string& out, const char* indent, unsigned flags);

// Appends `value` escaped for an attribute value in double quotes.
void AppendEscapedAttribute(std::string& out, std::string_view value);

}  // namespace internal
}  // namespace norwin::datalayer
