// Test helper: a record object made as page script makes it, by class name
// through the library's class table, typed for the test's direct calls.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "norwin/automation/object.h"
#include "norwin/datalayer/library_classes.h"

namespace norwin::testing {

// A new object of the library class `name`; throws when the table makes
// another class under that name, so a test never goes on with null.
template <typename T>
automation::Ref<T> New(std::string_view name) {
  const automation::Ref<automation::Object> object = datalayer::CreateRecordObject(name);
  T* typed = dynamic_cast<T*>(object.get());
  if (typed == nullptr) throw std::logic_error("no " + std::string(name) + " object");
  return automation::Ref<T>(typed);
}

}  // namespace norwin::testing
