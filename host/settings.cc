#include "norwin/host/settings.h"

#include <cstdio>

#include "norwin/host/config_lookup.h"
#include "norwin/host/course_drive.h"
#include "norwin/host/message_templates.h"
#include "norwin/host/utf8_text.h"
#include "norwin/platform/codepage.h"
#include "norwin/platform/drives.h"
#include "norwin/platform/http.h"
#include "norwin/platform/profile.h"
#include "norwin/platform/prompts.h"

namespace norwin::host {
namespace {

namespace p = norwin::platform;

constexpr std::string_view kSection = "general";
// Buffer sizes of the original record, which cut the values read into them.
constexpr size_t kFieldCapacity = 260;
constexpr size_t kFileTextCapacity = 258;

void ShowError(std::string_view text, std::string_view caption = kSettingsErrorCaption) {
  p::CurrentPrompts().MessageBox(text, caption, p::kMbOk);
}

}  // namespace

Result<std::string> FetchConfigDocument(std::string_view address) {
  p::HttpRequest request;
  request.url = std::string(address);
  request.user_agent = std::string(kHttpAgent);
  request.max_response_bytes = kMaxConfigDocumentBytes;
  Result<p::HttpResponse> response = p::DefaultHttpClient().Send(request);
  if (!response.ok()) return response.status();
  std::string& body = response->body;
  if (!p::IsValidUtf8(body)) return p::Cp1252ToUtf8(body);
  return std::move(body);
}

bool Settings::Load(std::string_view location) {
  failure_.clear();
  if (LoadLink(location, 1)) return true;
  if (failure_.empty()) failure_ = "the settings " + std::string(location) + " cannot be used";
  return false;
}

bool Settings::Fail(std::string cause) {
  failure_ = std::move(cause);
  return false;
}

bool Settings::LoadLink(std::string_view location, int link) {
  if (location.starts_with('"')) {
    location.remove_prefix(1);
    if (location.ends_with('"')) location.remove_suffix(1);
  }
  // The original copied the location into a fixed buffer; a longer one is
  // refused here rather than cut, so that no other file is opened than the
  // one named.
  if (CountCharacters(location) > kMaxLocationChars) {
    ShowError("The settings location is longer than " + std::to_string(kMaxLocationChars) +
              " characters:\n" + std::string(location));
    return Fail("the settings location is longer than " + std::to_string(kMaxLocationChars) +
                " characters");
  }
  // Each session link fetches another document; a server that keeps
  // handing out session ids would otherwise chain for ever.
  if (link > kMaxSessionLinks) {
    ShowError("The settings lead through more than " + std::to_string(kMaxSessionLinks) +
              " session links; the last one was:\n" + std::string(location));
    return Fail("the settings lead through more than " + std::to_string(kMaxSessionLinks) +
                " session links");
  }
  const std::string copy(location);
  if (copy.starts_with("http://")) return LoadFromAddress(copy, link);
  return LoadFromFile(copy, link);
}

bool Settings::LoadFromAddress(const std::string& address, int link) {
  Result<std::string> fetched = FetchConfigDocument(address);
  if (!fetched.ok()) {
    // The Windows program read an unreachable server as an empty document
    // and complained of a missing "run"; say which server and why instead.
    ShowError("Cannot read the settings from the server " + address + ":\n" + fetched.message());
    return Fail("cannot read the settings from the server " + address + ": " + fetched.message());
  }
  const std::string& document = *fetched;
  cx = FindConfigNumber("cx", 800, document);
  cy = FindConfigNumber("cy", 600, document);
  if (!FindConfigText("run", run, kFieldCapacity, document)) {
    ShowError("Config from http:// returned no 'run' parameter");
    ShowError(document, "Config String Was:");
    return Fail("the settings from " + address + " have no 'run'");
  }
  if (!sessionID.empty()) {
    run += kSessionStateQuery;
    run += sessionID;
  }
  if (FindConfigText("sessionID", sessionID, kFieldCapacity, document)) {
    run += kSessionStateQuery;
    run += sessionID;
    const std::string next = run;
    return LoadLink(next, link + 1);
  }
  if (!FindConfigText("title", title, kFieldCapacity, document)) {
    ShowError("Config from http:// returned no 'title' parameter");
    return Fail("the settings from " + address + " have no 'title'");
  }
  FindConfigText("redirKey", redirKey, kFieldCapacity, document);
  return true;
}

bool Settings::LoadFromFile(const std::string& location, int link) {
  std::string file;
  if (location.size() >= 2 && location[1] == ':') {
    drive = location[0];
    if (!CheckFile(location, drive)) {
      ShowTemplateMessage(kIdsUnableToOpen, location);
      return Fail("cannot open the settings file " + location);
    }
    file = location;
  } else {
    if (CountCharacters(location) + 2 > kMaxLocationChars) {
      return Fail("the settings location is longer than " + std::to_string(kMaxLocationChars - 2) +
                  " characters");
    }
    const std::optional<char> found = SearchCourseDrive(location);
    if (!found) return Fail("no drive holds the settings file " + location);
    drive = *found;
    // The drive was just found to exist, so neither call can fail in a way
    // that matters: the file check below reports any trouble.
    (void)p::SetCurrentDrive(drive);
    (void)p::SetCurrentDirectory(std::string{drive, ':', '\\'});
    if (!CheckFile(location, drive)) {
      ShowTemplateMessage(kIdsUnableToOpen, location);
      return Fail("cannot open the settings file " + location);
    }
    file = PrefixDrive(location, drive);
  }

  Result<std::filesystem::path> native = p::ResolveWindowsPath(file);
  if (!native.ok()) {
    ShowTemplateMessage(kIdsUnableToOpen, location);
    return Fail("cannot open the settings file " + location + ": " + native.message());
  }
  // The profile functions read a file that is not text as an empty one; say
  // so instead of failing without a word.
  if (Result<p::Profile> profile = p::Profile::Load(*native); !profile.ok()) {
    ShowError(location + " is not a settings file:\n" + profile.message());
    return Fail(location + " is not a settings file: " + profile.message());
  }

  const std::string run_value =
      p::GetPrivateProfileString(kSection, "run", "", kFileTextCapacity, *native);
  if (run_value.empty()) return Fail("the settings file " + location + " has no 'run'");
  if (run_value.starts_with("http://")) {
    run = run_value;
  } else {
    run.assign(1, drive);
    run += ':';
    run += run_value;
  }
  sessionID = p::GetPrivateProfileString(kSection, "sessionID", "", kFieldCapacity, *native);
  if (!sessionID.empty()) {
    run += kSessionStateQuery;
    run += sessionID;
    const std::string next = run;
    return LoadLink(next, link + 1);
  }
  cx = p::GetPrivateProfileInt(kSection, "cx", 800, *native);
  cy = p::GetPrivateProfileInt(kSection, "cy", 600, *native);
  const std::string title_value =
      p::GetPrivateProfileString(kSection, "title", "", kFileTextCapacity, *native);
  if (title_value.empty()) return Fail("the settings file " + location + " has no 'title'");
  title = title_value;
  redirKey =
      p::GetPrivateProfileString(kSection, "redirKey", kDefaultRedirKey, kFieldCapacity, *native);
  return true;
}

Settings& TheSettings() {
  static Settings settings;
  return settings;
}

}  // namespace norwin::host
