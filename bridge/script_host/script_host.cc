#include "norwin/bridge/script_host.h"

#include <gio/gio.h>
#include <glib.h>
#include <jsc/jsc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>

#include "norwin/bridge/js_bridge.h"
#include "norwin/bridge/js_shim.h"
#include "norwin/platform/clock.h"
#include "norwin/platform/codepage.h"
#include "norwin/platform/files.h"

// Made by glib-compile-resources from bridge/js/script_host.gresource.xml.
extern "C" void norwin_script_host_register_resource(void);

namespace norwin::bridge {

namespace {

// Scripts larger than this are no scripts.
constexpr size_t kMaxScriptBytes = 64 << 20;

// What the native functions of WScript reach while the script runs.
struct RunState {
  const ScriptOptions* options;
  ObjectServer* server;
};

void Write(int32_t stream, JSCValue* text, gpointer data) {
  const auto* state = static_cast<const RunState*>(data);
  std::FILE* file = stream == 2 ? state->options->err : state->options->out;
  GBytes* bytes = jsc_value_to_string_as_bytes(text);
  gsize size = 0;
  const void* chars = g_bytes_get_data(bytes, &size);
  if (size > 0) std::fwrite(chars, 1, size, file);
  g_bytes_unref(bytes);
}

[[noreturn]] void Quit(int32_t code, gpointer data) {
  auto* state = static_cast<RunState*>(data);
  // Objects go first, so that what they hold (files, connections) is
  // closed as at a normal end.
  state->server->ReleaseAll();
  std::fflush(state->options->out);
  std::fflush(state->options->err);
  std::fflush(nullptr);
  _exit(code);
}

void Sleep(double ms, gpointer) {
  // Through the process's clock source, so that tests can run waits
  // instantly.
  if (!(ms > 0)) return;
  const double capped = std::min(ms, 1.0e12);
  platform::Source().Sleep(std::chrono::milliseconds(static_cast<int64_t>(capped)),
                           platform::WaitEvents::kBlock);
}

void SetProperty(JSCValue* object, const char* name, JSCValue* value) {
  jsc_value_object_set_property(object, name, value);
  g_object_unref(value);
}

std::string FromUtf16(std::string_view bytes, const char* charset) {
  gsize written = 0;
  gchar* text = g_convert_with_fallback(bytes.data(), static_cast<gssize>(bytes.size()), "UTF-8",
                                        charset, "\xEF\xBF\xBD", nullptr, &written, nullptr);
  if (!text) return {};
  std::string result(text, written);
  g_free(text);
  return result;
}

// The description of an uncaught exception: an automation error's or a
// plain error's message; "TypeError: ..." for the engine's own errors; the
// text of anything else thrown.
std::string Describe(JSCException* exception) {
  const char* name = jsc_exception_get_name(exception);
  const char* message = jsc_exception_get_message(exception);
  if (name && message) {
    if (std::strcmp(name, "Error") == 0) return message;
    return std::string(name) + ": " + message;
  }
  char* text = jsc_exception_to_string(exception);
  std::string result = text ? text : "";
  g_free(text);
  return result;
}

void ReportException(const ScriptOptions& options, JSCException* exception) {
  std::fprintf(options.err, "%s(%u, %u) error: %s\n", options.script.string().c_str(),
               jsc_exception_get_line_number(exception), jsc_exception_get_column_number(exception),
               Describe(exception).c_str());
}

}  // namespace

std::string DecodeScriptText(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return std::string(bytes.substr(3));
  if (bytes.starts_with("\xFF\xFE")) return FromUtf16(bytes.substr(2), "UTF-16LE");
  if (bytes.starts_with("\xFE\xFF")) return FromUtf16(bytes.substr(2), "UTF-16BE");
  if (platform::IsValidUtf8(bytes)) return std::string(bytes);
  return platform::Cp1252ToUtf8(bytes);
}

int RunScript(const ScriptOptions& options) {
  static std::once_flag registered;
  std::call_once(registered, [] { norwin_script_host_register_resource(); });

  const Result<std::string> bytes = platform::ReadFileCapped(options.script, kMaxScriptBytes);
  if (!bytes.ok()) {
    std::fprintf(options.err, "lumo-script: %s\n", bytes.message().c_str());
    return kScriptUnreadable;
  }
  const std::string source = DecodeScriptText(*bytes);
  std::error_code ignored;
  const std::filesystem::path full = std::filesystem::absolute(options.script, ignored);

  ObjectServer server(options.creator);
  RunState state{&options, &server};
  GObjectPtr<JSCContext> context(jsc_context_new());
  int code = kScriptSucceeded;
  {
    Result<std::unique_ptr<JsBridge>> bridge = JsBridge::Install(context.get(), &server);
    if (!bridge.ok()) {
      std::fprintf(options.err, "lumo-script: %s\n", bridge.message().c_str());
      return kScriptFailed;
    }

    GObjectPtr<JSCValue> host(jsc_value_new_object(context.get(), nullptr, nullptr));
    SetProperty(host.get(), "write",
                jsc_value_new_function(context.get(), "write", G_CALLBACK(Write), &state, nullptr,
                                       G_TYPE_NONE, 2, G_TYPE_INT, JSC_TYPE_VALUE));
    SetProperty(host.get(), "quit",
                jsc_value_new_function(context.get(), "quit", G_CALLBACK(Quit), &state, nullptr,
                                       G_TYPE_NONE, 1, G_TYPE_INT));
    SetProperty(host.get(), "sleep",
                jsc_value_new_function(context.get(), "sleep", G_CALLBACK(Sleep), &state, nullptr,
                                       G_TYPE_NONE, 1, G_TYPE_DOUBLE));
    std::vector<const char*> argv;
    for (const std::string& arg : options.arguments) argv.push_back(arg.c_str());
    argv.push_back(nullptr);
    SetProperty(host.get(), "arguments", jsc_value_new_array_from_strv(context.get(), argv.data()));
    SetProperty(host.get(), "scriptName",
                jsc_value_new_string(context.get(), full.filename().string().c_str()));
    SetProperty(host.get(), "scriptFullName",
                jsc_value_new_string(context.get(), full.string().c_str()));

    GObjectPtr<JSCValue> global(jsc_context_get_global_object(context.get()));
    Result<GObjectPtr<JSCValue>> wscript =
        RunShim(context.get(), "/org/norwin/bridge/js/wscript.js",
                {host.get(), (*bridge)->helpers(), global.get()});
    if (!wscript.ok()) {
      std::fprintf(options.err, "lumo-script: %s\n", wscript.message().c_str());
      return kScriptFailed;
    }

    gchar* uri = g_filename_to_uri(full.c_str(), nullptr, nullptr);
    GObjectPtr<JSCValue> result(jsc_context_evaluate_with_source_uri(
        context.get(), source.data(), static_cast<gssize>(source.size()), uri ? uri : full.c_str(),
        1));
    g_free(uri);
    if (JSCException* exception = jsc_context_get_exception(context.get())) {
      ReportException(options, exception);
      jsc_context_clear_exception(context.get());
      code = kScriptFailed;
    }
    // What the script still holds goes now; wrappers collected later find
    // nothing to release.
    server.ReleaseAll();
  }
  std::fflush(options.out);
  std::fflush(options.err);
  return code;
}

}  // namespace norwin::bridge
