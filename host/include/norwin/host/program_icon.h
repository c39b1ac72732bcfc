// Lumo's icon (desktop/lumo.svg), shown by its windows and its About box.
// It is installed with the program (share/icons/hicolor/scalable/apps/
// lumo.svg beside the program's bin folder; the build tree has the same
// layout), so that no icon theme of the desktop has to provide it.
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <filesystem>

namespace norwin::host {

// Where the icon file is for the running program.
std::filesystem::path ProgramIconFile();

// The icon at `size` pixels square; a new reference the caller releases.
// nullptr when the file is missing or unreadable (the reason goes to
// standard error once).
GdkPixbuf* LoadProgramIcon(int size);

}  // namespace norwin::host
