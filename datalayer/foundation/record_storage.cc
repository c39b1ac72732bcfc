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
  std::string url = GetBaseURL(location);
  url.reserve(url.size() + reserve + 64);
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
    url.append(param.value);
  }
  const std::string& validation = CurrentValidationString();
  if (kind.shape == RequestShape::kA) {
    // The "&" goes out even when there has been no login: the pages
    // expect it.
    url.push_back('&');
    url.append(validation);
  } else {
    AppendURLParam(url, GetURLQuery(location));
    AppendURLParam(url, validation);
  }
}

// The native path of a local location; nullopt when it names nothing that
// can exist (empty, a network path, a drive that is not there).
std::optional<fs::path> LocalPath(std::string_view filename) {
  Result<fs::path> path = platform::ResolveWindowsPath(filename);
  if (!path.ok()) return std::nullopt;
  return std::move(path).value();
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
  const std::string_view file = GetURLFileName(location);
  std::string url = UrlHead(location, page, kind.obj_name, file.size());
  url.append("&FileName=");
  url.append(file);
  AppendParamsAndTail(url, location, kind);
  return url;
}

std::string BuildListingUrl(std::string_view folder, const RecordKind& kind) {
  std::string url = UrlHead(folder, ServerPage::kList, kind.obj_name, 0);
  AppendParamsAndTail(url, folder, kind);
  return url;
}

bool LoadRecord(XmlDocument& doc, std::string_view filename, const RecordKind& kind) {
  if (IsURL(filename)) {
    const platform::HttpResponse response =
        PostToServerOrThrow(BuildRecordUrl(filename, ServerPage::kLoad, kind));
    return doc.LoadXml(response.body).ok();
  }
  const std::optional<fs::path> path = LocalPath(filename);
  if (!path) {
    // Leave the document empty, as a failed load does.
    (void)doc.LoadXml("");
    return false;
  }
  return doc.Load(*path).ok();
}

void SaveRecord(const XmlDocument& doc, std::string_view filename, const RecordKind& kind) {
  if (IsURL(filename)) {
    const platform::HttpResponse response = PostToServerOrThrow(
        BuildRecordUrl(filename, ServerPage::kSave, kind), doc.Xml(XmlDeclaration::kInclude));
    if (!response.body.empty()) ShowServerAnswer(ResponseText(response));
    return;
  }
  const std::optional<fs::path> path = LocalPath(filename);
  if (!path)
    ThrowWriteFailed("cannot save the record \"" + std::string(filename) +
                     "\": the path names no folder on this machine");
  if (const Status saved = doc.Save(*path); !saved.ok()) ThrowWriteFailed(saved.message());
}

bool DeleteRecord(std::string_view filename, const RecordKind& kind) {
  if (IsURL(filename)) {
    const platform::HttpResponse response =
        PostToServerOrThrow(BuildRecordUrl(filename, ServerPage::kDelete, kind));
    return response.body.empty();
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
