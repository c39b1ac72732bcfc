// XmlNode, XmlNodeList and XmlNamedNodeMap: reading and changing the tree
// through handles.
#include <algorithm>
#include <cstdint>
#include <string>

#include "norwin/datalayer/xml_dom.h"
#include "xml_encoding.h"
#include "xml_internal.h"

namespace norwin::datalayer {

namespace {

using A = XmlDomAccess;
using internal::StrCat;
using internal::TrimXmlSpace;

bool IsText(pugi::xml_node n) {
  const pugi::xml_node_type type = n.type();
  return type == pugi::node_pcdata || type == pugi::node_cdata;
}

std::string_view TypeName(pugi::xml_node_type type) {
  switch (type) {
    case pugi::node_document:
      return "document";
    case pugi::node_element:
      return "element";
    case pugi::node_pcdata:
      return "text";
    case pugi::node_cdata:
      return "CDATA section";
    case pugi::node_comment:
      return "comment";
    default:
      return "processing instruction";
  }
}

// Whether the node name `name` is `wanted`, without measuring `name` first.
bool NameIs(const char* name, std::string_view wanted) {
  for (const char c : wanted) {
    if (*name++ != c) return false;  // a shorter name stops at its end
  }
  return *name == '\0';
}

// The text of `element` as Text() gives it, when the element holds no node
// or a single text node: a record field, read with the fewest calls into
// pugixml (a roster's load reads 70,000 of them). False when it holds more.
bool ReadFieldText(pugi::xml_node element, std::string& out) {
  const pugi::xml_node first = element.first_child();
  // type() answers node_null for a missing node.
  const pugi::xml_node_type first_type = first.type();
  if (first_type == pugi::node_null) {
    out.clear();
    return true;
  }
  if ((first_type == pugi::node_pcdata || first_type == pugi::node_cdata) &&
      first.next_sibling().type() == pugi::node_null) {
    out.assign(TrimXmlSpace(first.value()));
    return true;
  }
  return false;
}

pugi::xml_attribute FindAttribute(pugi::xml_node element, std::string_view name) {
  for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute()) {
    if (name == a.name()) return a;
  }
  return pugi::xml_attribute();
}

// Sets or adds the named attribute; an empty attribute when memory runs out.
pugi::xml_attribute PutAttribute(pugi::xml_node element, std::string_view name,
                                 std::string_view value) {
  pugi::xml_attribute attr = FindAttribute(element, name);
  if (!attr) attr = element.append_attribute(std::string(name).c_str());
  if (!attr || !attr.set_value(value.data(), value.size())) return pugi::xml_attribute();
  return attr;
}

}  // namespace

namespace internal {

void AppendEscapedAttribute(std::string& out, std::string_view value) {
  for (char c : value) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '"':
        out += "&quot;";
        break;
      // Kept as references: a parser turns literal ones into spaces.
      case '\t':
        out += "&#9;";
        break;
      case '\n':
        out += "&#10;";
        break;
      case '\r':
        out += "&#13;";
        break;
      default:
        out.push_back(c);
    }
  }
}

}  // namespace internal

// --- XmlNode ---------------------------------------------------------------

XmlNodeType XmlNode::NodeType() const {
  if (IsNull()) return XmlNodeType::kNull;
  if (attr_) return XmlNodeType::kAttribute;
  switch (A::Node(*this).type()) {
    case pugi::node_document:
      return XmlNodeType::kDocument;
    case pugi::node_element:
      return XmlNodeType::kElement;
    case pugi::node_pcdata:
      return XmlNodeType::kText;
    case pugi::node_cdata:
      return XmlNodeType::kCData;
    case pugi::node_comment:
      return XmlNodeType::kComment;
    case pugi::node_pi:
    case pugi::node_declaration:
      return XmlNodeType::kProcessingInstruction;
    case pugi::node_doctype:
      return XmlNodeType::kDocumentType;
    case pugi::node_null:
      break;
  }
  return XmlNodeType::kNull;
}

std::string_view XmlNode::NodeName() const {
  switch (NodeType()) {
    case XmlNodeType::kNull:
      return {};
    case XmlNodeType::kAttribute:
      return A::Attr(*this).name();
    case XmlNodeType::kText:
      return "#text";
    case XmlNodeType::kCData:
      return "#cdata-section";
    case XmlNodeType::kComment:
      return "#comment";
    case XmlNodeType::kDocument:
      return "#document";
    default:
      return A::Node(*this).name();
  }
}

std::string XmlNode::Text() const {
  if (IsNull()) return {};
  if (attr_) return A::Attr(*this).value();
  const pugi::xml_node node = A::Node(*this);
  if (IsText(node)) return std::string(TrimXmlSpace(node.value()));
  std::string out;
  if (ReadFieldText(node, out)) return out;

  // Every descendant text node in document order; iterative, so that a
  // deeply nested document cannot exhaust the stack.
  pugi::xml_node n = node.first_child();
  for (;;) {
    if (IsText(n)) {
      out.append(n.value());
    } else if (pugi::xml_node child = n.first_child(); child && !A::IsFreeStore(*doc_, n)) {
      n = child;
      continue;
    }
    while (n != node && !n.next_sibling()) n = n.parent();
    if (n == node) break;
    n = n.next_sibling();
  }
  const std::string_view trimmed = TrimXmlSpace(out);
  if (trimmed.size() != out.size()) {
    out.erase(static_cast<size_t>(trimmed.data() + trimmed.size() - out.data()));
    out.erase(0, static_cast<size_t>(trimmed.data() - out.data()));
  }
  return out;
}

Status XmlNode::SetText(std::string_view text) const {
  if (IsNull()) return Status::Error("cannot set the text of a missing node");
  if (!internal::IsValidText(text)) return Status::Error("the text is not valid UTF-8");
  const Status kNoMemory = Status::Error("out of memory setting the text of a node");
  if (attr_) return A::Attr(*this).set_value(text.data(), text.size()) ? Status::Ok() : kNoMemory;
  pugi::xml_node node = A::Node(*this);
  switch (node.type()) {
    case pugi::node_document:
      return Status::Error("the text of a document cannot be set; set that of its root element");
    case pugi::node_element:
      break;
    default:
      return node.set_value(text.data(), text.size()) ? Status::Ok() : kNoMemory;
  }

  pugi::xml_node first = node.first_child();
  if (first && !first.next_sibling() && first.type() == pugi::node_pcdata && !text.empty())
    return first.set_value(text.data(), text.size()) ? Status::Ok() : kNoMemory;
  // The old children leave the tree but stay valid for handles to them.
  if (first) {
    pugi::xml_node store = A::FreeStore(*doc_);
    if (!store) return kNoMemory;
    while (pugi::xml_node child = node.first_child()) {
      if (!store.append_move(child)) return kNoMemory;
    }
    A::Changed(*doc_);
  }
  if (text.empty()) return Status::Ok();
  pugi::xml_node text_node = node.append_child(pugi::node_pcdata);
  if (!text_node || !text_node.set_value(text.data(), text.size())) return kNoMemory;
  A::Changed(*doc_);
  return Status::Ok();
}

std::string XmlNode::Xml() const {
  if (IsNull()) return {};
  std::string out;
  if (attr_) {
    const pugi::xml_attribute attr = A::Attr(*this);
    out.append(attr.name());
    out.append("=\"");
    internal::AppendEscapedAttribute(out, attr.value());
    out.push_back('"');
    return out;
  }
  const pugi::xml_node node = A::Node(*this);
  if (node.type() == pugi::node_document) return doc_->Xml();
  internal::PrintNode(node, out, "", pugi::format_raw);
  return out;
}

XmlNode XmlNode::ParentNode() const {
  if (IsNull() || attr_) return XmlNode();
  const pugi::xml_node parent = A::Node(*this).parent();
  if (A::IsFreeStore(*doc_, parent)) return XmlNode();
  return A::Make(doc_, parent);
}

XmlNode XmlNode::FirstChild() const {
  if (IsNull() || attr_) return XmlNode();
  return A::Make(doc_, A::Visible(*doc_, A::Node(*this).first_child()));
}

XmlNode XmlNode::LastChild() const {
  if (IsNull() || attr_) return XmlNode();
  return A::Make(doc_, A::VisibleBack(*doc_, A::Node(*this).last_child()));
}

XmlNode XmlNode::NextSibling() const {
  if (IsNull() || attr_) return XmlNode();
  const pugi::xml_node node = A::Node(*this);
  // Only a document that has had nodes taken out has a free store to keep
  // out of sight; asking for the parent first is the cost of every walk.
  if (A::HasFreeStore(*doc_) && A::IsFreeStore(*doc_, node.parent())) return XmlNode();
  return A::Make(doc_, A::Visible(*doc_, node.next_sibling()));
}

XmlNode XmlNode::PreviousSibling() const {
  if (IsNull() || attr_) return XmlNode();
  const pugi::xml_node node = A::Node(*this);
  if (A::HasFreeStore(*doc_) && A::IsFreeStore(*doc_, node.parent())) return XmlNode();
  return A::Make(doc_, A::VisibleBack(*doc_, node.previous_sibling()));
}

bool XmlNode::HasChildNodes() const { return !FirstChild().IsNull(); }

// Both walk pugixml's nodes directly: a record of 10,000 students is read
// through these, and a handle made and checked at every step cost more than
// the parse.
std::vector<XmlNode> XmlNode::ChildElements() const {
  std::vector<XmlNode> elements;
  if (IsNull() || attr_) return elements;
  for (pugi::xml_node child = A::Node(*this).first_child(); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_element && !A::IsFreeStore(*doc_, child))
      elements.push_back(A::Make(doc_, child));
  }
  return elements;
}

void XmlNode::FindChildElements(std::span<const std::string_view> names, std::span<XmlNode> found,
                                std::span<std::string> texts) const {
  std::fill(found.begin(), found.end(), XmlNode());
  for (std::string& text : texts) text.clear();
  if (IsNull() || attr_) return;
  size_t missing = names.size();
  for (pugi::xml_node child = A::Node(*this).first_child(); missing > 0;
       child = child.next_sibling()) {
    // Each test of a pugixml node is a call into the library: type() also
    // answers node_null past the last child.
    const pugi::xml_node_type type = child.type();
    if (type == pugi::node_null) break;
    if (type != pugi::node_element || A::IsFreeStore(*doc_, child)) continue;
    const char* name = child.name();
    for (size_t i = 0; i < names.size(); ++i) {
      if (found[i].IsNull() && NameIs(name, names[i])) {
        found[i] = A::MakePresent(doc_, child);
        if (i < texts.size() && !ReadFieldText(child, texts[i])) texts[i] = found[i].Text();
        --missing;
        break;
      }
    }
  }
}

XmlNodeList XmlNode::ChildNodes() const {
  if (IsNull() || attr_) return XmlNodeList();
  return A::LiveList(*this);
}

Result<XmlNode> XmlNode::AppendChild(XmlNode child) const {
  if (IsNull()) return Status::Error("cannot append a node to a missing node");
  if (child.IsNull()) return Status::Error("cannot append a missing node");
  if (attr_) return Status::Error("an attribute cannot hold child nodes");
  pugi::xml_node parent = A::Node(*this);
  if (parent.type() != pugi::node_element && parent.type() != pugi::node_document)
    return Status::Error(StrCat({"a ", TypeName(parent.type()), " node cannot hold child nodes"}));
  if (child.attr_)
    return Status::Error("an attribute is not a child node; add it with SetNamedItem");
  const pugi::xml_node node = A::Node(child);
  if (node.type() == pugi::node_document)
    return Status::Error("a document cannot be appended to a node");
  if (parent.type() == pugi::node_document) {
    if (node.type() != pugi::node_element)
      return Status::Error(
          StrCat({"a ", TypeName(node.type()), " node cannot stand outside the root element"}));
    const XmlNode root = doc_->DocumentElement();
    if (!root.IsNull() && root != child)
      return Status::Error(
          StrCat({"the document already has the root element \"", root.NodeName(), "\""}));
  }

  pugi::xml_node added;
  if (child.doc_ == doc_) {
    for (pugi::xml_node p = parent; p; p = p.parent()) {
      if (p == node)
        return Status::Error("a node cannot be appended to itself or to one of its descendants");
    }
    added = parent.append_move(node);
  } else {
    added = parent.append_copy(node);
  }
  if (!added) return Status::Error("out of memory appending a node");
  A::Changed(*doc_);
  return A::Make(doc_, added);
}

Result<XmlNode> XmlNode::RemoveChild(XmlNode child) const {
  if (IsNull() || child.IsNull() || child.doc_ != doc_ || child.attr_ ||
      A::Node(child).parent() != A::Node(*this) || A::IsFreeStore(*doc_, A::Node(child)))
    return Status::Error("the node to remove is not a child of this node");
  pugi::xml_node store = A::FreeStore(*doc_);
  pugi::xml_node moved = store ? store.append_move(A::Node(child)) : pugi::xml_node();
  if (!moved) return Status::Error("out of memory removing a node");
  A::Changed(*doc_);
  return A::Make(doc_, moved);
}

XmlNamedNodeMap XmlNode::Attributes() const {
  if (NodeType() != XmlNodeType::kElement) return XmlNamedNodeMap();
  return A::AttributeMap(*this);
}

std::optional<std::string_view> XmlNode::GetAttribute(std::string_view name) const {
  if (NodeType() != XmlNodeType::kElement) return std::nullopt;
  const pugi::xml_attribute attr = FindAttribute(A::Node(*this), name);
  if (!attr) return std::nullopt;
  return std::string_view(attr.value());
}

Status XmlNode::SetAttribute(std::string_view name, std::string_view value) const {
  if (NodeType() != XmlNodeType::kElement)
    return Status::Error(StrCat({"only an element has attributes; cannot set \"", name, "\""}));
  if (!internal::IsXmlName(name))
    return Status::Error(StrCat({"\"", name, "\" is not a valid XML name"}));
  if (!internal::IsValidText(value)) return Status::Error("the value is not valid UTF-8");
  if (!PutAttribute(A::Node(*this), name, value))
    return Status::Error("out of memory setting an attribute");
  return Status::Ok();
}

XmlDocument* XmlNode::OwnerDocument() const { return IsNull() ? nullptr : doc_; }

bool operator==(const XmlNode& a, const XmlNode& b) {
  if (a.IsNull() || b.IsNull()) return a.IsNull() && b.IsNull();
  return a.node_ == b.node_ && a.attr_ == b.attr_;
}

// --- XmlNodeList -------------------------------------------------------------

size_t XmlNodeList::Length() const {
  // The nodes of a selection share one document: after a reload, none is left.
  if (!live_) return nodes_.empty() || nodes_.front().IsNull() ? 0 : nodes_.size();
  if (parent_.IsNull()) return 0;
  const XmlDocument& doc = *A::Doc(parent_);
  if (!cache_valid_ || generation_ != A::Generation(doc)) {
    cache_valid_ = true;
    generation_ = A::Generation(doc);
    length_ = SIZE_MAX;
    cursor_index_ = 0;
    cursor_ = A::Visible(doc, A::Node(parent_).first_child()).internal_object();
  }
  if (length_ == SIZE_MAX) {
    size_t count = 0;
    for (pugi::xml_node n = A::Visible(doc, A::Node(parent_).first_child()); n;
         n = A::Visible(doc, n.next_sibling()))
      ++count;
    length_ = count;
  }
  return length_;
}

XmlNode XmlNodeList::Item(size_t index) const {
  if (!live_) return index < Length() ? nodes_[index] : XmlNode();
  if (index >= Length()) return XmlNode();  // also brings the cache up to date
  const XmlDocument& doc = *A::Doc(parent_);
  pugi::xml_node n(cursor_);
  size_t at = cursor_index_;
  // Start from whichever of the cursor, the first and the last child is nearest.
  const size_t from_cursor = index > at ? index - at : at - index;
  if (index < from_cursor) {
    n = A::Visible(doc, A::Node(parent_).first_child());
    at = 0;
  }
  if (length_ - 1 - index < (index > at ? index - at : at - index)) {
    n = A::VisibleBack(doc, A::Node(parent_).last_child());
    at = length_ - 1;
  }
  while (at < index) {
    n = A::Visible(doc, n.next_sibling());
    ++at;
  }
  while (at > index) {
    n = A::VisibleBack(doc, n.previous_sibling());
    --at;
  }
  cursor_ = n.internal_object();
  cursor_index_ = index;
  return A::Make(&doc, n);
}

// --- XmlNamedNodeMap ---------------------------------------------------------

size_t XmlNamedNodeMap::Length() const {
  if (element_.IsNull()) return 0;
  size_t count = 0;
  for (pugi::xml_attribute a = A::Node(element_).first_attribute(); a; a = a.next_attribute())
    ++count;
  return count;
}

XmlNode XmlNamedNodeMap::Item(size_t index) const {
  if (element_.IsNull()) return XmlNode();
  const pugi::xml_node element = A::Node(element_);
  pugi::xml_attribute a = element.first_attribute();
  for (size_t i = 0; a && i < index; ++i) a = a.next_attribute();
  return A::MakeAttribute(A::Doc(element_), element, a);
}

XmlNode XmlNamedNodeMap::GetNamedItem(std::string_view name) const {
  if (element_.IsNull()) return XmlNode();
  const pugi::xml_node element = A::Node(element_);
  return A::MakeAttribute(A::Doc(element_), element, FindAttribute(element, name));
}

Result<XmlNode> XmlNamedNodeMap::SetNamedItem(XmlNode attribute) const {
  if (element_.IsNull()) return Status::Error("the attribute map belongs to no element");
  if (attribute.NodeType() != XmlNodeType::kAttribute)
    return Status::Error("only an attribute can be put in an attribute map");
  const pugi::xml_node element = A::Node(element_);
  if (A::Node(attribute) == element) return attribute;
  const pugi::xml_attribute source = A::Attr(attribute);
  const pugi::xml_attribute put = PutAttribute(element, source.name(), source.value());
  if (!put) return Status::Error("out of memory setting an attribute");
  return A::MakeAttribute(A::Doc(element_), element, put);
}

}  // namespace norwin::datalayer
