#include "norwin/host/program_icon.h"

#include <cstdio>
#include <system_error>

namespace norwin::host {

std::filesystem::path ProgramIconFile() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  return program.parent_path().parent_path() / "share" / "icons" / "hicolor" / "scalable" / "apps" /
         "lumo.svg";
}

GdkPixbuf* LoadProgramIcon(int size) {
  GError* error = nullptr;
  GdkPixbuf* icon = gdk_pixbuf_new_from_file_at_size(ProgramIconFile().c_str(), size, size, &error);
  if (!icon) {
    static bool reported = false;
    if (!reported) {
      reported = true;
      std::fprintf(stderr, "lumo: no icon: %s\n", error ? error->message : "");
    }
    if (error) g_error_free(error);
  }
  return icon;
}

}  // namespace norwin::host
