#include "norwin/datalayer/title_filename.h"

#include <utility>

#include "new_record_object.h"
#include "norwin/automation/error.h"
#include "norwin/datalayer/record_storage.h"
#include "norwin/datalayer/record_xml.h"
#include "norwin/datalayer/security.h"
#include "norwin/datalayer/server_request.h"
#include "norwin/datalayer/url_support.h"
#include "norwin/datalayer/utils.h"

namespace norwin::datalayer {

namespace {

using automation::Collection;
using automation::Ref;

}  // namespace

bool FetchHandleRecord(XmlDocument& doc, std::string_view directory, std::string_view filename,
                       std::string_view obj_name) {
  return ReadHandleRecord(doc, directory, filename, obj_name) == RecordRead::kRead;
}

RecordRead ReadHandleRecord(XmlDocument& doc, std::string_view directory, std::string_view filename,
                            std::string_view obj_name) {
  // The folder and the name stay apart: the page gets the name exactly as
  // the caller gave it, whatever it holds.
  return ReadRecord(doc, directory, RecordKind{obj_name}, filename);
}

bool TitleFilename::SetValues(std::string title, std::string directory, std::string filename) {
  title_ = std::move(title);
  directory_ = std::move(directory);
  filename_ = std::move(filename);
  return true;
}

TitleFilename::LoadOutcome TitleFilename::Fetch(const std::string& directory,
                                                const std::string& filename,
                                                std::string_view obj_name) {
  XmlDocument doc;
  switch (ReadHandleRecord(doc, directory, filename, obj_name)) {
    case RecordRead::kRead:
      break;
    case RecordRead::kRefused:
      return LoadOutcome::kRefused;
    case RecordRead::kEmpty:
    case RecordRead::kNoRecord:
      return LoadOutcome::kNotLoaded;
  }
  std::optional<std::string> title = ChildText(doc.DocumentElement(), "title");
  if (!title) return LoadOutcome::kNoTitle;
  title_ = std::move(*title);
  filename_ = filename;
  directory_ = directory;
  return LoadOutcome::kLoaded;
}

TitleFilename::LoadOutcome TitleFilename::Find(const std::string& directory,
                                               const std::string& filename,
                                               std::string_view obj_name) {
  const LoadOutcome outcome = Fetch(directory, filename, obj_name);
  if (outcome == LoadOutcome::kNoTitle) throw automation::RuntimeError(automation::kObjectNotSet);
  return outcome;
}

bool TitleFilename::LoadValues(const std::string& directory, const std::string& filename,
                               const std::string& obj_name) {
  return Find(directory, filename, obj_name) == LoadOutcome::kLoaded;
}

Ref<Collection> ListLocalTitleFilenames(std::string_view folder,
                                        const std::function<bool(std::string_view name)>& matches,
                                        std::string_view obj_name) {
  Ref<Collection> list = automation::MakeCollection();
  const std::vector<std::string> names = ListFolderFiles(folder);
  if (names.empty()) return list;
  const std::string directory = AddTrailingSlash(folder);
  for (const std::string& name : names) {
    if (!matches(name)) continue;
    Ref<TitleFilename> handle = NewRecordObject<TitleFilename>("TitleFilename");
    if (handle->Fetch(directory, name, obj_name) == TitleFilename::LoadOutcome::kLoaded) {
      list->Append(automation::Variant(std::move(handle)));
    }
  }
  return list;
}

Ref<Collection> TitleFilenamesFromListing(std::span<const std::string> fields,
                                          std::string_view directory) {
  Ref<Collection> list = automation::MakeCollection();
  for (size_t i = 0; i + 1 < fields.size(); i += 2) {
    Ref<TitleFilename> handle = NewRecordObject<TitleFilename>("TitleFilename");
    if (handle->SetValues(fields[i], std::string(directory), fields[i + 1])) {
      list->Append(automation::Variant(std::move(handle)));
    }
  }
  return list;
}

NORWIN_CLASS(TitleFilename) {
  PropertyRW("Title", &TitleFilename::Title, &TitleFilename::SetTitle);
  PropertyRW("filename", &TitleFilename::Filename, &TitleFilename::SetFilename);
  PropertyRW("Directory", &TitleFilename::Directory, &TitleFilename::SetDirectory);
  PropertyRW("LessonObjType", &TitleFilename::LessonObjType, &TitleFilename::SetLessonObjType);
  Method("SetValues", &TitleFilename::SetValues);
  Method("LoadValues", &TitleFilename::LoadValues, automation::Optional("pObjName", "Exam"));
}

}  // namespace norwin::datalayer
