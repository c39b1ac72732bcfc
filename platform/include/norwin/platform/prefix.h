// The prefix folder that holds all machine state of the system (registry
// database, user profile, drive links, program-folder fallback).
//
// $NORWIN_PREFIX when set and not empty, else $XDG_DATA_HOME/norwin, else
// ~/.local/share/norwin. Read on every call, so tests can point it elsewhere.
#pragma once

#include <filesystem>

namespace norwin::platform {

std::filesystem::path PrefixDir();

// Creates the prefix folder (and parents) when missing; returns it.
// Failure to create it is left to the first file operation inside it, which
// reports the path it could not open.
std::filesystem::path EnsurePrefixDir();

}  // namespace norwin::platform
