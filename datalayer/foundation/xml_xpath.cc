// XPath selection through pugixml, with compiled expressions cached per
// thread: record classes ask the same few expressions ("id", "name/first")
// of every element they read.
#include <algorithm>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "norwin/datalayer/xml_dom.h"
#include "xml_encoding.h"
#include "xml_internal.h"

namespace norwin::datalayer {

namespace {

using A = XmlDomAccess;
using internal::StrCat;

struct StringHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
};

// Enough for every expression of the record classes; a program that makes
// up expressions without end only recompiles.
constexpr size_t kMaxCachedQueries = 512;

Result<const pugi::xpath_query*> Compile(std::string_view expression) {
  thread_local std::unordered_map<std::string, std::unique_ptr<pugi::xpath_query>, StringHash,
                                  std::equal_to<>>
      cache;
  if (auto it = cache.find(expression); it != cache.end()) return it->second.get();

  std::string key(expression);
  const std::string quoted = StrCat({"\"", key, "\""});
  if (!internal::IsValidText(expression))
    return Status::Error("the XPath expression is not valid UTF-8 text");
  std::unique_ptr<pugi::xpath_query> query;
  try {
    query = std::make_unique<pugi::xpath_query>(key.c_str());
  } catch (const pugi::xpath_exception& e) {
    return Status::Error(
        StrCat({"invalid XPath expression ", quoted, ": ", e.result().description(),
                " at character ", std::to_string(e.result().offset + 1)}));
  } catch (const std::exception&) {
    return Status::Error(StrCat({"out of memory compiling the XPath expression ", quoted}));
  }
  if (query->return_type() != pugi::xpath_type_node_set)
    return Status::Error(StrCat({"the XPath expression ", quoted, " gives a value, not nodes"}));
  if (cache.size() >= kMaxCachedQueries) cache.clear();
  const pugi::xpath_query* compiled = query.get();
  cache.emplace(std::move(key), std::move(query));
  return compiled;
}

pugi::xpath_node Context(const XmlNode& node) {
  if (A::IsAttribute(node)) return pugi::xpath_node(A::Attr(node), A::Node(node));
  return pugi::xpath_node(A::Node(node));
}

// Decides which results a query may give while the document has nodes
// outside the tree: those in the tree, and those in the same detached subtree
// as the context node; never the free store's own elements.
class FreeNodeFilter {
 public:
  FreeNodeFilter(const XmlDocument& doc, const XmlNode& context)
      : doc_(doc), context_root_(A::FreeRoot(doc, A::Node(context))) {}

  bool Keep(const pugi::xpath_node& result) const {
    const pugi::xml_node node = result.attribute() ? result.parent() : result.node();
    if (A::IsFreeStore(doc_, node)) return false;
    const pugi::xml_node root = A::FreeRoot(doc_, node);
    if (!root) return true;
    if (root != context_root_) return false;
    return result.attribute() || node != root || !A::IsAttributeHolder(doc_, root);
  }

 private:
  const XmlDocument& doc_;
  pugi::xml_node context_root_;
};

XmlNode ToHandle(const XmlDocument* doc, const pugi::xpath_node& result) {
  if (result.attribute()) return A::MakeAttribute(doc, result.parent(), result.attribute());
  return A::Make(doc, result.node());
}

}  // namespace

Result<XmlNodeList> XmlNode::SelectNodes(std::string_view xpath) const {
  Result<const pugi::xpath_query*> query = Compile(xpath);
  if (!query.ok()) return query.status();
  if (IsNull()) return XmlNodeList();
  pugi::xpath_node_set found;
  try {
    found = (*query)->evaluate_node_set(Context(*this));
  } catch (const std::exception&) {
    return Status::Error(StrCat({"out of memory evaluating the XPath expression \"", xpath, "\""}));
  }
  found.sort();
  std::vector<XmlNode> nodes;
  nodes.reserve(found.size());
  if (A::HasFreeStore(*doc_)) {
    const FreeNodeFilter filter(*doc_, *this);
    for (const pugi::xpath_node& result : found) {
      if (filter.Keep(result)) nodes.push_back(ToHandle(doc_, result));
    }
  } else {
    for (const pugi::xpath_node& result : found) nodes.push_back(ToHandle(doc_, result));
  }
  return A::FixedList(std::move(nodes));
}

Result<XmlNode> XmlNode::SelectSingleNode(std::string_view xpath) const {
  Result<const pugi::xpath_query*> query = Compile(xpath);
  if (!query.ok()) return query.status();
  if (IsNull()) return XmlNode();
  try {
    if (!A::HasFreeStore(*doc_)) return ToHandle(doc_, (*query)->evaluate_node(Context(*this)));
    pugi::xpath_node_set found = (*query)->evaluate_node_set(Context(*this));
    found.sort();
    const FreeNodeFilter filter(*doc_, *this);
    for (const pugi::xpath_node& result : found) {
      if (filter.Keep(result)) return ToHandle(doc_, result);
    }
    return XmlNode();
  } catch (const std::exception&) {
    return Status::Error(StrCat({"out of memory evaluating the XPath expression \"", xpath, "\""}));
  }
}

}  // namespace norwin::datalayer
