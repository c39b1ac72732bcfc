// lumo-index: builds the three full-text index files of a course (word,
// vector and title file) from the HTML pages below its folder, for the
// course's search page.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "norwin/host/index_builder.h"
#include "norwin/version.h"

namespace {

constexpr char kUsage[] =
    "Usage: lumo-index [--root DRIVE_ROOT] COURSE_FOLDER WORD_FILE VECTOR_FILE TITLE_FILE\n"
    "\n"
    "Builds the full-text index of a course from the pages (.htm, .html) below\n"
    "COURSE_FOLDER and writes its word, vector and title files.\n"
    "\n"
    "  --root DRIVE_ROOT  the folder that is the root of the course drive; the\n"
    "                     index names pages by their path below it, as in\n"
    "                     \\lesson1\\intro.htm (default: COURSE_FOLDER)\n"
    "  --help             show this help and exit\n"
    "  --version          show the version and exit\n";

int UsageError(const std::string& what) {
  fprintf(stderr, "lumo-index: %s\nTry 'lumo-index --help' for more information.\n", what.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (norwin::AsksForVersion(argc, argv)) {
    norwin::PrintVersion("lumo-index");
    return 0;
  }
  norwin::host::CourseIndexOptions options;
  std::vector<std::string> operands;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--root") {
      if (i + 1 == argc) return UsageError("--root needs a folder");
      options.drive_root = argv[++i];
    } else if (arg.starts_with("--root=")) {
      options.drive_root = std::string(arg.substr(7));
    } else if (arg == "--") {
      operands.insert(operands.end(), argv + i + 1, argv + argc);
      break;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return UsageError("unknown option '" + std::string(arg) + "'");
    } else {
      operands.emplace_back(arg);
    }
  }
  if (operands.size() != 4)
    return UsageError(operands.size() < 4 ? "missing operands" : "too many operands");
  options.course_folder = operands[0];
  options.word_file = operands[1];
  options.vector_file = operands[2];
  options.title_file = operands[3];

  const bool show_progress = isatty(STDERR_FILENO);
  auto progress = [show_progress](size_t done, size_t total) {
    if (show_progress) fprintf(stderr, "\rIndexed %zu/%zu pages", done, total);
  };
  const auto result = norwin::host::BuildCourseIndex(options, progress);
  if (show_progress) fputs("\r\033[K", stderr);  // clears the progress line
  if (!result.ok()) {
    fprintf(stderr, "lumo-index: %s\n", result.message().c_str());
    return 1;
  }
  for (const std::string& warning : result->warnings)
    fprintf(stderr, "lumo-index: warning: %s\n", warning.c_str());
  printf("Indexed %u pages, %zu words.\n", result->pages, result->words);
  return 0;
}
