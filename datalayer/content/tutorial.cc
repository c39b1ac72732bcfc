#include "norwin/datalayer/tutorial.h"

#include <string>
#include <utility>
#include <vector>

#include "norwin/automation/convert.h"
#include "norwin/automation/error.h"
#include "norwin/datalayer/lesson.h"
#include "norwin/datalayer/record_members.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/title_filename.h"
#include "norwin/datalayer/utils.h"
#include "norwin/datalayer/xml_dom_objects.h"

namespace norwin::datalayer {

namespace {

using automation::Collection;
using automation::Ref;
using automation::Variant;

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The folders of a ";"-separated list, each ending in "/".
std::vector<std::string> SplitFolders(std::string_view list) {
  std::vector<std::string> folders;
  while (true) {
    const size_t end = list.find(';');
    folders.push_back(AddTrailingSlash(list.substr(0, end)));
    if (end == std::string_view::npos) break;
    list.remove_prefix(end + 1);
  }
  return folders;
}

std::string OptionalText(const Variant& value) {
  return IsNoObject(value) ? std::string() : automation::ToString(value);
}

}  // namespace

std::string StudentLessonPath(std::string save_dir, const std::string& lesson_filename,
                              const std::string& student_id) {
  if (!save_dir.ends_with('/') && !save_dir.ends_with('\\')) save_dir.push_back('/');
  // A name shorter than its extension keeps all of itself before the ID.
  const size_t split = lesson_filename.size() >= 4 ? lesson_filename.size() - 4 : 0;
  return save_dir + lesson_filename.substr(0, split) + "_" + student_id +
         lesson_filename.substr(split);
}

Ref<Collection> Tutorial::LessonTitleFiles() {
  if (!title_files_) title_files_ = automation::MakeCollection();
  return title_files_;
}

Ref<Collection> Tutorial::Lessons() {
  if (!lessons_) lessons_ = automation::MakeCollection();
  return lessons_;
}

bool Tutorial::LoadFromXml(XmlNode node, const Variant& directory_list, const Variant& task_pool,
                           const Variant& student_id, const Variant& save_dir) {
  if (node.IsNull()) throw automation::RuntimeError(automation::kObjectNotSet);
  if (auto type = AttributeText(node, "type")) {
    if (*type == "noexpand") type_ = kTutorialNoExpand;
    if (*type == "single") type_ = kTutorialSingle;
  }
  if (auto spacer = AttributeText(node, "spacer")) {
    if (LowerAscii(*spacer) == "true" || *spacer == "1") spacer_ = true;
  }
  if (auto title = ChildText(node, "title")) title_ = std::move(*title);

  Result<XmlNodeList> files = node.SelectNodes("lessonList/lessonFile");
  if (!files.ok() || files->Length() == 0) return true;
  const Ref<Collection> lessons = Lessons();
  if (directory_list.Resolve().IsNull()) {
    for (const XmlNode file : *files) {
      Ref<Lesson> lesson = NewRecordObject<Lesson>("Lesson");
      lesson->SetLessonFilename(file.Text());
      lessons->Append(Variant(std::move(lesson)));
    }
    return true;
  }

  const std::vector<std::string> folders = SplitFolders(automation::ToString(directory_list));
  const std::string student = OptionalText(student_id);
  const std::string_view obj_name =
      obj_type_ == kLessonObjTypeTextbook ? "TextbookLesson" : "Lesson";
  for (const XmlNode file : *files) {
    const std::string name = file.Text();
    Ref<TitleFilename> handle;
    std::string found_in;
    for (const std::string& folder : folders) {
      Ref<TitleFilename> candidate = NewRecordObject<TitleFilename>("TitleFilename");
      const TitleFilename::LoadOutcome found = candidate->Find(folder, name, obj_name);
      // A folder that could not be asked may hold the lesson: left out, it
      // would be missing from the menu saved after this load.
      if (found == TitleFilename::LoadOutcome::kRefused) return false;
      if (found == TitleFilename::LoadOutcome::kLoaded) {
        handle = std::move(candidate);
        found_in = folder;
        break;
      }
    }
    if (!handle) continue;
    const std::string key = handle->Title();
    LessonTitleFiles()->AddKeyed(key, Variant(handle));

    Ref<Lesson> lesson = NewRecordObject<Lesson>("Lesson");
    lesson->SetLessonObjType(obj_type_);
    if (!lesson->Load(found_in + name, task_pool)) return false;
    if (!student.empty()) {
      const std::string student_file =
          StudentLessonPath(OptionalText(save_dir), lesson->LessonFilename(), student);
      Ref<Lesson> own = NewRecordObject<Lesson>("Lesson");
      own->SetLessonObjType(obj_type_);
      const RecordRead read = own->Read(student_file, task_pool);
      // A copy the server would not hand out may hold the student's work:
      // the definition in its place would be saved over it.
      if (read == RecordRead::kRefused) return false;
      if (read == RecordRead::kRead) {
        lesson = std::move(own);
      } else {
        // The first Save of the definition then writes the student's copy.
        lesson->SetLessonFilename(LessonFileName(student_file));
      }
    }
    lessons->Append(Variant(std::move(lesson)));
  }
  return true;
}

void Tutorial::SaveToXml(XmlNode node) {
  if (node.IsNull()) throw automation::RuntimeError(automation::kObjectNotSet);
  SetAttributeText(node, "type",
                   type_ == kTutorialNoExpand ? "noexpand"
                   : type_ == kTutorialSingle ? "single"
                                              : "normal");
  if (spacer_) SetAttributeText(node, "spacer", "true");
  AppendTextElement(node, "title", title_);
  const XmlNode list = AppendElement(node, "lessonList");
  const Ref<Collection> lessons = Lessons();
  for (size_t i = 0; i < lessons->size(); ++i) {
    const Variant member = lessons->at(i);
    const auto* lesson = ObjectAs<Lesson>(member);
    if (lesson == nullptr) throw automation::RuntimeError(automation::kTypeMismatch);
    AppendTextElement(list, "lessonFile", lesson->LessonFilename());
  }
}

NORWIN_CLASS(Tutorial) {
  PropertyRW("Title", &Tutorial::Title, &Tutorial::SetTitle);
  PropertyRef("LessonTitleFiles", &Tutorial::LessonTitleFiles, &Tutorial::SetLessonTitleFiles);
  PropertyRef("Lessons", &Tutorial::Lessons, &Tutorial::SetLessons);
  PropertyRW("BaseHREF", &Tutorial::BaseHREF, &Tutorial::SetBaseHREF);
  PropertyRW("Spacer", &Tutorial::Spacer, &Tutorial::SetSpacer);
  PropertyRW("TutorialType", &Tutorial::TutorialType, &Tutorial::SetTutorialType);
  PropertyRW("LessonObjType", &Tutorial::LessonObjType, &Tutorial::SetLessonObjType);
  Method("LoadFromXMLNode", [](Tutorial& self, const Variant& node, const Variant& directory_list,
                               const Variant& task_pool, const Variant& student_id,
                               const Variant& save_dir) {
    return self.LoadFromXml(DomNodeArgument(node), directory_list, task_pool, student_id, save_dir);
  });
  Method("SaveToXMLNode", [](Tutorial& self, const Variant& node) {
    self.SaveToXml(DomNodeArgument(node));
    return Variant(true);
  });
}

}  // namespace norwin::datalayer
