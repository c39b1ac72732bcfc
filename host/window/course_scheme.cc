#include "norwin/host/course_scheme.h"

#include <gio/gio.h>
#include <sys/stat.h>

#include <string>

#include "norwin/host/course_address.h"
#include "norwin/platform/drives.h"

namespace norwin::host {
namespace {

void Fail(WebKitURISchemeRequest* request, GIOErrorEnum code, const std::string& message) {
  GError* error = g_error_new_literal(G_IO_ERROR, code, message.c_str());
  webkit_uri_scheme_request_finish_error(request, error);
  g_error_free(error);
}

void OnRequest(WebKitURISchemeRequest* request, gpointer) {
  const char* uri = webkit_uri_scheme_request_get_uri(request);
  const std::optional<std::string> path = CourseFilePath(uri ? uri : "");
  if (!path) {
    Fail(request, G_IO_ERROR_INVALID_ARGUMENT, std::string("not a course address: ") + uri);
    return;
  }
  Result<std::filesystem::path> native = platform::ResolveWindowsPath(*path);
  if (!native.ok()) {
    Fail(request, G_IO_ERROR_NOT_FOUND, *path + ": " + native.message());
    return;
  }
  // Only regular files: opening a FIFO or a device would block the window.
  struct stat info {};
  if (stat(native->c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    Fail(request, G_IO_ERROR_NOT_FOUND, "The file " + *path + " does not exist.");
    return;
  }
  GFile* file = g_file_new_for_path(native->c_str());
  GError* error = nullptr;
  GFileInputStream* stream = g_file_read(file, nullptr, &error);
  g_object_unref(file);
  if (!stream) {
    webkit_uri_scheme_request_finish_error(request, error);
    g_error_free(error);
    return;
  }
  char* type = g_content_type_guess(native->c_str(), nullptr, 0, nullptr);
  char* mime = type ? g_content_type_get_mime_type(type) : nullptr;
  webkit_uri_scheme_request_finish(request, G_INPUT_STREAM(stream), info.st_size,
                                   mime ? mime : "application/octet-stream");
  g_free(mime);
  g_free(type);
  g_object_unref(stream);
}

}  // namespace

void RegisterCourseScheme(WebKitWebContext* context) {
  const std::string scheme(kCourseScheme);
  webkit_web_context_register_uri_scheme(context, scheme.c_str(), &OnRequest, nullptr, nullptr);
  WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
  webkit_security_manager_register_uri_scheme_as_local(security, scheme.c_str());
  webkit_security_manager_register_uri_scheme_as_cors_enabled(security, scheme.c_str());
}

}  // namespace norwin::host
