// Helpers for the tests of the XML DOM: a document from a literal in one
// line, and XPath lookups that must compile.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer::testing {

// The document parsed from `xml`; a failed parse fails the test.
inline std::unique_ptr<XmlDocument> ParseXml(std::string_view xml) {
  auto doc = std::make_unique<XmlDocument>();
  const Status status = doc->LoadXml(xml);
  EXPECT_TRUE(status.ok()) << status.message();
  return doc;
}

// The first node `xpath` selects from `context` (null when none).
inline XmlNode Select(const XmlNode& context, std::string_view xpath) {
  Result<XmlNode> node = context.SelectSingleNode(xpath);
  EXPECT_TRUE(node.ok()) << node.message();
  return node.ok() ? *node : XmlNode();
}

inline XmlNode Select(const XmlDocument& doc, std::string_view xpath) {
  return Select(doc.Node(), xpath);
}

// The text of what `xpath` selects from `context`.
inline std::string TextOf(const XmlNode& context, std::string_view xpath) {
  return Select(context, xpath).Text();
}

// A Result's value, failing the test when there is none.
template <typename T>
T Must(Result<T> result) {
  EXPECT_TRUE(result.ok()) << result.message();
  return result.ok() ? std::move(result).value() : T();
}

}  // namespace norwin::datalayer::testing
