#include "regsvr.h"

#include <cstdio>
#include <filesystem>
#include <memory>

#include "norwin/automation/error.h"
#include "norwin/automation/inproc_library.h"
#include "norwin/automation/inproc_server.h"
#include "norwin/platform/drives.h"

namespace norwin::regsvr {

namespace {

using automation::HResult;
using automation::InprocLibrary;

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The path the library is loaded from: as given when that names a file
// (made absolute, so that the registry records where it is); a Windows path
// ("d:\lib\x.so") through the drives; otherwise as given, for the dynamic
// linker to search.
std::string LibraryPath(const std::string& given) {
  std::error_code ec;
  std::filesystem::path path = given;
  if (!std::filesystem::is_regular_file(path, ec) &&
      (given.find('\\') != std::string::npos || (given.size() >= 2 && given[1] == ':'))) {
    if (Result<std::filesystem::path> native = platform::ResolveWindowsPath(given); native.ok()) {
      path = std::move(*native);
    }
  }
  if (std::filesystem::is_regular_file(path, ec)) {
    std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    if (!ec) return absolute.lexically_normal().string();
  }
  return given;
}

// Why a registration entry point failed, in words.
std::string Reason(HResult hr) {
  if (hr == automation::SELFREG_E_CLASS) {
    return "the library could not write its classes to the registry";
  }
  return automation::DescribeHResult(hr);
}

}  // namespace

std::optional<Request> ParseArguments(const std::vector<std::string>& args, std::string* error) {
  Request request;
  bool have_library = false;
  for (const std::string& arg : args) {
    const std::string option = Lower(arg);
    if (option == "/?" || option == "-?" || option == "-h" || option == "--help") {
      request.help = true;
    } else if (option == "/u" || option == "-u") {
      request.action = Action::kUnregister;
    } else if (option == "/s" || option == "-s") {
      request.output = Output::kSilent;
    } else if (!arg.empty() && (arg[0] == '-' || (arg[0] == '/' && arg.size() <= 3))) {
      // "/x" is an option; a longer "/path/lib.so" is a library.
      *error = "unknown option " + arg;
      return std::nullopt;
    } else if (have_library) {
      *error = "more than one library given (" + request.library + ", " + arg + ")";
      return std::nullopt;
    } else {
      request.library = arg;
      have_library = true;
    }
  }
  if (!have_library && !request.help) {
    *error = "no library given";
    return std::nullopt;
  }
  return request;
}

std::string Usage() {
  return R"txt(norwin-regsvr [/u] [/s] LIBRARY

  Registers the automation classes of an in-process server library, so that
  programs and page script can create them by ProgID, by calling the
  library's DllRegisterServer. The entries go to the registry of this
  machine (registry.db in the folder $NORWIN_PREFIX, by default
  ~/.local/share/norwin).

  LIBRARY  the shared library: a path (for example ./libnorwin2003.so, or
           a Windows path such as d:\bin\libnorwin2003.so on a drive of
           $NORWIN_PREFIX/drives), or the bare name of a library installed
           with the programs (libnorwin2003.so). The registry records its
           absolute path.
  /u       unregister: call DllUnregisterServer instead.
  /s       silent: print nothing.
  --version  print the version.

  Exit status: 0 success, 1 failure.
)txt";
}

int Run(const Request& request, FILE* out, FILE* err) {
  const bool silent = request.output == Output::kSilent;
  auto fail = [&](const std::string& text) {
    if (!silent) std::fprintf(err, "%s\n", text.c_str());
    return 1;
  };
  const char* entry_name =
      request.action == Action::kRegister ? "DllRegisterServer" : "DllUnregisterServer";
  const std::string path = LibraryPath(request.library);
  Result<std::unique_ptr<InprocLibrary>> library = InprocLibrary::Load(path);
  if (!library.ok()) {
    return fail("The library " + request.library + " failed to load: " + library.message());
  }
  NorwinDllRegisterServerFn entry = request.action == Action::kRegister
                                        ? (*library)->register_server()
                                        : (*library)->unregister_server();
  if (!entry) {
    return fail("The library " + request.library + " was loaded, but the entry point " +
                entry_name + " was not found.");
  }
  const HResult hr = entry();
  if (automation::Failed(hr)) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    return fail(std::string(entry_name) + " in " + request.library + " failed with " + code + ": " +
                Reason(hr) + ".");
  }
  if (!silent) std::fprintf(out, "%s in %s succeeded.\n", entry_name, request.library.c_str());
  return 0;
}

}  // namespace norwin::regsvr
