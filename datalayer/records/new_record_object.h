// Member objects that record classes hand to page script (the handles of a
// listing, an exam list's preferences) are made through the library's class
// table, so that they keep the library loaded while script holds them.
#pragma once

#include <string>
#include <string_view>

#include "norwin/automation/error.h"
#include "norwin/automation/object.h"
#include "norwin/datalayer/library_classes.h"

namespace norwin::datalayer {

// A new object of the library class `name`, which must be a T. Raises what
// CreateRecordObject raises, and E_FAIL when the table makes another class
// under that name (a fault of the table, never of the caller).
template <typename T>
automation::Ref<T> NewRecordObject(std::string_view name) {
  const automation::Ref<automation::Object> object = CreateRecordObject(name);
  T* typed = dynamic_cast<T*>(object.get());
  if (typed == nullptr) {
    throw automation::AutomationError(automation::E_FAIL,
                                      "The library made no " + std::string(name) + " object");
  }
  return automation::Ref<T>(typed);
}

}  // namespace norwin::datalayer
