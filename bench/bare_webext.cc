// The web-process half of the bare socket bridge that page_bridge_bench
// measures lumo's bridge against: `bare.call(text)` writes one frame (a
// 32-bit length and the text) to the socket the UI process named and
// answers the body of the frame that comes back. Nothing else: no context
// per document, no token, no values but one string each way.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <webkit2/webkit-web-extension.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

int bridge_fd = -1;

bool WriteAll(const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = send(bridge_fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool ReadAll(char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = read(bridge_fd, data, size);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

char* Call(const char* text, gpointer) {
  const auto length = static_cast<uint32_t>(std::strlen(text));
  std::string frame(reinterpret_cast<const char*>(&length), sizeof length);
  frame += text;
  uint32_t reply_length = 0;
  if (!WriteAll(frame.data(), frame.size()) ||
      !ReadAll(reinterpret_cast<char*>(&reply_length), sizeof reply_length))
    return g_strdup("");
  std::string reply(reply_length, '\0');
  if (!ReadAll(reply.data(), reply.size())) return g_strdup("");
  return g_strdup(reply.c_str());
}

void OnWindowObjectCleared(WebKitScriptWorld* world, WebKitWebPage*, WebKitFrame* frame, gpointer) {
  JSCContext* context = webkit_frame_get_js_context_for_script_world(frame, world);
  JSCValue* bare = jsc_value_new_object(context, nullptr, nullptr);
  JSCValue* call = jsc_value_new_function(context, "call", G_CALLBACK(&Call), nullptr, nullptr,
                                          G_TYPE_STRING, 1, G_TYPE_STRING);
  jsc_value_object_set_property(bare, "call", call);
  jsc_context_set_value(context, "bare", bare);
  g_object_unref(call);
  g_object_unref(bare);
  g_object_unref(context);
}

}  // namespace

extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize_with_user_data(
    WebKitWebExtension*, const GVariant* user_data) {
  const char* path = g_variant_get_string(const_cast<GVariant*>(user_data), nullptr);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path, sizeof address.sun_path - 1);
  bridge_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (connect(bridge_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return;
  g_signal_connect(webkit_script_world_get_default(), "window-object-cleared",
                   G_CALLBACK(&OnWindowObjectCleared), nullptr);
}
