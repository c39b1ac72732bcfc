// `LessonMenu` (NorwinPellam2003.LessonMenu): the lessons of a course
// grouped into tutorials, a record with root `lessonMenu` in a file whose
// name ends "_lm.xml". Loading a menu loads every lesson of every tutorial
// (see Tutorial). LessonMenuObjType picks the server name:
// "TextbookLessonMenu" for text-book menus, "LessonMenu" otherwise.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "norwin/automation/binder.h"
#include "norwin/automation/collection.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"

namespace norwin::datalayer {

class LessonMenu : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title) { title_ = title; }
  automation::Ref<automation::Collection> Tutorials();
  void SetTutorials(automation::Ref<automation::Collection> c) { tutorials_ = std::move(c); }
  int32_t LessonMenuObjType() const { return obj_type_; }
  void SetLessonMenuObjType(int32_t type) { obj_type_ = type; }

  std::string_view ServerObjName() const;

  // The menus of a local folder ("_lm.xml" in any case, loading with a
  // title) or of a server (its listing); a new collection without keys.
  automation::Ref<automation::Collection> GetLessonMenus(const std::string& directory);
  // False when the record cannot be read or a tutorial does not load.
  bool Load(const std::string& filename, const automation::Variant& directory_list,
            const automation::Variant& task_pool, const automation::Variant& student_id,
            const automation::Variant& save_dir);
  // Stores the menu; true.
  bool Save(const std::string& filename);

 private:
  std::string title_;
  automation::Ref<automation::Collection> tutorials_;
  int32_t obj_type_ = 1;
};

}  // namespace norwin::datalayer
