// What a RecordList must hold, found another way: the same document read
// through the DOM, each field by the XPath look-up a record class's element
// reading stands for. Shared by the reader's tests and its fuzz target.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "norwin/datalayer/record_list.h"
#include "norwin/datalayer/student.h"
#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer::testing {

// The roster's shape, as Students reads it.
inline const RecordListShape& kRosterShape = StudentRecordShape();

// A list's content as plain values: the kept attribute, and each record's
// slots as (present, text).
struct FlatRecords {
  std::optional<std::string> root_attribute;
  std::vector<std::vector<std::pair<bool, std::string>>> records;
  bool operator==(const FlatRecords&) const = default;
};

inline FlatRecords Flatten(const RecordList& list) {
  FlatRecords out;
  if (list.root_attribute()) out.root_attribute = std::string(*list.root_attribute());
  for (size_t i = 0; i < list.size(); ++i) {
    auto& record = out.records.emplace_back();
    for (const RecordField& field : list[i]) record.emplace_back(field.present, field.text);
  }
  return out;
}

// The first element `name` under `node` and its text, as (present, text).
inline std::pair<bool, std::string> Field(const XmlNode& node, std::string_view name,
                                          XmlNode* element = nullptr) {
  const Result<XmlNode> found = node.SelectSingleNode(name);
  const XmlNode n = found.ok() ? *found : XmlNode();
  if (element) *element = n;
  return {!n.IsNull(), n.IsNull() ? std::string() : n.Text()};
}

// `xml` read through the DOM as a list of `shape`; nullopt when the DOM
// refuses it or its root is another.
inline std::optional<FlatRecords> DomRecordList(std::string_view xml,
                                                const RecordListShape& shape) {
  XmlDocument doc;
  if (!doc.LoadXml(xml).ok()) return std::nullopt;
  const XmlNode root = doc.DocumentElement();
  if (root.NodeName() != shape.root) return std::nullopt;
  FlatRecords out;
  const XmlNode kept = root.Attributes().GetNamedItem(shape.root_attribute);
  if (!kept.IsNull()) out.root_attribute = kept.Text();
  for (const XmlNode& child : root.ChildElements()) {
    auto& record = out.records.emplace_back();
    for (const std::string_view name : shape.fields) record.push_back(Field(child, name));
    XmlNode group;
    record.emplace_back(Field(child, shape.group, &group).first, std::string());
    for (const std::string_view name : shape.group_fields) {
      record.push_back(group.IsNull() ? std::pair<bool, std::string>() : Field(group, name));
    }
  }
  return out;
}

}  // namespace norwin::datalayer::testing
