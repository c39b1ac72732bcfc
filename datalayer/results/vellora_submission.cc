#include "norwin/datalayer/vellora_submission.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>
#include <utility>

#include "norwin/automation/error.h"
#include "norwin/datalayer/record_storage.h"
#include "norwin/datalayer/server_request.h"
#include "norwin/datalayer/url_support.h"
#include "norwin/platform/case_fold.h"
#include "norwin/platform/drives.h"
#include "norwin/platform/files.h"
#include "norwin/platform/http.h"
#include "norwin/platform/prefix.h"
#include "norwin/platform/prompts.h"

namespace norwin::datalayer {

namespace {

namespace fs = std::filesystem;

// The marker line is short; reading more than this of a settings file that
// lacks a line end would only cost time.
constexpr size_t kFirstLineLimit = 4096;

std::optional<fs::path> LocalPath(std::string_view filename) {
  Result<fs::path> path = platform::ResolveCoursePath(filename);
  if (!path.ok()) return std::nullopt;
  return std::move(path).value();
}

// The first line of the file at `path`, without its line end; nullopt when
// it cannot be read.
std::optional<std::string> FirstLine(const fs::path& path) {
  std::error_code error;
  if (!fs::is_regular_file(path, error)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text(kFirstLineLimit, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  if (const size_t end = text.find('\n'); end != std::string::npos) text.resize(end);
  if (!text.empty() && text.back() == '\r') text.pop_back();
  return text;
}

// Whether a request object would open `host`: an absolute http: or https:
// address.
bool IsHttpAddress(std::string_view host) {
  return platform::StartsWithIgnoringCase(host, "http://") ||
         platform::StartsWithIgnoringCase(host, "https://");
}

platform::HttpRequest BoundedRequest(std::string method, std::string url) {
  const ServerTimeLimits limits = GetServerTimeLimits();
  platform::HttpRequest request;
  request.method = std::move(method);
  request.url = std::move(url);
  request.connect_timeout = limits.connect;
  request.total_timeout = limits.total;
  return request;
}

void AppendFormValue(std::string& body, std::string_view value) {
  for (const char c : value) {
    switch (c) {
      case '%':
        body.append("%25");
        break;
      case '&':
        body.append("%26");
        break;
      case '+':
        body.append("%2B");
        break;
      case '=':
        body.append("%3D");
        break;
      default:
        body.push_back(c);
    }
  }
}

// FNV-1a, 64 bits: a stable name for a document's mark, the same in every
// process and build.
uint64_t Fnv1a(std::string_view text, uint64_t hash = 0xcbf29ce484222325) {
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3;
  }
  return hash;
}

// Where the mark of the document at `filename` with text `xml` goes.
fs::path SentMarkPath(std::string_view filename, std::string_view xml) {
  std::string identity(filename);
  identity.push_back('\n');
  if (const std::optional<fs::path> path = IsURL(filename) ? std::nullopt : LocalPath(filename)) {
    std::error_code error;
    const auto modified = fs::last_write_time(*path, error);
    if (!error) identity.append(std::to_string(modified.time_since_epoch().count()));
  }
  identity.push_back('\n');
  char name[17];
  std::snprintf(name, sizeof name, "%016llx",
                static_cast<unsigned long long>(Fnv1a(xml, Fnv1a(identity))));
  return platform::PrefixDir() / "vellora-sent" / name;
}

}  // namespace

std::string_view ChooseAccessKey(std::string_view ini_location) {
  if (ini_location.empty() || ini_location == kNoSettingsFile) return kFirstAccessKey;
  const std::optional<fs::path> path = LocalPath(ini_location);
  if (!path) return kFirstAccessKey;
  const std::optional<std::string> line = FirstLine(*path);
  return line && *line == kSecondKeyMarker ? kSecondAccessKey : kFirstAccessKey;
}

std::string KeyedDocumentUrl(std::string_view url, std::string_view key) {
  std::string keyed;
  keyed.reserve(url.size() + key.size() + 5);
  keyed.append(url);
  keyed.append(url.find('?') == std::string_view::npos ? "?key=" : "&key=");
  keyed.append(key);
  return keyed;
}

bool LoadSubmissionDocument(XmlDocument& doc, std::string_view filename, std::string_view key) {
  if (IsURL(filename)) {
    Result<platform::HttpResponse> response =
        platform::DefaultHttpClient().Send(BoundedRequest("GET", KeyedDocumentUrl(filename, key)));
    if (!response.ok()) throw automation::AutomationError(kServerNotReached, response.message());
    // An error page is no submission document, even when it is well-formed.
    if (!Succeeded(*response)) {
      (void)doc.LoadXml("");
      return false;
    }
    return doc.LoadXml(response->body).ok();
  }
  const std::optional<fs::path> path = LocalPath(filename);
  if (!path) {
    (void)doc.LoadXml("");
    return false;
  }
  return doc.Load(*path).ok();
}

bool StoreSubmissionDocument(const XmlDocument& doc, std::string_view filename) {
  if (IsURL(filename)) {
    const platform::HttpResponse response =
        PostToServerOrThrow(std::string(filename), doc.Xml(XmlDeclaration::kInclude));
    if (!response.body.empty()) ShowSubmissionMessage(ResponseText(response), kSubmissionCaption);
    return Succeeded(response) && response.body.empty();
  }
  const std::optional<fs::path> path = LocalPath(filename);
  if (!path) {
    throw automation::AutomationError(
        kLocalWriteFailed, "cannot save the submission document \"" + std::string(filename) +
                               "\": the path names no folder on this machine");
  }
  if (const Status saved = doc.Save(*path); !saved.ok()) {
    throw automation::AutomationError(kLocalWriteFailed, saved.message());
  }
  return true;
}

bool DeleteSubmissionDocument(std::string_view filename) {
  if (IsURL(filename)) return false;
  const std::optional<fs::path> path = LocalPath(filename);
  if (!path) return false;
  std::error_code error;
  // A folder is never a submission document: refuse it rather than remove it.
  if (fs::is_directory(fs::symlink_status(*path, error))) return false;
  // Removing a name needs no write permission on the file itself, so a
  // read-only document goes too.
  return fs::remove(*path, error) && !error;
}

bool IsSubmissionDocumentSent(std::string_view filename, std::string_view xml) {
  std::error_code error;
  return fs::exists(SentMarkPath(filename, xml), error);
}

bool MarkSubmissionDocumentSent(std::string_view filename, std::string_view xml) {
  const fs::path mark = SentMarkPath(filename, xml);
  std::error_code error;
  fs::create_directories(mark.parent_path(), error);
  // What the mark stands for, for an administrator who finds it.
  return platform::WriteFileAtomically(mark, std::string(filename) + "\n").ok();
}

ResultForm& ResultForm::Add(std::string_view name, std::string_view value) {
  if (!(lead_ == Lead::kFirstField && body_.empty())) body_.push_back('&');
  body_.append(name);
  body_.push_back('=');
  AppendFormValue(body_, value);
  return *this;
}

ResultForm& ResultForm::AddIndexed(std::string_view name, int index, std::string_view value) {
  std::string indexed(name);
  indexed.append(std::to_string(index));
  return Add(indexed, value);
}

bool IsAcceptedReply(std::string_view reply) { return reply.starts_with("success"); }

bool PostOutcome::accepted() const {
  return stage == PostStage::kAnswered && status >= 200 && status <= 299 && IsAcceptedReply(reply);
}

bool PostOutcome::reached() const {
  return stage == PostStage::kAnswered && status != 502 && status != 503 && status != 504;
}

PostOutcome PostResultForm(std::string_view host, std::string_view body) {
  PostOutcome outcome;
  if (!IsHttpAddress(host)) return outcome;
  platform::HttpRequest request = BoundedRequest("POST", std::string(host));
  request.headers.emplace_back("Content-Type", "application/x-www-form-urlencoded");
  request.body = std::string(body);
  Result<platform::HttpResponse> response = platform::DefaultHttpClient().Send(request);
  if (!response.ok()) {
    outcome.stage = PostStage::kNotSent;
    outcome.reply = response.message();
    return outcome;
  }
  outcome.stage = PostStage::kAnswered;
  outcome.status = response->status;
  outcome.reply = ResponseText(*response);
  return outcome;
}

void ShowSubmissionMessage(std::string_view text, std::string_view caption) {
  platform::CurrentPrompts().MessageBox(text, caption, platform::kMbOk);
}

std::string SubmitFailedMessage(std::string_view submit_host, std::string_view reply) {
  std::string text = "Save to Vellora Server failed - SubmitHost = '";
  text.append(submit_host);
  text.append("'\rVellora Server Response - '");
  text.append(reply);
  text.push_back('\'');
  return text;
}

}  // namespace norwin::datalayer
