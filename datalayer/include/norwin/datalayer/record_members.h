// Helpers for record classes that hold other record objects: telling "no
// object" arguments apart, finding a member of a pool object a caller
// passed, and walking the child elements of a record's node.
//
// Pool arguments (a TextBooks, an Objectives, a TaskPool) usually are objects
// of this library, which callers look at directly; any other object is asked
// by name (its collection property, then that collection's Item), as page
// script would ask it.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "norwin/automation/error.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"
#include "norwin/datalayer/library_classes.h"
#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {

// Whether a caller passed no object where one may be given: Null, Empty, a
// left-out argument or Nothing (references followed).
bool IsNoObject(const automation::Variant& value);

// The object a Variant holds when it is a T (references followed); null
// for anything else.
template <typename T>
T* ObjectAs(const automation::Variant& value) {
  const automation::Variant& v = value.Resolve();
  return v.IsObject() && v.object() ? dynamic_cast<T*>(v.object()) : nullptr;
}

// A new member object of the library class `class_name` ("Question"), made
// as every member is made (library_classes.h), as the C++ class T. Raises
// 13 when the class that answers to the name is not T.
template <typename T>
automation::Ref<T> NewRecordObject(std::string_view class_name) {
  automation::Ref<automation::Object> made = CreateRecordObject(class_name);
  auto* typed = dynamic_cast<T*>(made.get());
  if (!typed) throw automation::RuntimeError(automation::kTypeMismatch);
  return automation::Ref<T>(typed);
}

// owner.<collection>.Item(key), called by name; nullopt when any step of
// the look-up fails (no such property, no such key, no object at all).
std::optional<automation::Variant> LookUpByName(const automation::Variant& owner,
                                                std::string_view collection, std::string_view key);

// The first child element of `node` named `name` (as selectSingleNode of a
// plain name finds it); a null handle when there is none.
XmlNode FirstChildElement(XmlNode node, std::string_view name);
// Every child element of `node` named `name`, in document order.
std::vector<XmlNode> ChildElements(XmlNode node, std::string_view name);

}  // namespace norwin::datalayer
