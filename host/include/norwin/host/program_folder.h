// The program's folder: where Lumo keeps the files that the Windows program
// kept beside its executable (the progress file when no folder is set for
// it, the page of a pop-up window, the folder the progress choosers open on).
//
// That is the folder of the running executable when the user can write
// there, and otherwise $NORWIN_PREFIX/lumo: an installed program's folder is
// read-only on Linux, and a progress file that cannot be written would lose
// every answer without a word. Decided anew at every call, so a test may
// point $NORWIN_PREFIX elsewhere in between.
#pragma once

#include <filesystem>

namespace norwin::host {

// The folder of the running executable, from which an installed program
// finds its libraries and files (norwin/layout.h); empty without /proc.
std::filesystem::path ExecutableFolder();

// The program's folder as a native path (without a trailing separator). The
// fallback folder is created when missing; should that fail, it is returned
// all the same, and the first file operation in it reports the failure.
std::filesystem::path ProgramFolder();

// The choice ProgramFolder() makes for an executable whose folder is
// `executable_folder`: that folder when it exists and the process may
// create files in it, otherwise $NORWIN_PREFIX/lumo (created when missing).
std::filesystem::path ProgramFolderFor(const std::filesystem::path& executable_folder);

}  // namespace norwin::host
