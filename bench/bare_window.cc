// bench-bare-window URL [--bridge]: the bare WebKitGTK window that
// page_bridge_bench measures lumo against. A window of lumo's size with a
// web view showing URL; with --bridge, web processes get the bare socket
// bridge of bare_webext.cc, whose frames a thread of this process echoes
// (lumo's objects live on a thread of their own too). Runs until killed.
#include <gtk/gtk.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

namespace {

bool Echo(int fd) {
  uint32_t length = 0;
  std::string body;
  for (;;) {
    if (read(fd, &length, sizeof length) != sizeof length) return false;
    body.resize(length);
    size_t got = 0;
    while (got < length) {
      const ssize_t n = read(fd, body.data() + got, length - got);
      if (n <= 0) return false;
      got += static_cast<size_t>(n);
    }
    std::string reply(reinterpret_cast<const char*>(&length), sizeof length);
    reply += body;
    if (send(fd, reply.data(), reply.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(reply.size()))
      return false;
  }
}

// Serves every connection of the socket at `path`, one thread each.
void Serve(int listener) {
  for (;;) {
    const int fd = accept(listener, nullptr, nullptr);
    if (fd < 0) return;
    std::thread([fd] {
      Echo(fd);
      close(fd);
    }).detach();
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
    std::printf("usage: bench-bare-window URL [--bridge]\n");
    return argc < 2 ? 2 : 0;
  }
  gtk_init(&argc, &argv);
  WebKitWebContext* context = webkit_web_context_new();
  if (argc > 2 && std::strcmp(argv[2], "--bridge") == 0) {
    const std::string folder =
        std::string(g_get_tmp_dir()) + "/bare-bridge-" + std::to_string(getpid());
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/bridge.sock";
    unlink(path.c_str());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 16) != 0) {
      std::perror("bench-bare-window: socket");
      return 1;
    }
    std::thread(Serve, listener).detach();
    webkit_web_context_set_web_extensions_directory(context, BARE_WEBEXT_DIR);
    webkit_web_context_set_web_extensions_initialization_user_data(
        context, g_variant_new_string(path.c_str()));
  }
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 420, 300);
  GtkWidget* view = webkit_web_view_new_with_context(context);
  gtk_container_add(GTK_CONTAINER(window), view);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), argv[1]);
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
