#include "console.h"

#include <unistd.h>

#include <string>

namespace norwin::reg {

namespace {

std::string LowerTrimmed(std::string line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) {
    line.pop_back();
  }
  size_t start = line.find_first_not_of(' ');
  line.erase(0, start == std::string::npos ? line.size() : start);
  for (char& c : line) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return line;
}

}  // namespace

bool Console::Confirm(std::string_view question) const {
  // A terminal echoes the answer and its line end; other input does not, so
  // the line is ended here to keep the output readable.
  const bool echoed = isatty(fileno(in_));
  while (true) {
    Out(question);
    fflush(out_);
    std::string line;
    int c;
    while ((c = fgetc(in_)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
    if (!echoed) Out("\n");
    if (c == EOF && line.empty()) return false;
    const std::string answer = LowerTrimmed(std::move(line));
    if (answer == "y" || answer == "yes") return true;
    if (answer == "n" || answer == "no") return false;
    if (c == EOF) return false;
  }
}

}  // namespace norwin::reg
