// The XML DOM of the record storage: every record (roster, course list,
// exam, lesson, ...) is an XML document read and written through these
// classes, whose names follow the DOM the record classes were written
// against (`selectSingleNode` is SelectSingleNode, `childNodes` ChildNodes).
//
// Ownership and lifetimes:
// - XmlDocument owns every node. It is neither copied nor moved, so that the
//   handles it gives out stay bound to it; hold it by value or by pointer.
// - XmlNode, XmlNodeList and XmlNamedNodeMap are cheap non-owning handles;
//   the document must outlive them. A load (Load, LoadXml) replaces the
//   whole tree: handles taken before it become null handles, never dangling
//   ones. Otherwise no operation frees a node: nodes taken out of the tree
//   (RemoveChild, SetText) stay valid and can be appended again. Names and
//   values returned as string views live until that name or value changes.
// - A handle to a missing node is a null handle (IsNull()). Every operation on
//   a null handle is harmless: reads give empty results, writes fail with a
//   Status.
//
// Text rules, as the records expect them:
// - White-space-only text between elements is not kept when a document is
//   read, so ChildNodes() of a record element counts its child elements.
//   Comments, processing instructions and the document type declaration are
//   not part of the tree either.
// - Text() of a node is the text of all its descendant text nodes joined in
//   document order, with white space removed at both ends.
//
// Encodings: documents are read as UTF-8, UTF-16 (little or big endian, with
// a byte-order mark or recognisable from their first character), or 8-bit
// documents declared "windows-1252" or "ISO-8859-1". Saved documents are
// UTF-8 with an XML declaration. All strings in and out of this API are UTF-8.
//
// One thread at a time may use a document and its handles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "norwin/platform/status.h"

namespace pugi {
class xml_document;
struct xml_node_struct;
struct xml_attribute_struct;
}  // namespace pugi

namespace norwin::datalayer {

class XmlDocument;
class XmlNodeList;
class XmlNamedNodeMap;
class XmlDomAccess;

// Node types, numbered as the DOM numbers them.
enum class XmlNodeType : int {
  kNull = 0,  // a null handle
  kElement = 1,
  kAttribute = 2,
  kText = 3,
  kCData = 4,
  kProcessingInstruction = 7,
  kComment = 8,
  kDocument = 9,
  kDocumentType = 10,
};

// A handle to one node of a document (an element, an attribute, a text node
// or the document itself). Copy it freely; see the lifetime rules above.
class XmlNode {
 public:
  // A null handle.
  XmlNode() = default;

  bool IsNull() const;
  XmlNodeType NodeType() const;
  // The element's or attribute's name; "#text", "#cdata-section",
  // "#comment" or "#document" for those nodes; empty for a null handle. The
  // view lives as long as the node keeps its name.
  std::string_view NodeName() const;

  // The joined text of the node's descendants, trimmed (see above). For an
  // attribute, its value as it stands.
  std::string Text() const;
  // Replaces the content of an element with one text node holding `text`
  // (none when `text` is empty), or sets the value of an attribute or text
  // node. Fails for a null handle, the document node, or text that is not
  // valid UTF-8.
  [[nodiscard]] Status SetText(std::string_view text) const;
  // The node serialised as XML, without indentation; empty for a null handle.
  std::string Xml() const;

  // Tree navigation; each gives a null handle where there is no such node.
  // An attribute has no parent, and neither has a node not in the tree.
  XmlNode ParentNode() const;
  XmlNode FirstChild() const;
  XmlNode LastChild() const;
  XmlNode NextSibling() const;
  XmlNode PreviousSibling() const;
  bool HasChildNodes() const;
  // The live list of child nodes (empty for a null handle or an attribute).
  XmlNodeList ChildNodes() const;
  // The child elements, in order: one walk, for readers that visit each
  // element of a large record once.
  std::vector<XmlNode> ChildElements() const;
  // For each of `names`, the first child element of that name (found[i] for
  // names[i]; a null handle where there is none): what SelectSingleNode(name)
  // finds for each. The names are distinct, and `found` holds as many handles
  // as `names` has names. With `texts`, texts[i] is also found[i].Text() for
  // each of the first texts.size() names (empty where there is no element):
  // a record's fields read in the same walk.
  void FindChildElements(std::span<const std::string_view> names, std::span<XmlNode> found,
                         std::span<std::string> texts = {}) const;

  // Appends `child` as the last child of this element or document and
  // returns it. A node of this document moves from wherever it was; a node of
  // another document is copied, and the copy is returned. Fails when this
  // node cannot hold children, when `child` is null, an attribute or a
  // document, when `child` is this node or one of its ancestors, and when a
  // document would get a second root element or top-level text.
  [[nodiscard]] Result<XmlNode> AppendChild(XmlNode child) const;
  // Takes `child` out of this node's children and returns it; the node stays
  // valid and can be appended again. Fails when `child` is not a child of
  // this node.
  [[nodiscard]] Result<XmlNode> RemoveChild(XmlNode child) const;

  // XPath 1.0 relative to this node. SelectSingleNode gives the first
  // matching node in document order or a null handle when none matches;
  // SelectNodes gives every match, in document order. Fails, naming the
  // fault, for an expression that is not valid XPath or does not select
  // nodes. Compiled expressions are cached per thread.
  [[nodiscard]] Result<XmlNode> SelectSingleNode(std::string_view xpath) const;
  [[nodiscard]] Result<XmlNodeList> SelectNodes(std::string_view xpath) const;

  // The element's attributes (an empty map for other nodes).
  XmlNamedNodeMap Attributes() const;
  // The value of the named attribute, or nullopt when the element has none.
  // The view lives until the attribute's value changes.
  std::optional<std::string_view> GetAttribute(std::string_view name) const;
  // Sets or adds the named attribute. Fails for anything but an element, for
  // a name that is not an XML name, and for a value that is not UTF-8.
  [[nodiscard]] Status SetAttribute(std::string_view name, std::string_view value) const;

  // The document the node belongs to; null for a null handle.
  XmlDocument* OwnerDocument() const;

  // Handles are equal when they name the same node (all null handles are equal).
  friend bool operator==(const XmlNode& a, const XmlNode& b);

 private:
  friend class XmlDomAccess;
  XmlNode(XmlDocument* doc, pugi::xml_node_struct* node, pugi::xml_attribute_struct* attr,
          uint32_t epoch)
      : doc_(doc), node_(node), attr_(attr), epoch_(epoch) {}

  XmlDocument* doc_ = nullptr;
  // The node; for an attribute, the element that holds it.
  pugi::xml_node_struct* node_ = nullptr;
  pugi::xml_attribute_struct* attr_ = nullptr;
  // The document's load count when the handle was made (see XmlDocument).
  uint32_t epoch_ = 0;
};

// A list of nodes: either the live children of a node (ChildNodes; it
// follows later changes to the tree) or the fixed result of SelectNodes.
// Walking it by index from 0 to Length() - 1 costs O(1) a step.
class XmlNodeList {
 public:
  XmlNodeList() = default;

  size_t Length() const;
  // The node at `index` (0-based); a null handle past the end.
  XmlNode Item(size_t index) const;

  class Iterator {
   public:
    using value_type = XmlNode;
    using difference_type = std::ptrdiff_t;
    Iterator() = default;
    Iterator(const XmlNodeList* list, size_t index) : list_(list), index_(index) {}
    XmlNode operator*() const { return list_->Item(index_); }
    Iterator& operator++() {
      ++index_;
      return *this;
    }
    Iterator operator++(int) {
      Iterator old = *this;
      ++index_;
      return old;
    }
    bool operator==(const Iterator& other) const { return index_ == other.index_; }

   private:
    const XmlNodeList* list_ = nullptr;
    size_t index_ = 0;
  };
  Iterator begin() const { return Iterator(this, 0); }
  Iterator end() const { return Iterator(this, Length()); }

 private:
  friend class XmlDomAccess;

  // Live children of `parent_` when `live_`; otherwise `nodes_`.
  bool live_ = false;
  XmlNode parent_;
  std::vector<XmlNode> nodes_;
  // Where the last Item() of a live list ended, valid while the document's
  // change count equals `generation_`: makes walking the list linear.
  mutable uint64_t generation_ = 0;
  mutable bool cache_valid_ = false;
  mutable size_t length_ = 0;  // SIZE_MAX until counted
  mutable size_t cursor_index_ = 0;
  mutable pugi::xml_node_struct* cursor_ = nullptr;
};

// The attributes of one element, in document order.
class XmlNamedNodeMap {
 public:
  XmlNamedNodeMap() = default;

  size_t Length() const;
  // The attribute at `index` (0-based); a null handle past the end.
  XmlNode Item(size_t index) const;
  // The named attribute (names compare exactly); a null handle when absent.
  XmlNode GetNamedItem(std::string_view name) const;
  // Puts `attribute` (from XmlDocument::CreateAttribute or any element) on
  // the element, replacing an attribute of the same name, and returns the
  // element's attribute: the name and value are copied, so change the value
  // through the returned handle. Fails when `attribute` is not an attribute
  // or the map belongs to no element.
  [[nodiscard]] Result<XmlNode> SetNamedItem(XmlNode attribute) const;

 private:
  friend class XmlDomAccess;
  XmlNode element_;
};

// What went wrong in the last load, with its position; status kOk after a
// successful load and before any.
enum class XmlParseStatus {
  kOk,
  kIoError,              // the file cannot be read
  kUnsupportedEncoding,  // declared in an encoding this reader does not know
  kInvalidCharacter,     // bytes that are not valid text in the document's encoding
  kMalformed,            // not well-formed XML
  kOutOfMemory,
};

struct XmlParseError {
  XmlParseStatus status = XmlParseStatus::kOk;
  // A sentence a user can read, without the position.
  std::string reason;
  // 1-based line and column (in characters) of the fault; 0 when the fault
  // has no position (a file that cannot be read).
  int64_t line = 0;
  int64_t column = 0;
  // Byte offset of the fault in the document's text as UTF-8.
  int64_t offset = 0;
  // The line of text holding the fault (cut to a readable length).
  std::string source_text;

  bool ok() const { return status == XmlParseStatus::kOk; }
};

// Whether Xml() starts with an XML declaration.
enum class XmlDeclaration { kOmit, kInclude };

// One XML document and all its nodes; see the contract at the top of the file.
class XmlDocument {
 public:
  XmlDocument();
  ~XmlDocument();
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  // Reads the file at `path` (a native path) and makes it the document. On
  // failure the document is empty, ParseError() tells why and where, and the
  // Status carries the same as one message.
  [[nodiscard]] Status Load(const std::filesystem::path& path);
  // The same for a document held in memory (UTF-8, or any encoding Load reads).
  [[nodiscard]] Status LoadXml(std::string_view text);
  const XmlParseError& ParseError() const { return parse_error_; }

  // Writes the document to `path` as UTF-8 with a declaration, indented. The
  // file is replaced whole (a temporary file in the same folder, then a
  // rename): on failure the old file is as it was. Fails, like the systems
  // the records come from, when the existing file is read-only, and when the
  // document has no root element.
  [[nodiscard]] Status Save(const std::filesystem::path& path) const;
  // The document serialised without indentation.
  std::string Xml(XmlDeclaration declaration = XmlDeclaration::kOmit) const;

  // The document node itself (type kDocument): the context for absolute
  // XPath and the parent of the root element.
  XmlNode Node() const;
  // The root element; a null handle when there is none.
  XmlNode DocumentElement() const;
  // Makes `element` the root element, replacing the current one.
  [[nodiscard]] Status SetDocumentElement(XmlNode element);

  // New nodes of this document, not yet in the tree: append them where they
  // belong. Names must be XML names; text must be UTF-8.
  [[nodiscard]] Result<XmlNode> CreateElement(std::string_view name);
  [[nodiscard]] Result<XmlNode> CreateAttribute(std::string_view name);
  [[nodiscard]] Result<XmlNode> CreateTextNode(std::string_view text);

  // Shorthands for the same operations on Node().
  [[nodiscard]] Result<XmlNode> SelectSingleNode(std::string_view xpath) const {
    return Node().SelectSingleNode(xpath);
  }
  [[nodiscard]] Result<XmlNodeList> SelectNodes(std::string_view xpath) const {
    return Node().SelectNodes(xpath);
  }
  XmlNodeList ChildNodes() const { return Node().ChildNodes(); }
  [[nodiscard]] Result<XmlNode> AppendChild(XmlNode child) { return Node().AppendChild(child); }

 private:
  friend class XmlNode;
  friend class XmlDomAccess;

  std::unique_ptr<pugi::xml_document> doc_;
  // An element outside the tree that holds the nodes created or removed but
  // not (or no longer) in it; made when first needed.
  pugi::xml_node_struct* free_nodes_ = nullptr;
  // Counts loads: handles from before a load are recognised and treated as null.
  uint32_t epoch_ = 1;
  // Counts changes of the tree's shape, for the live lists.
  uint64_t generation_ = 0;
  XmlParseError parse_error_;
};

inline bool XmlNode::IsNull() const {
  return node_ == nullptr || doc_ == nullptr || doc_->epoch_ != epoch_;
}

}  // namespace norwin::datalayer
