#include "norwin/bridge/js_shim.h"

#include <gio/gio.h>

#include <vector>

namespace norwin::bridge {

std::string TakeExceptionText(JSCContext* context) {
  JSCException* exception = jsc_context_get_exception(context);
  if (!exception) return {};
  std::string text;
  const char* name = jsc_exception_get_name(exception);
  const char* message = jsc_exception_get_message(exception);
  if (name && message) {
    text = std::string(name) + ": " + message;
  } else {
    char* value = jsc_exception_to_string(exception);
    text = value ? value : "";
    g_free(value);
  }
  jsc_context_clear_exception(context);
  return text;
}

Result<GObjectPtr<JSCValue>> RunShim(JSCContext* context, std::string_view path,
                                     std::initializer_list<JSCValue*> args) {
  const std::string resource(path);
  GError* error = nullptr;
  GBytes* bytes = g_resources_lookup_data(resource.c_str(), G_RESOURCE_LOOKUP_FLAGS_NONE, &error);
  if (!bytes) {
    std::string message = "missing script resource " + resource + ": " + error->message;
    g_error_free(error);
    return Status::Error(std::move(message));
  }
  gsize size = 0;
  const char* code = static_cast<const char*>(g_bytes_get_data(bytes, &size));
  const std::string uri = "resource://" + resource;
  GObjectPtr<JSCValue> function(jsc_context_evaluate_with_source_uri(
      context, code, static_cast<gssize>(size), uri.c_str(), 1));
  g_bytes_unref(bytes);
  if (std::string failure = TakeExceptionText(context); !failure.empty()) {
    return Status::Error(uri + ": " + failure);
  }
  if (!function || !jsc_value_is_function(function.get())) {
    return Status::Error(uri + " is not a function expression");
  }
  std::vector<JSCValue*> params(args);
  GObjectPtr<JSCValue> result(
      jsc_value_function_callv(function.get(), static_cast<guint>(params.size()), params.data()));
  if (std::string failure = TakeExceptionText(context); !failure.empty()) {
    return Status::Error(uri + ": " + failure);
  }
  return result;
}

}  // namespace norwin::bridge
