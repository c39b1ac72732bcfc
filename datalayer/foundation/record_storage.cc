#include "norwin/datalayer/record_storage.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

#include "norwin/automation/convert.h"
#include "norwin/datalayer/security.h"
#include "norwin/datalayer/server_request.h"
#include "norwin/datalayer/url_support.h"
#include "norwin/platform/drives.h"
#include "norwin/platform/prompts.h"

namespace norwin::datalayer {

namespace {

namespace fs = std::filesystem;
using automation::AutomationError;

// GetBaseURL(f) & page & "?ObjName=" & kind: the head both URL forms share.
std::string UrlHead(std::string_view location, ServerPage page, std::string_view obj_name,
                    size_t reserve) {
  std::string url;
  url.reserve(location.size() + reserve + 64);
  AppendURLText(url, GetBaseURL(location), UrlPart::kStructure);
  url.append(ServerPageName(page));
  url.append("?ObjName=");
  url.append(obj_name);
  return url;
}

void AppendParamsAndTail(std::string& url, std::string_view location, const RecordKind& kind) {
  for (const UrlParam& param : kind.params) {
    if (param.value.empty() && param.presence == ParamPresence::kWhenNotEmpty) continue;
    url.push_back('&');
    url.append(param.name);
    url.push_back('=');
    AppendURLText(url, param.value, UrlPart::kValue);
  }
  const std::string& validation = CurrentValidationString();
  if (kind.shape == RequestShape::kA) {
    // The "&" goes out even when there has been no login: the pages
    // expect it.
    url.push_back('&');
    AppendURLText(url, validation, UrlPart::kStructure);
  } else {
    for (const std::string_view tail : {GetURLQuery(location), std::string_view(validation)}) {
      if (tail.empty()) continue;
      url.push_back('&');
      AppendURLText(url, tail, UrlPart::kStructure);
    }
  }
}

// The native path of a local location; nullopt when it names nothing that
// can exist (empty, a network path, a drive that is not there).
std::optional<fs::path> LocalPath(std::string_view filename) {
  Result<fs::path> path = platform::ResolveCoursePath(filename);
  if (!path.ok()) return std::nullopt;
  return std::move(path).value();
}

bool IsBlank(std::string_view text) {
  return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

[[noreturn]] void ThrowWriteFailed(std::string description) {
  throw AutomationError(kLocalWriteFailed, std::move(description));
}

}  // namespace

std::string_view ServerPageName(ServerPage page) {
  switch (page) {
    case ServerPage::kLoad:
      return "LoadPellamObject.asp";
    case ServerPage::kSave:
      return "SavePellamObject.asp";
    case ServerPage::kDelete:
      return "DeletePellamObject.asp";
    case ServerPage::kList:
      return "GetTitleFileNames.asp";
  }
  return {};
}

std::string BuildRecordUrl(std::string_view location, ServerPage page, const RecordKind& kind) {
  return BuildRecordUrl(location, page, kind, GetURLFileName(location));
}

std::string BuildRecordUrl(std::string_view location, ServerPage page, const RecordKind& kind,
                           std::string_view file) {
  std::string url = UrlHead(location, page, kind.obj_name, file.size());
  url.append("&FileName=");
  AppendURLText(url, file, UrlPart::kValue);
  AppendParamsAndTail(url, location, kind);
  return url;
}

std::string BuildListingUrl(std::string_view folder, const RecordKind& kind) {
  std::string url = UrlHead(folder, ServerPage::kList, kind.obj_name, 0);
  AppendParamsAndTail(url, folder, kind);
  return url;
}

RecordRead ReadRecord(XmlDocument& doc, std::string_view filename, const RecordKind& kind) {
  // A server location is its folder as far as the URL goes (nothing after
  // its last "/" counts there).
  if (IsURL(filename)) return ReadRecord(doc, filename, kind, GetURLFileName(filename));
  return ReadRecord(doc, std::string_view(), kind, filename);
}

RecordRead ReadRecord(XmlDocument& doc, std::string_view folder, const RecordKind& kind,
                      std::string_view file) {
  RecordRead read = RecordRead::kNoRecord;
  // Whether `doc` holds the outcome of parsing the text (and its error).
  bool parsed = false;
  if (IsURL(folder)) {
    const platform::HttpResponse response =
        PostToServerOrThrow(BuildRecordUrl(folder, ServerPage::kLoad, kind, file));
    if (!Succeeded(response)) {
      read = RecordRead::kRefused;
    } else if (IsBlank(response.body)) {
      read = RecordRead::kEmpty;
    } else {
      parsed = true;
      if (doc.LoadXml(response.body).ok()) read = RecordRead::kRead;
    }
  } else if (const std::optional<fs::path> path =
                 LocalPath(std::string(folder) + std::string(file))) {
    parsed = true;
    if (doc.Load(*path).ok()) read = RecordRead::kRead;
  }
  if (read == RecordRead::kRead && !kind.root.empty() &&
      doc.DocumentElement().NodeName() != kind.root) {
    read = RecordRead::kRefused;
    parsed = false;
  }
  // Leave the document empty, as a failed load does.
  if (read != RecordRead::kRead && !parsed) (void)doc.LoadXml("");
  return read;
}

bool LoadRecord(XmlDocument& doc, std::string_view filename, const RecordKind& kind) {
  return ReadRecord(doc, filename, kind) == RecordRead::kRead;
}

std::optional<RecordList> ReadLocalRecordList(std::string_view filename,
                                              const RecordListShape& shape) {
  if (IsURL(filename)) return std::nullopt;
  const std::optional<fs::path> path = LocalPath(filename);
  if (!path) return std::nullopt;
  return ReadRecordListFile(*path, shape);
}

bool SaveRecord(const XmlDocument& doc, std::string_view filename, const RecordKind& kind) {
  if (IsURL(filename)) {
    const platform::HttpResponse response = PostToServerOrThrow(
        BuildRecordUrl(filename, ServerPage::kSave, kind), doc.Xml(XmlDeclaration::kInclude));
    if (!response.body.empty()) ShowServerAnswer(ResponseText(response));
    return Succeeded(response);
  }
  const std::optional<fs::path> path = LocalPath(filename);
  if (!path)
    ThrowWriteFailed("cannot save the record \"" + std::string(filename) +
                     "\": the path names no folder on this machine");
  if (const Status saved = doc.Save(*path); !saved.ok()) ThrowWriteFailed(saved.message());
  return true;
}

bool DeleteRecord(std::string_view filename, const RecordKind& kind) {
  if (IsURL(filename)) {
    const platform::HttpResponse response =
        PostToServerOrThrow(BuildRecordUrl(filename, ServerPage::kDelete, kind));
    return Succeeded(response) && response.body.empty();
  }
  const std::optional<fs::path> path = LocalPath(filename);
  if (!path) return false;
  std::error_code error;
  // A folder is never a record: refuse it rather than remove it.
  if (fs::is_directory(fs::symlink_status(*path, error))) return false;
  // Removing a name needs no write permission on the file itself, so a
  // read-only record goes too, as the force flag asks.
  return fs::remove(*path, error) && !error;
}

void ShowServerAnswer(std::string_view text) {
  platform::CurrentPrompts().MessageBox(text, kServerAnswerCaption, platform::kMbOk);
}

std::vector<std::string> ListFolderFiles(std::string_view folder) {
  std::vector<std::string> names;
  const std::optional<fs::path> path = LocalPath(folder);
  if (!path) return names;
  std::error_code error;
  fs::directory_iterator it(*path, error);
  if (error) return names;
  for (; it != fs::directory_iterator(); it.increment(error)) {
    if (error) break;
    std::error_code type_error;
    if (it->is_regular_file(type_error)) names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const int order = automation::CompareStrings(a, b, automation::CompareMode::kText);
    return order != 0 ? order < 0 : a < b;
  });
  return names;
}

std::vector<std::string> FetchListing(std::string_view folder, const RecordKind& kind,
                                      size_t fields_per_record) {
  const platform::HttpResponse response = PostToServerOrThrow(BuildListingUrl(folder, kind));
  if (!Succeeded(response)) {
    // The folder without the request's query, which may hold the login.
    throw AutomationError(kServerFailed, "The server at " + GetBaseURL(folder) +
                                             " answered the list of records with HTTP status " +
                                             std::to_string(response.status) + ": " +
                                             ResponseText(response));
  }
  return SplitListing(ResponseText(response), fields_per_record);
}

std::vector<std::string> SplitListing(std::string_view text, size_t fields_per_record) {
  std::vector<std::string> fields;
  if (fields_per_record == 0) return fields;
  while (text.find(';') != std::string_view::npos) {
    for (size_t i = 0; i < fields_per_record; ++i) {
      const size_t end = text.find(';');
      if (end == std::string_view::npos) {
        throw AutomationError(
            automation::HResultFromRuntimeError(automation::kInvalidProcedureCall),
            "The server's list of records ends inside a record: \"" + std::string(text) +
                "\" has no \";\" after it");
      }
      fields.emplace_back(text.substr(0, end));
      text.remove_prefix(end + 1);
    }
  }
  return fields;
}

}  // namespace norwin::datalayer
