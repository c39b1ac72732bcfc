#include "norwin/datalayer/exam_list.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "new_record_object.h"
#include "norwin/automation/convert.h"
#include "norwin/automation/dispatch.h"
#include "norwin/automation/error.h"
#include "norwin/automation/file_system.h"
#include "norwin/datalayer/record_kinds.h"
#include "norwin/datalayer/record_storage.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/title_filename.h"
#include "norwin/datalayer/url_support.h"
#include "norwin/datalayer/utils.h"

namespace norwin::datalayer {

namespace {

using automation::Collection;
using automation::Ref;
using automation::Variant;

constexpr RecordKind kExamListKind{"ExamList", RequestShape::kA};

XmlNode ChildElement(XmlNode node, std::string_view name) {
  Result<XmlNode> child = node.SelectSingleNode(name);
  return child.ok() ? *child : XmlNode();
}

// The folders of a ";"-separated list, each ending in "/". An empty list
// has no folders; an empty entry between separators stands for "/".
std::vector<std::string> SplitFolders(std::string_view list) {
  std::vector<std::string> folders;
  if (list.empty()) return folders;
  while (true) {
    const size_t end = list.find(';');
    folders.push_back(AddTrailingSlash(list.substr(0, end)));
    if (end == std::string_view::npos) break;
    list.remove_prefix(end + 1);
  }
  return folders;
}

// The file name a member of Exams gives: ours directly, any other object
// through its `filename` property, as script may put its own objects there.
std::string MemberFilename(const Variant& member) {
  automation::Object& object = automation::RequireObject(member);
  if (const auto* handle = dynamic_cast<const TitleFilename*>(&object)) return handle->Filename();
  return automation::ToString(
      automation::CallByName(object, "filename", automation::DISPATCH_PROPERTYGET));
}

}  // namespace

ExamList::ExamList() : exams_(automation::MakeCollection()) {}

Ref<Collection> ExamList::Exams() {
  if (!exams_) exams_ = automation::MakeCollection();
  return exams_;
}

Ref<Preferences> ExamList::Prefs() {
  if (!prefs_) prefs_ = NewRecordObject<Preferences>("Preferences");
  return prefs_;
}

Ref<Collection> ExamList::GetExamLists(const std::string& directory) {
  if (IsURL(directory)) {
    const std::vector<std::string> fields = FetchListing(directory, kExamListKind, 2);
    return TitleFilenamesFromListing(fields, GetBaseURL(directory));
  }
  return ListLocalTitleFilenames(directory, IsExamListName, "Exam");
}

void ExamList::LoadFromXml(XmlNode root, std::string_view directory_list) {
  // Both required elements are looked for before anything changes.
  const XmlNode title = ChildElement(root, "title");
  const XmlNode pref = ChildElement(root, "pref");
  if (title.IsNull() || pref.IsNull()) throw automation::RuntimeError(automation::kObjectNotSet);
  title_ = title.Text();
  Prefs()->LoadFromXml(pref);

  const std::vector<std::string> folders = SplitFolders(directory_list);
  Result<XmlNodeList> exam_files = root.SelectNodes("examFile");
  if (!exam_files.ok()) return;
  const Ref<Collection> exams = Exams();
  std::string previous;
  for (const XmlNode exam_file : *exam_files) {
    std::string name = exam_file.Text();
    bool found = false;
    for (const std::string& folder : folders) {
      Ref<TitleFilename> handle = NewRecordObject<TitleFilename>("TitleFilename");
      if (!handle->LoadValues(folder, name, "Exam")) continue;
      const std::string key = handle->Title();
      exams->AddKeyed(key, Variant(std::move(handle)));
      found = true;
      break;
    }
    if (!found && std::none_of(unfound_files_.begin(), unfound_files_.end(),
                               [&](const UnfoundFile& file) { return file.name == name; })) {
      unfound_files_.push_back(UnfoundFile{name, previous});
    }
    previous = std::move(name);
  }
}

bool ExamList::Load(const std::string& filename, const std::string& directory_list) {
  XmlDocument doc;
  if (!LoadRecord(doc, filename, kExamListKind)) return false;
  LoadFromXml(doc.DocumentElement(), directory_list);
  // The name as the file-system object gives it (base name, ".", extension),
  // without the "." that a name lacking an extension would otherwise get:
  // "unit1." is another file than "unit1" here.
  filename_ = automation::MakeRef<automation::FileSystemObject>()->GetFileName(filename);
  return true;
}

void ExamList::SaveToXml(XmlNode root) {
  AppendTextElement(root, "title", title_);
  Prefs()->SaveToXml(AppendElement(root, "pref"));
  // By position, holding the collection: a script object's `filename`
  // may change the list while it is written.
  const Ref<Collection> exams = Exams();
  std::vector<std::string> members;
  members.reserve(exams->size());
  for (size_t i = 0; i < exams->size(); ++i) members.push_back(MemberFilename(exams->at(i)));
  const auto named = [](const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
  };
  // The files no folder held go back where they stood, after the file they
  // followed (itself perhaps one of them): a list is read in its order.
  std::vector<bool> placed(unfound_files_.size());
  const auto append_followers = [&](const auto& self, const std::string& name) -> void {
    for (size_t i = 0; i < unfound_files_.size(); ++i) {
      const UnfoundFile& file = unfound_files_[i];
      if (placed[i] || file.after != name || named(members, file.name)) continue;
      placed[i] = true;
      AppendTextElement(root, "examFile", file.name);
      self(self, file.name);
    }
  };
  append_followers(append_followers, std::string());
  for (const std::string& name : members) {
    AppendTextElement(root, "examFile", name);
    append_followers(append_followers, name);
  }
  for (size_t i = 0; i < unfound_files_.size(); ++i) {
    if (placed[i] || named(members, unfound_files_[i].name)) continue;
    AppendTextElement(root, "examFile", unfound_files_[i].name);
  }
}

bool ExamList::Save(const std::string& filename) {
  XmlDocument doc;
  SaveToXml(NewRecordRoot(doc, "examList"));
  return SaveRecord(doc, filename, kExamListKind);
}

Variant ExamList::Delete(const std::string& filename) {
  return Variant(DeleteRecord(filename, kExamListKind));
}

bool ExamList::CheckPassword(const std::string& password) {
  return Prefs()->CheckPassword(password);
}

void ExamList::SetPassword(const std::string& password) { Prefs()->SetPassword(password); }

void ExamList::SetPreferences(Ref<Preferences> prefs) {
  prefs_ = prefs ? std::move(prefs) : NewRecordObject<Preferences>("Preferences");
  prefs_->fields().inherited = false;
}

NORWIN_CLASS(ExamList) {
  PropertyRW("Title", &ExamList::Title, &ExamList::SetTitle);
  PropertyRef("Exams", &ExamList::Exams, &ExamList::SetExams);
  PropertyRef("Prefs", &ExamList::Prefs, &ExamList::SetPrefs);
  PropertyRW("ExamListFilename", &ExamList::ExamListFilename, &ExamList::SetExamListFilename);
  Method("GetExamLists", &ExamList::GetExamLists);
  Method("Load", &ExamList::Load);
  Method("Save", &ExamList::Save);
  Method("Delete", &ExamList::Delete);
  Method("CheckPassword", &ExamList::CheckPassword);
  Method("SetPassword", &ExamList::SetPassword);
  Method("SetPreferences", &ExamList::SetPreferences,
         automation::Optional("thePrefs", Variant::Nothing()));
}

}  // namespace norwin::datalayer
