#include "bridge/webext/frame_bindings.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "bridge/webext/ui_connection.h"
#include "norwin/bridge/js_bridge.h"
#include "norwin/bridge/js_shim.h"
#include "norwin/bridge/packed_text.h"
#include "norwin/bridge/wire.h"

// Made by glib-compile-resources from bridge/js/webext.gresource.xml.
extern "C" void norwin_webext_register_resource(void);

namespace norwin::bridge::webext {
namespace {

// One document's binding.
struct Binding {
  uint32_t context = 0;
  std::unique_ptr<ContextChannel> channel;
  std::unique_ptr<JsBridge> bridge;
};

struct State {
  std::unique_ptr<UiConnection> connection;
  std::unordered_map<WebKitFrame*, std::unique_ptr<Binding>> bindings;
  // Frames whose going we watch already.
  std::unordered_set<void*> watched;
  bool reported_failure = false;
};

// The web process's one state; it lives as long as the process.
State& TheState() {
  static State* state = new State();
  return *state;
}

void Unbind(WebKitFrame* frame) {
  State& state = TheState();
  const auto it = state.bindings.find(frame);
  if (it == state.bindings.end()) return;
  std::unique_ptr<Binding> binding = std::move(it->second);
  state.bindings.erase(it);
  // Script of the old document can no longer call; then the UI process lets
  // its objects go.
  binding->bridge.reset();
  std::string frame_bytes;
  AppendContextCloseFrame(binding->context, &frame_bytes);
  state.connection->Send(frame_bytes);
}

void OnFrameGone(gpointer, GObject* frame) {
  State& state = TheState();
  state.watched.erase(frame);
  Unbind(reinterpret_cast<WebKitFrame*>(frame));
}

void ReportOnce(const std::string& message) {
  State& state = TheState();
  if (state.reported_failure) return;
  state.reported_failure = true;
  std::fprintf(stderr, "lumo-webext: %s\n", message.c_str());
}

// The address of the document that made the about:blank or srcdoc frame of
// `context`: its nearest ancestor with an address of its own, when that is
// of the same origin (an ancestor of another origin cannot be read, and the
// frame then gets nothing). Empty when there is none.
std::string CreatorAddress(JSCContext* context) {
  static constexpr char kScript[] =
      "(function () {"
      "  try {"
      "    var w = window;"
      "    while (w !== w.parent && /^about:/.test(w.location.href)) w = w.parent;"
      "    return /^about:/.test(w.location.href) ? '' : String(w.location.href);"
      "  } catch (e) { return ''; }"
      "})()";
  GObjectPtr<JSCValue> value(jsc_context_evaluate(context, kScript, -1));
  if (!value || !jsc_value_is_string(value.get())) return {};
  char* text = jsc_value_to_string(value.get());
  std::string address = text ? text : "";
  g_free(text);
  return address;
}

void OnWindowObjectCleared(WebKitScriptWorld* world, WebKitWebPage* page, WebKitFrame* frame,
                           gpointer) {
  State& state = TheState();
  Unbind(frame);
  const char* uri = webkit_frame_get_uri(frame);
  std::string address = uri ? uri : "";
  // A frame a page makes without a document of its own (about:blank, or
  // its srcdoc) is that page's, and is served as the page is.
  if (!webkit_frame_is_main_frame(frame) &&
      (address.empty() || address == "about:blank" || address == "about:srcdoc")) {
    GObjectPtr<JSCContext> context(webkit_frame_get_js_context_for_script_world(frame, world));
    address = CreatorAddress(context.get());
  }
  if (address.empty()) return;

  std::string open;
  AppendContextOpenFrame(webkit_web_page_get_id(page), address, &open);
  Result<std::string> body = state.connection->Exchange(open);
  if (!body.ok()) {
    ReportOnce(body.message());
    return;
  }
  CallReply reply;
  if (!ReadPackedReply(*body, &reply).ok() || !reply.ok || reply.values.size() != 1 ||
      reply.values[0].tag != ValueTag::kI4) {
    return;  // not a trusted page: it gets nothing
  }
  auto binding = std::make_unique<Binding>();
  binding->context = static_cast<uint32_t>(reply.values[0].i4);
  binding->channel = std::make_unique<ContextChannel>(state.connection.get(), binding->context);

  GObjectPtr<JSCContext> context(webkit_frame_get_js_context_for_script_world(frame, world));
  Result<std::unique_ptr<JsBridge>> bridge =
      JsBridge::Install(context.get(), binding->channel.get(), JsBridge::Keepers::kObjects);
  Status installed = bridge.status();
  if (bridge.ok()) {
    binding->bridge = std::move(bridge).value();
    GObjectPtr<JSCValue> global(jsc_context_get_global_object(context.get()));
    Result<GObjectPtr<JSCValue>> external =
        RunShim(context.get(), "/org/norwin/lumo/js/external.js",
                {binding->bridge->helpers(), global.get()});
    installed = external.status();
  }
  if (!installed.ok()) {
    std::fprintf(stderr, "lumo-webext: %s\n", installed.message().c_str());
    binding->bridge.reset();
    std::string close_frame;
    AppendContextCloseFrame(binding->context, &close_frame);
    state.connection->Send(close_frame);
    return;
  }
  if (state.watched.insert(frame).second) {
    g_object_weak_ref(G_OBJECT(frame), &OnFrameGone, nullptr);
  }
  state.bindings[frame] = std::move(binding);
}

}  // namespace

void InstallFrameBindings(WebKitWebExtension*, const GVariant* user_data) {
  const char* path = nullptr;
  const char* token = nullptr;
  auto* data = const_cast<GVariant*>(user_data);
  if (!data || !g_variant_is_of_type(data, G_VARIANT_TYPE("(ss)"))) {
    std::fprintf(stderr,
                 "lumo-webext: started without lumo's socket; pages get no script access\n");
    return;
  }
  g_variant_get(data, "(&s&s)", &path, &token);
  static std::once_flag registered;
  std::call_once(registered, [] { norwin_webext_register_resource(); });
  TheState().connection = std::make_unique<UiConnection>(path, token);
  g_signal_connect(webkit_script_world_get_default(), "window-object-cleared",
                   G_CALLBACK(&OnWindowObjectCleared), nullptr);
}

}  // namespace norwin::bridge::webext
