#include "bridge/webext/course_requests.h"

#include <deque>
#include <optional>
#include <string>
#include <utility>

#include "norwin/host/course_address.h"

namespace norwin::bridge::webext {
namespace {

// The UI process's message with a redirect of its navigation check.
constexpr char kRedirectMessage[] = "lumo.redirect";
// Redirects kept until their request comes; a navigation given up before
// leaves one behind, so only the last few are kept.
constexpr size_t kRedirectsKept = 16;

// Address -> target, for every page of the process (a window.open page is
// another page than the one whose navigation was checked).
std::deque<std::pair<std::string, std::string>>& Redirects() {
  static auto* redirects = new std::deque<std::pair<std::string, std::string>>();
  return *redirects;
}

// The target of a redirect for `uri`, taken out of the list.
std::optional<std::string> TakeRedirect(std::string_view uri) {
  auto& redirects = Redirects();
  for (auto it = redirects.begin(); it != redirects.end(); ++it) {
    if (it->first != uri) continue;
    std::string target = std::move(it->second);
    redirects.erase(it);
    return target;
  }
  return std::nullopt;
}

gboolean OnSendRequest(WebKitWebPage*, WebKitURIRequest* request, WebKitURIResponse*, gpointer) {
  const char* uri = webkit_uri_request_get_uri(request);
  if (!uri) return FALSE;
  // The UI process checked the navigation as it was written; the frame
  // that asked for it loads the target instead.
  if (std::optional<std::string> target = TakeRedirect(uri)) {
    webkit_uri_request_set_uri(request, target->c_str());
  } else if (std::optional<std::string> course = host::CanonicalCourseAddress(uri)) {
    webkit_uri_request_set_uri(request, course->c_str());
  }
  return FALSE;  // the request goes on
}

gboolean OnMessage(WebKitWebPage*, WebKitUserMessage* message, gpointer) {
  if (g_strcmp0(webkit_user_message_get_name(message), kRedirectMessage) != 0) return FALSE;
  GVariant* parameters = webkit_user_message_get_parameters(message);
  if (!parameters || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ss)"))) return TRUE;
  const char* from = nullptr;
  const char* to = nullptr;
  g_variant_get(parameters, "(&s&s)", &from, &to);
  auto& redirects = Redirects();
  redirects.emplace_back(from, to);
  // The engine may ask for the address as the course drive writes it.
  if (std::optional<std::string> course = host::CanonicalCourseAddress(from)) {
    redirects.emplace_back(std::move(*course), to);
  }
  while (redirects.size() > kRedirectsKept) redirects.pop_front();
  return TRUE;
}

void OnPageCreated(WebKitWebExtension*, WebKitWebPage* page, gpointer) {
  g_signal_connect(page, "send-request", G_CALLBACK(&OnSendRequest), nullptr);
  g_signal_connect(page, "user-message-received", G_CALLBACK(&OnMessage), nullptr);
}

}  // namespace

void InstallCourseRequests(WebKitWebExtension* extension) {
  g_signal_connect(extension, "page-created", G_CALLBACK(&OnPageCreated), nullptr);
}

}  // namespace norwin::bridge::webext
