// `Courses` (NorwinPellam2003.Courses): a site's course list, the record
// with root `classes` holding one `class` element per course (kind
// "Courses", request shape A), kept as Course objects keyed by course ID.
// Rosters and assignments check their course and section references here.
//
// The next course ID only grows: a load puts it past every course ID read,
// AddCourse increments it. Course IDs are numbers in text form.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "norwin/automation/binder.h"
#include "norwin/automation/collection.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"
#include "norwin/datalayer/course.h"
#include "norwin/datalayer/record_storage.h"
#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {

inline constexpr RecordKind kCoursesKind{"Courses", RequestShape::kA};

class Courses : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  // The courses keyed by ID, in list order (made on first use).
  const automation::Ref<automation::Collection>& Members();
  void SetMembers(automation::Ref<automation::Collection> members);

  // Reads the course list at `filename` and adds its courses (the
  // collection is not emptied first). False when the record cannot be read
  // or is not well-formed; otherwise what LoadFromXml gives.
  bool Load(const std::string& filename, const automation::Variant& text_books);
  // Adds a Course for every `class` element of `node`, each read against
  // `text_books` (a TextBooks object, or Null). Raises 13 for a course ID
  // that is no number and 457 for a duplicate one; the courses added
  // before stay. True.
  bool LoadFromXml(XmlNode node, const automation::Variant& text_books);
  // Stores the `classes` record at `filename`; true.
  bool Save(const std::string& filename);
  // Appends one `class` element per course to `node`; true.
  bool SaveToXml(XmlNode node);
  // A new course named `name` under the next course ID, which then grows by
  // one; returns that ID as text. Stores nothing.
  std::string AddCourse(const std::string& name);
  // Whether a course has the key `id`; false for anything that is no key.
  bool Exists(const automation::Variant& id);

  int32_t NextCourseIdForTesting() const { return next_course_id_; }

 private:
  automation::Ref<automation::Collection> members_;
  int32_t next_course_id_ = 0;
};

}  // namespace norwin::datalayer
