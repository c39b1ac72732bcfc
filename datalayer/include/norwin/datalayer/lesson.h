// `Lesson` (NorwinPellam2003.Lesson): an ordered list of tasks a student
// works through, kept as a record (root `lesson`, definitions named
// "NAME_pml.xml", a student's copy "NAME_pml_STUDENTID.xml"). Its tasks are
// clones of the task pool's tasks carrying the student's completion dates;
// a task is done when its CompletionDate is not the zero date.
//
// The object type (LessonObjType) picks the name the server knows the
// record by: "TextbookLesson" for text-book lessons, "Lesson" otherwise.
// Load remembers where it read the record so that Save can remove the old
// record when the lesson is saved under another name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "norwin/automation/binder.h"
#include "norwin/automation/collection.h"
#include "norwin/automation/object.h"
#include "norwin/automation/variant.h"
#include "norwin/datalayer/record_kinds.h"
#include "norwin/datalayer/record_storage.h"
#include "norwin/datalayer/xml_dom.h"

namespace norwin::datalayer {

// The file part of `filename` as a lesson keeps it: the text after the last
// "/" of a URL, the base name and extension of a path.
std::string LessonFileName(const std::string& filename);

class Lesson : public automation::Object {
 public:
  NORWIN_BOUND_CLASS();

  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title) { title_ = title; }
  // Both collections are made on first use; the objects themselves, not copies.
  automation::Ref<automation::Collection> LessonAssignments();
  void SetLessonAssignments(automation::Ref<automation::Collection> c) {
    assignments_ = std::move(c);
  }
  automation::Ref<automation::Collection> Tasks();
  void SetTasks(automation::Ref<automation::Collection> c) { tasks_ = std::move(c); }
  const std::string& LessonFilename() const { return filename_; }
  void SetLessonFilename(const std::string& name) { filename_ = name; }
  int32_t LessonObjType() const { return obj_type_; }
  void SetLessonObjType(int32_t type) { obj_type_ = type; }
  const std::string& LessonID() const { return lesson_id_; }
  void SetLessonID(const std::string& id) { lesson_id_ = id; }
  const std::string& ExternalID() const { return external_id_; }
  void SetExternalID(const std::string& id) { external_id_ = id; }
  bool Completed() const { return completed_; }
  void SetCompleted(bool completed) { completed_ = completed; }
  int16_t Source() const { return source_; }
  void SetSource(int16_t source) { source_ = source; }

  // "TextbookLesson" or "Lesson", as LessonObjType says.
  std::string_view ServerObjName() const;

  // The lessons of `directory` of `lesson_type`: a local folder's files
  // that load with a title, or a server's listing (not opened). A new
  // collection of TitleFilename without keys; empty for a missing folder.
  automation::Ref<automation::Collection> GetLessons(const std::string& directory,
                                                     int32_t lesson_type);
  // The student lessons of `directory`, only those of `student_id` when it
  // is not empty, and only completed ones when `completed` is true.
  automation::Ref<automation::Collection> GetStudentLessons(const std::string& directory,
                                                            const std::string& student_id,
                                                            bool completed,
                                                            const automation::Variant& task_pool);
  // Whether the lesson at `filename` loads and all its tasks are done
  // (CalcLessonComplete); this object is not changed.
  bool CalcLessonFileComplete(const std::string& filename, const automation::Variant& task_pool);
  // True when no task has a completion date in 1899 (the year of the zero
  // date); true for a lesson without tasks. Completed is not changed.
  bool CalcLessonComplete() const;

  // Reads the record; false when it cannot be read, is not XML or is no
  // `lesson` record (an error page).
  bool Load(const std::string& filename, const automation::Variant& task_pool);
  // The same, telling what reading found (record_storage.h): a student's
  // copy that is not there yet is another thing than one the server refused.
  RecordRead Read(const std::string& filename, const automation::Variant& task_pool);
  // Fills the lesson from its `lesson` element. Tasks come from `task_pool`
  // (clones; references the pool lacks are skipped) or, when it is Null,
  // are new tasks carrying only their ID. True.
  bool LoadFromXml(XmlNode node, const automation::Variant& task_pool, const std::string& filename);
  // Writes the lesson into its `lesson` element, recomputing Completed
  // (false without tasks or while some task has the zero date). True.
  bool SaveToXml(XmlNode node);
  // Stores the record; true. With `delete_old_if_changed`, the record Load
  // read is removed when it was another one.
  bool Save(const std::string& filename, bool delete_old_if_changed);
  // True when the record was deleted, Empty otherwise.
  automation::Variant Delete(const std::string& filename);

 private:
  std::string title_;
  automation::Ref<automation::Collection> assignments_;
  automation::Ref<automation::Collection> tasks_;
  std::string filename_;
  int32_t obj_type_ = 1;
  std::string lesson_id_;
  std::string external_id_;
  bool completed_ = false;
  int16_t source_ = 0;
  std::string loaded_from_;
};

}  // namespace norwin::datalayer
