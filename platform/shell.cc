#include "norwin/platform/shell.h"

#include <gio/gio.h>

#include <string>

namespace norwin::platform {

namespace {

Status Launch(const char* uri, const std::string& what) {
  GError* error = nullptr;
  if (g_app_info_launch_default_for_uri(uri, nullptr, &error)) return Status::Ok();
  std::string message = "cannot open " + what;
  if (error) {
    message += ": ";
    message += error->message;
    g_error_free(error);
  }
  return Status::Error(std::move(message));
}

}  // namespace

Status OpenWithDefaultApplication(const std::filesystem::path& file) {
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(file, ec);
  if (ec) return Status::Error("cannot open " + file.string() + ": " + ec.message());
  if (!std::filesystem::exists(absolute, ec))
    return Status::Error("cannot open " + file.string() + ": no such file or folder");
  // GFile turns the path into a file: URI with every special character
  // escaped as the URI syntax requires.
  GFile* gfile = g_file_new_for_path(absolute.c_str());
  gchar* uri = g_file_get_uri(gfile);
  g_object_unref(gfile);
  Status status = Launch(uri, absolute.string());
  g_free(uri);
  return status;
}

Status OpenUriWithDefaultApplication(std::string_view uri) {
  const std::string text(uri);
  if (text.find('\0') != std::string::npos)
    return Status::Error("cannot open the address: it holds a NUL character");
  gchar* scheme = g_uri_parse_scheme(text.c_str());
  if (!scheme) return Status::Error("cannot open \"" + text + "\": it is not an address");
  g_free(scheme);
  return Launch(text.c_str(), text);
}

}  // namespace norwin::platform
