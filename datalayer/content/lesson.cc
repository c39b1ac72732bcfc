#include "norwin/datalayer/lesson.h"

#include <string>
#include <utility>
#include <vector>

#include "norwin/automation/convert.h"
#include "norwin/automation/date.h"
#include "norwin/automation/error.h"
#include "norwin/automation/file_system.h"
#include "norwin/datalayer/assignments.h"
#include "norwin/datalayer/record_members.h"
#include "norwin/datalayer/record_storage.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/task.h"
#include "norwin/datalayer/task_pool.h"
#include "norwin/datalayer/title_filename.h"
#include "norwin/datalayer/url_support.h"
#include "norwin/datalayer/utils.h"
#include "norwin/datalayer/xml_dom_objects.h"

namespace norwin::datalayer {

namespace {

using automation::Collection;
using automation::Ref;
using automation::Variant;

// The attribute `upper`, or `lower` when the record lacks it (older
// records wrote the lower-case names).
std::optional<std::string> EitherAttribute(XmlNode node, std::string_view upper,
                                           std::string_view lower) {
  std::optional<std::string> text = AttributeText(node, upper);
  return text ? text : AttributeText(node, lower);
}

}  // namespace

std::string LessonFileName(const std::string& filename) {
  if (IsURL(filename)) return std::string(GetURLFileName(filename));
  // As the file-system object names it: "unit1" stays "unit1", never "unit1.".
  return automation::MakeRef<automation::FileSystemObject>()->GetFileName(filename);
}

Ref<Collection> Lesson::LessonAssignments() {
  if (!assignments_) assignments_ = automation::MakeCollection();
  return assignments_;
}

Ref<Collection> Lesson::Tasks() {
  if (!tasks_) tasks_ = automation::MakeCollection();
  return tasks_;
}

std::string_view Lesson::ServerObjName() const {
  return obj_type_ == kLessonObjTypeTextbook ? "TextbookLesson" : "Lesson";
}

Ref<Collection> Lesson::GetLessons(const std::string& directory, int32_t lesson_type) {
  const std::string_view obj_name = ServerObjName();
  if (IsURL(directory)) {
    const std::string type_text = std::to_string(lesson_type);
    const UrlParam params[] = {{"LessonType", type_text, ParamPresence::kAlways}};
    const RecordKind kind{obj_name, RequestShape::kB, params};
    const std::vector<std::string> fields = FetchListing(directory, kind, 2);
    return TitleFilenamesFromListing(fields, directory);
  }
  return ListLocalTitleFilenames(
      directory,
      [lesson_type](std::string_view name) { return MatchesLessonType(name, lesson_type); },
      "Lesson");
}

Ref<Collection> Lesson::GetStudentLessons(const std::string& directory,
                                          const std::string& student_id, bool completed,
                                          const Variant& task_pool) {
  const Ref<Collection> all = GetLessons(directory, kLessonTypeStudent);
  const std::string pattern = "_pml_" + student_id + ".xml";
  // "C:/x" and "C:/x/" name one folder: its files are joined with a "/".
  const std::string folder = AddTrailingSlash(directory);
  Ref<Collection> taken = automation::MakeCollection();
  for (size_t i = 0; i < all->size(); ++i) {
    const Variant& entry = all->at(i);
    const auto* handle = ObjectAs<TitleFilename>(entry);
    if (handle == nullptr) continue;
    if (!student_id.empty() && handle->Filename().find(pattern) == std::string::npos) continue;
    if (completed && !CalcLessonFileComplete(folder + handle->Filename(), task_pool)) continue;
    taken->Append(entry);
  }
  return taken;
}

bool Lesson::CalcLessonFileComplete(const std::string& filename, const Variant& task_pool) {
  Ref<Lesson> other = NewRecordObject<Lesson>("Lesson");
  other->SetLessonObjType(obj_type_);
  if (!other->Load(filename, task_pool)) return false;
  return other->CalcLessonComplete();
}

bool Lesson::CalcLessonComplete() const {
  if (!tasks_) return true;
  for (const Task& task : tasks_->Objects<Task>()) {
    const automation::Date date = task.CompletionDate();
    if (!automation::IsValidDate(date.value) || automation::SplitDate(date).year == 1899) {
      return false;
    }
  }
  return true;
}

bool Lesson::Load(const std::string& filename, const Variant& task_pool) {
  return Read(filename, task_pool) == RecordRead::kRead;
}

RecordRead Lesson::Read(const std::string& filename, const Variant& task_pool) {
  XmlDocument doc;
  const RecordKind kind{ServerObjName(), RequestShape::kB, {}, "lesson"};
  const RecordRead read = ReadRecord(doc, filename, kind);
  if (read != RecordRead::kRead) return read;
  const bool loaded = LoadFromXml(doc.DocumentElement(), task_pool, filename);
  loaded_from_ = filename;
  return loaded ? RecordRead::kRead : RecordRead::kNoRecord;
}

bool Lesson::LoadFromXml(XmlNode node, const Variant& task_pool, const std::string& filename) {
  if (node.IsNull()) throw automation::RuntimeError(automation::kObjectNotSet);
  filename_ = LessonFileName(filename);
  if (auto id = EitherAttribute(node, "ID", "id")) lesson_id_ = std::move(*id);
  if (auto id = EitherAttribute(node, "EXTERNAL_ID", "external_id")) external_id_ = std::move(*id);
  if (auto done = EitherAttribute(node, "COMPLETED", "completed")) completed_ = *done == "true";
  if (auto title = ChildText(node, "title")) title_ = std::move(*title);
  if (auto source = ChildText(node, "source")) {
    source_ = automation::ToInt16(Variant(*source));
  }

  const bool no_pool = IsNoObject(task_pool);
  if (Result<XmlNodeList> refs = node.SelectNodes("taskList/taskRef"); refs.ok()) {
    const Ref<Collection> tasks = Tasks();
    for (const XmlNode ref : *refs) {
      // A reference that cannot be taken (not in the pool, a bad date, a
      // duplicate) is left out; the others still load.
      try {
        const std::string id = ref.Text();
        Ref<Task> task;
        if (no_pool) {
          task = NewRecordObject<Task>("Task");
          task->SetID(id);
        } else {
          Ref<Task> pooled = TaskPool::LookUp(task_pool, id);
          if (!pooled) continue;
          task = pooled->Clone();
        }
        if (auto when = AttributeText(ref, "completed")) {
          task->SetCompletionDate(automation::ToDate(Variant(*when)));
        }
        if (tasks->Exists(task->ID())) continue;
        const std::string key = task->ID();
        tasks->AddKeyed(key, Variant(std::move(task)));
      } catch (const automation::AutomationError&) {
      }
    }
  }

  if (Result<XmlNodeList> elements = node.SelectNodes("lessonAssignment"); elements.ok()) {
    for (const XmlNode element : *elements) {
      Ref<LessonAssignment> assignment = NewRecordObject<LessonAssignment>("LessonAssignment");
      try {
        if (!assignment->LoadFromXml(element)) continue;
      } catch (const automation::AutomationError&) {
        continue;
      }
      assignment->SetFile(filename_);
      LessonAssignments()->Append(Variant(std::move(assignment)));
    }
  }
  return true;
}

bool Lesson::SaveToXml(XmlNode node) {
  if (node.IsNull()) throw automation::RuntimeError(automation::kObjectNotSet);
  if (!lesson_id_.empty()) SetAttributeText(node, "ID", lesson_id_);
  if (!external_id_.empty()) SetAttributeText(node, "EXTERNAL_ID", external_id_);
  const Ref<Collection> tasks = Tasks();
  completed_ = !tasks->empty();
  for (const Task& task : tasks->Objects<Task>()) {
    if (task.CompletionDate() == automation::Date{}) {
      completed_ = false;
      break;
    }
  }
  SetAttributeText(node, "COMPLETED", completed_ ? "true" : "false");
  AppendTextElement(node, "title", title_);
  AppendTextElement(node, "source", std::to_string(source_));
  if (!tasks->empty()) {
    const XmlNode list = AppendElement(node, "taskList");
    for (const Task& task : tasks->Objects<Task>()) {
      const XmlNode ref = AppendTextElement(list, "taskRef", task.ID());
      if (task.CompletionDate() != automation::Date{}) {
        SetAttributeText(ref, "completed", automation::FormatDate(task.CompletionDate()));
      }
    }
  }
  if (assignments_) {
    for (size_t i = 0; i < assignments_->size(); ++i) {
      auto* assignment = ObjectAs<Assignment>(assignments_->at(i));
      if (assignment == nullptr) continue;
      // The assignment is written without its lesson reference (the lesson
      // holding it names itself) and then points at this lesson's file.
      assignment->SetFile("");
      const XmlNode element = AppendElement(node, "lessonAssignment");
      bool written = false;
      try {
        written = assignment->SaveToXml(element);
      } catch (const automation::AutomationError&) {
      }
      if (!written) CheckDom(node.RemoveChild(element).status());
      assignment->SetFile(filename_);
    }
  }
  return true;
}

bool Lesson::Save(const std::string& filename, bool delete_old_if_changed) {
  filename_ = LessonFileName(filename);
  XmlDocument doc;
  if (!SaveToXml(NewRecordRoot(doc, "lesson"))) return false;
  const RecordKind kind{ServerObjName(), RequestShape::kB};
  if (!SaveRecord(doc, filename, kind)) return false;
  if (delete_old_if_changed && !loaded_from_.empty() && loaded_from_ != filename) {
    (void)Delete(loaded_from_);
  }
  return true;
}

Variant Lesson::Delete(const std::string& filename) {
  const RecordKind kind{ServerObjName(), RequestShape::kB};
  return DeleteRecord(filename, kind) ? Variant(true) : Variant();
}

NORWIN_CLASS(Lesson) {
  PropertyRW("Title", &Lesson::Title, &Lesson::SetTitle);
  PropertyRef("LessonAssignments", &Lesson::LessonAssignments, &Lesson::SetLessonAssignments);
  PropertyRef("Tasks", &Lesson::Tasks, &Lesson::SetTasks);
  PropertyRW("LessonFilename", &Lesson::LessonFilename, &Lesson::SetLessonFilename);
  PropertyRW("LessonObjType", &Lesson::LessonObjType, &Lesson::SetLessonObjType);
  PropertyRW("LessonID", &Lesson::LessonID, &Lesson::SetLessonID);
  PropertyRW("ExternalID", &Lesson::ExternalID, &Lesson::SetExternalID);
  PropertyRW("Completed", &Lesson::Completed, &Lesson::SetCompleted);
  PropertyRW("Source", &Lesson::Source, &Lesson::SetSource);
  Method("GetLessons", &Lesson::GetLessons);
  Method("GetStudentLessons", &Lesson::GetStudentLessons);
  Method("CalcLessonFileComplete", &Lesson::CalcLessonFileComplete);
  Method("CalcLessonComplete", [](Lesson& self) { return Variant(self.CalcLessonComplete()); });
  Method("Load", &Lesson::Load);
  Method("LoadFromXMLNode",
         [](Lesson& self, const Variant& node, const Variant& pool, const std::string& filename) {
           return self.LoadFromXml(DomNodeArgument(node), pool, filename);
         });
  Method("Save", &Lesson::Save, automation::Optional("deleteOldIfChanged", Variant(false)));
  Method("SaveToXMLNode",
         [](Lesson& self, const Variant& node) { return self.SaveToXml(DomNodeArgument(node)); });
  Method("Delete", &Lesson::Delete);
}

}  // namespace norwin::datalayer
