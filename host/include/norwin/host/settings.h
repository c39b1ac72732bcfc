// The start configuration of Lumo: the settings record, filled once before
// any window exists from the location given on the command line, then only
// read.
//
// A location is either a settings file (a Windows path to a ".cfg" file,
// optionally in double quotes; without a drive letter the course drive is
// searched for it) read through the profile functions, section "general";
// or an address beginning with "http://" (exactly so) whose answer is a
// configuration document of "key=value" lines (config_lookup.h). A session
// id in either turns the start page into a new http:// location that is
// loaded in turn (session chaining).
//
// Load reports what goes wrong the way the original program did: message
// boxes captioned "Settings::Load() error" for a configuration document
// without "run" or "title", the Retry/Cancel templates of the course drive
// for a missing disc or file, and nothing for an empty "run" or "title" in a
// settings file. It also refuses, with a message, what the original could
// not handle safely: a location of more than kMaxLocationChars characters,
// a session chain longer than kMaxSessionLinks links, and a settings file
// that is not a text file; and a settings server that cannot be reached is
// named with the reason (the original read it as an empty document). Call
// it on the prompts' thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "norwin/platform/status.h"

namespace norwin::host {

inline constexpr std::string_view kDefaultRedirKey = "Software\\Norwin Interactive\\Pellam";
inline constexpr std::string_view kSettingsErrorCaption = "Settings::Load() error";
inline constexpr std::string_view kHttpAgent = "Lumo via WinHTTP";
inline constexpr std::string_view kSessionStateQuery = "?SessionState=";
// The longest location Load accepts.
inline constexpr size_t kMaxLocationChars = 259;
// The most locations one Load visits, the first included.
inline constexpr int kMaxSessionLinks = 16;
// The largest configuration document Load reads; a larger one counts as an
// address that cannot be opened.
inline constexpr size_t kMaxConfigDocumentBytes = size_t{1} << 20;

class Settings {
 public:
  // Loads the record from `location`. True when the record is complete;
  // false otherwise (messages have been shown as described above), and the
  // record may then be partly written.
  [[nodiscard]] bool Load(std::string_view location);
  // Why the last Load failed, in a few words for standard error ("no drive
  // holds the settings file \x.cfg"); empty after a Load that succeeded.
  const std::string& failure() const { return failure_; }

  std::string run;        // start page: a path with drive letter, or an http:// address
  int32_t cx = 800;       // width of the window's client area in pixels
  int32_t cy = 600;       // height of the window's client area in pixels
  char drive = 0;         // letter of the course drive; 0 until known
  std::string title;      // course title, shown in the window caption
  std::string sessionID;  // session id of the last chained load
  std::string redirKey{kDefaultRedirKey};  // key below HKEY_LOCAL_MACHINE of redirects

 private:
  bool LoadLink(std::string_view location, int link);
  bool LoadFromAddress(const std::string& address, int link);
  bool LoadFromFile(const std::string& location, int link);
  bool Fail(std::string cause);

  std::string failure_;
};

// The process's settings record.
Settings& TheSettings();

// The answer of `address` to a plain GET with the agent kHttpAgent, as
// text; fails with the reason when the address cannot be reached or answers
// with more than kMaxConfigDocumentBytes. Any answer counts, whatever its
// status. Bytes that are not UTF-8 are read as Windows-1252.
Result<std::string> FetchConfigDocument(std::string_view address);

}  // namespace norwin::host
