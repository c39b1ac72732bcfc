// Test helper: reads a PDF back with poppler's command-line tools (pdfinfo,
// pdftotext, pdffonts), so that tests check what a user would see in the file.
// Header-only (see tests/CMakeLists.txt).
#pragma once

#include <glib.h>

#include <filesystem>
#include <string>
#include <vector>

namespace norwin::testing {

// Standard output of `argv`, or "" when it cannot run or fails.
inline std::string RunForOutput(std::vector<std::string> argv) {
  std::vector<char*> args;
  for (std::string& arg : argv) args.push_back(arg.data());
  args.push_back(nullptr);
  gchar* out = nullptr;
  gint wait_status = 0;
  if (!g_spawn_sync(nullptr, args.data(), nullptr,
                    static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_STDERR_TO_DEV_NULL),
                    nullptr, nullptr, &out, nullptr, &wait_status, nullptr)) {
    return "";
  }
  std::string result = out ? out : "";
  g_free(out);
  return g_spawn_check_wait_status(wait_status, nullptr) ? result : "";
}

// The value of a `pdfinfo` field ("Pages", "Title", "Page size"), trimmed.
inline std::string PdfInfo(const std::filesystem::path& pdf, const std::string& field) {
  const std::string info = RunForOutput({"pdfinfo", pdf.string()});
  const std::string key = field + ":";
  size_t at = info.find("\n" + key);
  if (info.compare(0, key.size(), key) == 0)
    at = 0;
  else if (at == std::string::npos)
    return "";
  else
    ++at;
  size_t begin = info.find_first_not_of(' ', at + key.size());
  size_t end = info.find('\n', at);
  return info.substr(begin, end - begin);
}

// The text lines of every page, empty lines left out.
inline std::vector<std::vector<std::string>> PdfPages(const std::filesystem::path& pdf) {
  const std::string text = RunForOutput({"pdftotext", pdf.string(), "-"});
  std::vector<std::vector<std::string>> pages(1);
  std::string line;
  for (char c : text) {
    if (c == '\f') {
      if (!line.empty()) pages.back().push_back(line);
      line.clear();
      pages.emplace_back();
    } else if (c == '\n') {
      if (!line.empty()) pages.back().push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) pages.back().push_back(line);
  // pdftotext ends the last page with a form feed too.
  if (pages.back().empty()) pages.pop_back();
  return pages;
}

}  // namespace norwin::testing
