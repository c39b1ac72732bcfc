// `Tutorial` (NorwinPellam2003.Tutorial): one group of a lesson menu, an
// element `tutorial` of the menu's record naming its lesson files. Loading
// finds each lesson in a list of folders, loads it and, for a student,
// takes the student's own copy (or points the definition at the file the
// copy will be saved to). BaseHREF is not stored.
#pragma once

#include <cstdint>
#include <string>

#include "norwin/automation/binder.h"
#include "norwin/automation/collection.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"
#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {

// The values of TutorialTypes.
inline constexpr int32_t kTutorialNormal = 0;
inline constexpr int32_t kTutorialNoExpand = 1;
inline constexpr int32_t kTutorialSingle = 2;

// The student's copy of the lesson file `lesson_filename` in `save_dir`:
// "intro_pml.xml", "s17", "C:/save" give "C:/save/intro_pml_s17.xml".
std::string StudentLessonPath(std::string save_dir, const std::string& lesson_filename,
                              const std::string& student_id);

class Tutorial : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title) { title_ = title; }
  // Made on first use; the collections themselves.
  automation::Ref<automation::Collection> LessonTitleFiles();
  void SetLessonTitleFiles(automation::Ref<automation::Collection> c) {
    title_files_ = std::move(c);
  }
  automation::Ref<automation::Collection> Lessons();
  void SetLessons(automation::Ref<automation::Collection> c) { lessons_ = std::move(c); }
  const std::string& BaseHREF() const { return base_href_; }
  void SetBaseHREF(const std::string& href) { base_href_ = href; }
  bool Spacer() const { return spacer_; }
  void SetSpacer(bool spacer) { spacer_ = spacer; }
  int32_t TutorialType() const { return type_; }
  void SetTutorialType(int32_t type) { type_ = type; }
  int32_t LessonObjType() const { return obj_type_; }
  void SetLessonObjType(int32_t type) { obj_type_ = type; }

  // Fills the tutorial from its element. With a Null `directory_list` the
  // lessons only carry their file names. Otherwise each lesson file is
  // looked for in the ";"-separated folders (one in none is skipped) and
  // loaded; false when a found lesson does not load. Raises 457 when two
  // lessons share a title.
  bool LoadFromXml(XmlNode node, const automation::Variant& directory_list,
                   const automation::Variant& task_pool, const automation::Variant& student_id,
                   const automation::Variant& save_dir);
  // Writes `type`, `spacer`, `title` and `lessonList` into `node`.
  void SaveToXml(XmlNode node);

 private:
  std::string title_;
  automation::Ref<automation::Collection> title_files_;
  automation::Ref<automation::Collection> lessons_;
  std::string base_href_;
  bool spacer_ = false;
  int32_t type_ = kTutorialNormal;
  int32_t obj_type_ = 1;
};

}  // namespace norwin::datalayer
