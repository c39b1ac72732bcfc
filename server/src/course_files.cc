#include "course_files.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <vector>

namespace norwin::server {

namespace {

namespace fs = std::filesystem;

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

std::string Trim(std::string_view text) {
  const size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string_view::npos) return {};
  const size_t end = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(begin, end - begin + 1));
}

// `relative` under `root`, each component matched without regard to case
// when the exact name is missing; nullopt when nothing matches.
std::optional<fs::path> Resolve(const fs::path& root, const std::vector<std::string>& parts) {
  fs::path here = root;
  std::error_code error;
  for (const std::string& part : parts) {
    fs::path next = here / part;
    if (!fs::exists(next, error)) {
      std::optional<fs::path> found;
      for (const auto& entry : fs::directory_iterator(here, error)) {
        if (Lower(entry.path().filename().string()) == Lower(part)) {
          found = entry.path();
          break;
        }
      }
      if (!found) return std::nullopt;
      next = *found;
    }
    here = next;
  }
  return here;
}

std::optional<std::string> ReadWhole(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string ContentType(const fs::path& file) {
  static const std::map<std::string, std::string> kTypes{
      {".htm", "text/html"},      {".html", "text/html"},       {".css", "text/css"},
      {".js", "text/javascript"}, {".xml", "application/xml"},  {".txt", "text/plain"},
      {".gif", "image/gif"},      {".jpg", "image/jpeg"},       {".jpeg", "image/jpeg"},
      {".png", "image/png"},      {".svg", "image/svg+xml"},    {".pdf", "application/pdf"},
      {".mp3", "audio/mpeg"},     {".wav", "audio/wav"},        {".mp4", "video/mp4"},
      {".agc", "text/html"},      {".json", "application/json"}};
  auto found = kTypes.find(Lower(file.extension().string()));
  return found == kTypes.end() ? "application/octet-stream" : found->second;
}

CourseFile Refused(int status, std::string reason) { return {status, {}, {}, std::move(reason)}; }

}  // namespace

std::string ConfigurationDocument(std::string_view cfg, const AddressOf& address_of) {
  std::map<std::string, std::string> values;
  bool general = false;
  std::istringstream lines{std::string(cfg)};
  for (std::string line; std::getline(lines, line);) {
    const std::string trimmed = Trim(line);
    if (trimmed.starts_with("[")) {
      general = Lower(trimmed) == "[general]";
      continue;
    }
    const size_t equals = trimmed.find('=');
    if (!general || equals == std::string::npos) continue;
    std::string value = Trim(trimmed.substr(equals + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    values.try_emplace(Lower(Trim(trimmed.substr(0, equals))), value);
  }
  std::string document;
  for (const char* key : {"cx", "cy"}) {
    if (auto found = values.find(key); found != values.end()) {
      document += std::string(key) + "=" + found->second + "\n";
    }
  }
  if (auto found = values.find("run"); found != values.end()) {
    std::string run = found->second;
    if (!run.starts_with("http://")) {
      // A path on the course medium, with or without drive letter.
      if (run.size() >= 2 && run[1] == ':') run = run.substr(2);
      std::replace(run.begin(), run.end(), '\\', '/');
      if (!run.starts_with("/")) run = "/" + run;
      run = address_of(run);
    }
    document += "run=" + run + "\n";
  }
  if (auto found = values.find("title"); found != values.end()) {
    document += "title=" + found->second + "\n";
  }
  if (auto found = values.find("redirkey"); found != values.end()) {
    document += "redirKey=" + found->second + "\n";
  }
  return document;
}

CourseFile FindCourseFile(const std::string& courses_dir, const std::string& path,
                          const std::string& base_url) {
  std::vector<std::string> parts;
  std::istringstream segments(path);
  for (std::string part; std::getline(segments, part, '/');) {
    if (part.empty()) continue;
    if (part == ".." || part.starts_with(".") || part.find('\\') != std::string::npos) {
      return Refused(400, "Invalid path " + path);
    }
    parts.push_back(part);
  }
  if (parts.empty()) return Refused(404, "No page " + path);
  const fs::path root(courses_dir);
  std::optional<fs::path> file = Resolve(root, parts);
  std::error_code error;
  if (file && fs::is_directory(*file, error)) {
    const fs::path folder = *file;
    file = Resolve(folder, {"index.htm"});
    if (!file) file = Resolve(folder, {"index.html"});
  }
  bool settings = file && Lower(file->extension().string()) == ".cfg";
  if (!file || !fs::is_regular_file(*file, error)) {
    std::vector<std::string> cfg = parts;
    cfg.back() += ".cfg";
    file = Resolve(root, cfg);
    settings = true;
  }
  if (!file || !fs::is_regular_file(*file, error)) return Refused(404, "No page " + path);
  std::optional<std::string> text = ReadWhole(*file);
  if (!text) return Refused(403, "Cannot read " + path);
  if (settings) {
    // The settings' folder is the course's medium, as lumo makes a settings
    // file's folder its course drive: "run=\\start.htm" is the start page
    // beside it. A path that is not there is taken from the root of
    // `courses_dir` ("run=\\algebra\\start.htm"), where the server keeps
    // several courses' folders.
    std::vector<std::string> folder = parts;
    folder.pop_back();
    auto address_of = [&](const std::string& path) {
      std::vector<std::string> inside = folder;
      std::istringstream names(path);
      for (std::string name; std::getline(names, name, '/');) {
        if (!name.empty()) inside.push_back(name);
      }
      std::string course_url = base_url;
      for (const std::string& name : folder) course_url += "/" + name;
      std::error_code missing;
      const std::optional<fs::path> found = Resolve(root, inside);
      return found && fs::is_regular_file(*found, missing) ? course_url + path : base_url + path;
    };
    return {200, ConfigurationDocument(*text, address_of), "text/plain; charset=utf-8", {}};
  }
  return {200, std::move(*text), ContentType(*file), {}};
}

}  // namespace norwin::server
