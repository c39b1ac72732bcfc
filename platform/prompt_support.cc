#include "prompt_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace norwin::platform::internal {

namespace {

// Writes all of `data` to `fd`; one write() suffices for a regular file or a
// terminal except when interrupted or out of space.
bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

void AppendEscaped(std::string& out, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\0':
        out += "\\0";
        break;
      default:
        out += c;
    }
  }
}

std::string Escaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendEscaped(out, text);
  return out;
}

std::string HexFlags(uint32_t flags) {
  static constexpr char kDigits[] = "0123456789abcdef";
  char buffer[8];
  int n = 0;
  do {
    buffer[n++] = kDigits[flags & 0xF];
    flags >>= 4;
  } while (flags != 0);
  std::string out = "0x";
  while (n > 0) out += buffer[--n];
  return out;
}

void AppendLine(const std::string& path, std::string_view line) {
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  bool written = fd >= 0 && WriteAll(fd, line);
  int error = errno;
  if (fd >= 0) ::close(fd);
  if (written) return;
  static std::atomic<bool> warned{false};
  if (!warned.exchange(true)) {
    WriteToStderr("cannot write the prompt log " + path + ": " + std::strerror(error) + "\n");
  }
}

void WriteToStderr(std::string_view line) { WriteAll(STDERR_FILENO, line); }

std::string CompleteChosenPath(std::string path, std::string_view extension, ChooserAction action) {
  if (!extension.empty() && extension.front() == '.') extension.remove_prefix(1);
  if (extension.empty() || path.empty() || path.back() == '/') return path;
  const size_t slash = path.rfind('/');
  const size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  // A leading dot starts a hidden file's name, not an extension.
  if (path.find('.', name_start + 1) != std::string::npos) return path;
  std::string completed = path + '.';
  completed += extension;
  if (action == ChooserAction::kOpen) {
    std::error_code ignored;
    if (!std::filesystem::exists(completed, ignored) && std::filesystem::exists(path, ignored))
      return path;
  }
  return completed;
}

}  // namespace norwin::platform::internal
