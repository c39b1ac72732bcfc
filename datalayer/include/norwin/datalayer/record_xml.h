// How record classes turn themselves into XML and back: the building and
// reading conventions every LoadFromXMLNode and SaveToXMLNode follows.
//
// Building: child elements are created on the owning document, given their
// text and appended in the order the record's format gives; numbers and
// Booleans are written in their default text form (convert.h); attributes
// are created, given their text and put on the element.
// Reading: single values come from the named child's text; optional
// children and attributes are tested for absence (nullopt here); a required
// child that is missing fails the call, as reading the text of a missing
// node does: runtime error 91.
//
// Failures of the DOM itself (a name that is no XML name, text that is not
// UTF-8) raise AutomationError E_INVALIDARG with the DOM's message.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"
#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {

// Raises AutomationError E_INVALIDARG with the DOM's message when a DOM
// operation failed; otherwise gives its value.
void CheckDom(const Status& status);
template <typename T>
T CheckDom(Result<T> result) {
  if (!result.ok()) CheckDom(result.status());
  return std::move(result).value();
}

// Makes a new element `name` the root element of `doc` and returns it.
XmlNode NewRecordRoot(XmlDocument& doc, std::string_view name);

// Creates element `name` on the document of `parent`, appends it as the
// last child of `parent` and returns it.
XmlNode AppendElement(XmlNode parent, std::string_view name);
// The same with `text` as its content.
XmlNode AppendTextElement(XmlNode parent, std::string_view name, std::string_view text);
// The same with the default text form of `value` ("True", "12", "0.5").
XmlNode AppendValueElement(XmlNode parent, std::string_view name, const automation::Variant& value);

// Creates attribute `name` with `text` and puts it on `element`, replacing
// one of the same name.
void SetAttributeText(XmlNode element, std::string_view name, std::string_view text);

// The text of the first child element `name` of `node` (selectSingleNode
// of the name); nullopt when there is none.
std::optional<std::string> ChildText(XmlNode node, std::string_view name);
// The same for a child the format requires: raises runtime error 91 when it
// is missing.
std::string RequiredChildText(XmlNode node, std::string_view name);
// The value of attribute `name` of `node`; nullopt when there is none.
std::optional<std::string> AttributeText(XmlNode node, std::string_view name);

// For documents whose every item is optional: sets `field` to the text of
// the first child element `name` of `node`, or of its attribute `name`, and
// leaves it as it is when `node` is null or has no such item.
void ReadChildText(XmlNode node, std::string_view name, std::string& field);
void ReadAttributeText(XmlNode node, std::string_view name, std::string& field);

}  // namespace norwin::datalayer
