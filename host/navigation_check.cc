#include "norwin/host/navigation_check.h"

#include <optional>

#include "norwin/host/utf8_text.h"
#include "norwin/platform/prompts.h"

namespace norwin::host {
namespace {

bool EndsWithIgnoringAsciiCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  text.remove_prefix(text.size() - suffix.size());
  for (size_t i = 0; i < suffix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> RedirectValue(platform::Registry* registry, std::string_view redir_key,
                                         std::string_view name) {
  if (!registry) return std::nullopt;
  std::string key = "HKEY_LOCAL_MACHINE";
  if (!redir_key.empty()) {
    key += '\\';
    key += redir_key;
  }
  Result<std::optional<platform::RegValue>> value = registry->GetValue(key, name);
  if (!value.ok() || !*value) return std::nullopt;
  const platform::RegValue& found = **value;
  if (found.type != platform::RegType::kSz && found.type != platform::RegType::kExpandSz)
    return std::nullopt;
  return found.text;
}

NavigationAction CheckNavigation(std::string_view url, std::string_view target_frame,
                                 platform::Registry* registry, std::string_view redir_key,
                                 CookieSink& cookies) {
  NavigationAction action;
  if (CountCharacters(url) < 5) return action;
  const std::string_view path = url.substr(0, url.find('?'));

  if (EndsWithIgnoringAsciiCase(path, "learning/frameset.htm") ||
      EndsWithIgnoringAsciiCase(path, "learning\\frameset.htm")) {
    if (std::optional<std::string> target =
            RedirectValue(registry, redir_key, kFramesetRedirectValue)) {
      action.kind = NavigationAction::Kind::kRedirect;
      action.address = std::move(*target);
      action.target_frame = std::string(target_frame);
      return action;
    }
  }

  if (EndsWithIgnoringAsciiCase(path, ".agc")) {
    if (std::optional<std::string> target =
            RedirectValue(registry, redir_key, kExamFileRedirectValue)) {
      action.kind = NavigationAction::Kind::kRedirect;
      action.address = std::move(*target);
      action.target_frame = std::string(target_frame);
      cookies.SetCookie(kExamUrlCookie, url);
    } else {
      action.kind = NavigationAction::Kind::kStopAndReport;
    }
  }
  return action;
}

void ShowRedirectFileNotSet() {
  platform::CurrentPrompts().MessageBox(kRedirectFileNotSetText, kLumoErrorCaption,
                                        platform::kMbOk);
}

}  // namespace norwin::host
