// ScriptHost: runs one JavaScript file in a JavaScriptCore context with
// ActiveXObject, Enumerator and WScript, as `lumo-script` does.
//
// Run reads the file (UTF-8, with or without a byte order mark; UTF-16 with
// one; anything else as Windows-1252, as the scripts of the original
// system were written), installs the shims and evaluates it. An uncaught
// error or a syntax error prints
//   FILE(LINE, COL) error: DESCRIPTION
// to the error stream, FILE as the caller named it. Every object the script
// still holds is released when it ends. WScript.Echo and WScript.StdOut
// write to the output stream, WScript.StdErr to the error stream.
//
// WScript.Quit(code) releases every object, flushes the streams and ends
// the process with `code` at once, as the original host does: no catch or
// finally block of the script can hold it up. Call Run from a process that
// may end that way.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "norwin/bridge/object_server.h"

namespace norwin::bridge {

struct ScriptOptions {
  std::filesystem::path script;  // as the user named it
  std::vector<std::string> arguments;
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  // How ActiveXObject makes objects; null: activation by ProgID.
  ObjectServer::Creator creator = nullptr;
};

// Exit codes of Run (WScript.Quit ends the process with its own).
inline constexpr int kScriptSucceeded = 0;
inline constexpr int kScriptFailed = 1;      // an uncaught error or a syntax error
inline constexpr int kScriptUnreadable = 2;  // the file cannot be read

// Runs the script of `options`; returns one of the codes above.
int RunScript(const ScriptOptions& options);

// The text of a script file's bytes (see above).
std::string DecodeScriptText(std::string_view bytes);

}  // namespace norwin::bridge
