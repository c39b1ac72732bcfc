// Course folders served over HTTP: static files, and settings files (.cfg)
// answered as the configuration document a course host reads from an
// http:// start location ("run=...", "title=...", one key a line), so that
// `lumo http://server/course/settings` runs a course kept on the server.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace norwin::server {

struct CourseFile {
  int status = 404;
  std::string body;
  std::string content_type;
  std::string reason;  // for an error status
};

// The answer for request path `path` ("/course/index.htm") under
// `courses_dir`. Names are looked up without regard to case when the exact
// one is missing (course discs were authored on systems that ignore case);
// ".." and hidden names are refused. "/course/settings" and
// "/course/settings.cfg" answer the configuration document of
// settings.cfg; its "run" (a path on the course medium: the settings'
// folder, else `courses_dir`) becomes an address under `base_url`
// ("http://server:port"), where `courses_dir` is served.
CourseFile FindCourseFile(const std::string& courses_dir, const std::string& path,
                          const std::string& base_url);

// The configuration document of the settings file text `cfg` (section
// "general"): cx, cy, run (made an address by `address_of` from its path
// on the medium, "/pages/start.htm", unless it is one), title and
// redirKey, as far as present.
using AddressOf = std::function<std::string(const std::string& medium_path)>;
std::string ConfigurationDocument(std::string_view cfg, const AddressOf& address_of);

}  // namespace norwin::server
