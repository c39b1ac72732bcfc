#include "norwin/datalayer/lesson_menu.h"

#include <string>
#include <utility>
#include <vector>

#include "norwin/automation/error.h"
#include "norwin/datalayer/record_kinds.h"
#include "norwin/datalayer/record_members.h"
#include "norwin/datalayer/record_storage.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/title_filename.h"
#include "norwin/datalayer/tutorial.h"
#include "norwin/datalayer/url_support.h"

namespace norwin::datalayer {

namespace {

using automation::Collection;
using automation::Ref;
using automation::Variant;

}  // namespace

Ref<Collection> LessonMenu::Tutorials() {
  if (!tutorials_) tutorials_ = automation::MakeCollection();
  return tutorials_;
}

std::string_view LessonMenu::ServerObjName() const {
  return obj_type_ == kLessonObjTypeTextbook ? "TextbookLessonMenu" : "LessonMenu";
}

Ref<Collection> LessonMenu::GetLessonMenus(const std::string& directory) {
  if (IsURL(directory)) {
    const RecordKind kind{ServerObjName(), RequestShape::kA};
    const std::vector<std::string> fields = FetchListing(directory, kind, 2);
    return TitleFilenamesFromListing(fields, GetBaseURL(directory));
  }
  return ListLocalTitleFilenames(directory, IsLessonMenuName, "LessonMenu");
}

bool LessonMenu::Load(const std::string& filename, const Variant& directory_list,
                      const Variant& task_pool, const Variant& student_id,
                      const Variant& save_dir) {
  // The load page takes the menu's kind as a second parameter ahead of the
  // file name: "ObjName=LessonMenu&Type=TextbookLessonMenu&FileName=...".
  const std::string obj_name = "LessonMenu&Type=" + std::string(ServerObjName());
  XmlDocument doc;
  if (!LoadRecord(doc, filename, RecordKind{obj_name, RequestShape::kA})) return false;
  const XmlNode root = doc.DocumentElement();
  if (auto title = ChildText(root, "title")) title_ = std::move(*title);
  Result<XmlNodeList> elements = root.SelectNodes("tutorialList/tutorial");
  if (!elements.ok()) return true;
  for (const XmlNode element : *elements) {
    Ref<Tutorial> tutorial = NewRecordObject<Tutorial>("Tutorial");
    tutorial->SetLessonObjType(obj_type_);
    if (!tutorial->LoadFromXml(element, directory_list, task_pool, student_id, save_dir)) {
      return false;
    }
    Tutorials()->Append(Variant(std::move(tutorial)));
  }
  return true;
}

bool LessonMenu::Save(const std::string& filename) {
  XmlDocument doc;
  const XmlNode root = NewRecordRoot(doc, "lessonMenu");
  AppendTextElement(root, "title", title_);
  const XmlNode list = AppendElement(root, "tutorialList");
  const Ref<Collection> tutorials = Tutorials();
  for (size_t i = 0; i < tutorials->size(); ++i) {
    const Variant member = tutorials->at(i);
    auto* tutorial = ObjectAs<Tutorial>(member);
    if (tutorial == nullptr) throw automation::RuntimeError(automation::kTypeMismatch);
    tutorial->SaveToXml(AppendElement(list, "tutorial"));
  }
  return SaveRecord(doc, filename, RecordKind{"LessonMenu", RequestShape::kA});
}

NORWIN_CLASS(LessonMenu) {
  PropertyRW("Title", &LessonMenu::Title, &LessonMenu::SetTitle);
  PropertyRef("Tutorials", &LessonMenu::Tutorials, &LessonMenu::SetTutorials);
  PropertyRW("LessonMenuObjType", &LessonMenu::LessonMenuObjType,
             &LessonMenu::SetLessonMenuObjType);
  Method("GetLessonMenus", &LessonMenu::GetLessonMenus);
  Method("Load", &LessonMenu::Load);
  Method("Save", &LessonMenu::Save);
}

}  // namespace norwin::datalayer
