// `CourseSection` (NorwinPellam2003.CourseSection): one section of a course,
// a `section` element with `id` and `sectionName` in the course list.
#pragma once

#include <string>

#include "norwin/automation/binder.h"
#include "norwin/automation/object.h"
#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {

class CourseSection : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  const std::string& ID() const { return id_; }
  void SetID(const std::string& id) { id_ = id; }
  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }

  // ID from `id` and Name from `sectionName`, each when present; true.
  bool LoadFromXml(XmlNode node);
  // Appends `id` and `sectionName` to `node`.
  void SaveToXml(XmlNode node) const;

 private:
  std::string id_;
  std::string name_;
};

}  // namespace norwin::datalayer
