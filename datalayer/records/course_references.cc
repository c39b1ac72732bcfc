#include "norwin/datalayer/course_references.h"

#include <string>

#include "norwin/automation/convert.h"
#include "norwin/automation/dispatch.h"
#include "norwin/automation/error.h"

namespace norwin::datalayer {

namespace {

using automation::AutomationError;
using automation::Object;
using automation::Ref;
using automation::Variant;

constexpr automation::InvokeFlags kGetOrCall =
    automation::DISPATCH_METHOD | automation::DISPATCH_PROPERTYGET;

// `owner.collection(key)`: the collection property read, then its default
// member (Item) called with the key, as `Courses.Courses(id)` reads in
// page script. Null when any step fails or the item is no object.
Ref<Object> ItemOfCollection(Object& owner, std::string_view collection, std::string_view key) {
  try {
    const Variant items =
        automation::CallByName(owner, collection, automation::DISPATCH_PROPERTYGET);
    const Variant& resolved = items.Resolve();
    if (!resolved.IsObject() || resolved.object() == nullptr) return nullptr;
    Variant item;
    const Variant argument{std::string(key)};
    resolved.object()->Invoke(automation::DISPID_VALUE, kGetOrCall, std::span(&argument, 1), &item);
    const Variant& found = item.Resolve();
    if (!found.IsObject()) return nullptr;
    return Ref<Object>(found.object());
  } catch (const AutomationError&) {
    return nullptr;
  }
}

}  // namespace

Object* CourseListArgument(const Variant& courses) {
  const Variant& value = courses.Resolve();
  if (value.IsNull() || value.IsEmpty() || value.IsMissing()) return nullptr;
  if (value.IsByRef()) {
    // A typed slot holds no object.
    throw automation::RuntimeError(automation::kObjectRequired);
  }
  if (!value.IsObject()) throw automation::RuntimeError(automation::kObjectRequired);
  return value.object();
}

bool CourseListHas(Object& courses, std::string_view course_id) {
  const Variant argument{std::string(course_id)};
  return automation::ToBool(
      automation::CallByName(courses, "Exists", kGetOrCall, std::span(&argument, 1)));
}

Ref<Object> FindCourse(Object& courses, std::string_view course_id) {
  return ItemOfCollection(courses, "Courses", course_id);
}

Ref<Object> FindSection(Object& course, std::string_view section_id) {
  return ItemOfCollection(course, "Sections", section_id);
}

}  // namespace norwin::datalayer
