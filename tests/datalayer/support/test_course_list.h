// Test helper: a course list that answers what the roster asks of one, the
// way page script reaches a course list: `Exists(id)`, `Courses` (a keyed
// collection of course objects, indexed by course ID) and each course's
// `Sections` (a keyed collection of section objects). It counts the
// Exists calls, so tests can tell whether a check was made.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "norwin/automation/binder.h"
#include "norwin/automation/collection.h"
#include "norwin/automation/object.h"

namespace norwin::testing {

class TestSection : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();
  explicit TestSection(std::string id) : id_(std::move(id)) {}
  const std::string& ID() const { return id_; }

 private:
  std::string id_;
};

class TestCourse : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();
  explicit TestCourse(std::string id);
  const std::string& ID() const { return id_; }
  automation::Ref<automation::Collection> Sections() const { return sections_; }

 private:
  std::string id_;
  automation::Ref<automation::Collection> sections_;
};

class TestCourseList : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();
  TestCourseList();
  // Adds course `id` with the sections `section_ids`.
  void AddCourse(std::string_view id, std::initializer_list<std::string_view> section_ids);

  bool Exists(const std::string& id);
  automation::Ref<automation::Collection> Courses() const { return courses_; }
  int32_t exists_calls() const { return exists_calls_; }

 private:
  automation::Ref<automation::Collection> courses_;
  int32_t exists_calls_ = 0;
};

}  // namespace norwin::testing
