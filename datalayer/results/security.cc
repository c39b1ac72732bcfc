#include "norwin/datalayer/security.h"

#include <utility>

#include "norwin/datalayer/password_digest.h"
#include "norwin/datalayer/server_request.h"
#include "norwin/datalayer/url_support.h"
#include "norwin/datalayer/utils.h"

namespace norwin::datalayer {

namespace {

thread_local std::string validation_string;

constexpr long kHttpOk = 200;

}  // namespace

const std::string& CurrentValidationString() { return validation_string; }

void StoreValidationString(std::string value) { validation_string = std::move(value); }

bool Security::Login(const std::string& server_path) {
  if (!IsURL(server_path)) return true;
  const std::string folder = AddTrailingSlash(GetBaseURL(server_path));

  Result<platform::HttpResponse> key_answer = PostToServer(folder + "LoginKey.asp");
  if (!key_answer.ok() || key_answer->status != kHttpOk) return false;
  const std::string key = ResponseText(*key_answer);
  // The key is a value of the query it goes into: one holding "&" or "#"
  // must not end early.
  std::string validation = "LoginKey=";
  AppendURLText(validation, key, UrlPart::kValue);
  validation.append("&LoginValue=").append(EncryptPassword(key));
  std::string login_url = folder + "Login.asp?" + validation;
  StoreValidationString(std::move(validation));

  Result<platform::HttpResponse> login_answer = PostToServer(std::move(login_url));
  return login_answer.ok() && login_answer->status == kHttpOk && login_answer->body == "Validated";
}

std::string Security::ValidationString() const { return CurrentValidationString(); }

void Security::SetValidationString(const std::string& value) { StoreValidationString(value); }

bool Security::ValidateLoginKey(const std::string& login_key,
                                const std::string& login_value) const {
  return !login_key.empty() && !login_value.empty() && login_value == EncryptPassword(login_key);
}

NORWIN_CLASS(Security) {
  Method("Login", &Security::Login);
  Method("ValidationString", &Security::ValidationString);
  Method("SetValidationString", &Security::SetValidationString);
  Method("ValidateLoginKey", &Security::ValidateLoginKey);
}

}  // namespace norwin::datalayer
