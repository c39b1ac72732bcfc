// Scripted prompts for tests: answers from a file, a log of every prompt.
// The contract is in prompts.h (MakeScriptedPrompts).

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>

#include "norwin/platform/case_fold.h"
#include "norwin/platform/prompts.h"
#include "prompt_support.h"

namespace norwin::platform {

namespace {

std::string EnvOrEmpty(const char* name) {
  const char* value = getenv(name);
  return value ? value : "";
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  return text;
}

// A positive decimal number made of digits only.
std::optional<int> ParseCount(std::string_view text) {
  int value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value <= 0) return std::nullopt;
  return value;
}

// A button by name (any case) or by number.
std::optional<int> ParseButton(std::string_view line) {
  line = Trimmed(line);
  static constexpr int kAll[] = {kIdOk,  kIdCancel, kIdAbort,    kIdRetry,   kIdIgnore,
                                 kIdYes, kIdNo,     kIdTryAgain, kIdContinue};
  for (int id : kAll) {
    if (EqualsIgnoringCase(line, AnswerName(id))) return id;
  }
  return ParseCount(line);
}

struct PrintAnswer {
  bool print = false;
  PrintChoice choice;
};

// "OK [COPIES [PRINTER]]" or "Cancel"; nullopt for anything else.
std::optional<PrintAnswer> ParsePrintAnswer(std::string_view line) {
  line = Trimmed(line);
  const size_t space = line.find_first_of(" \t");
  const std::string_view word = line.substr(0, space);
  std::string_view rest = space == std::string_view::npos ? "" : Trimmed(line.substr(space));
  if (EqualsIgnoringCase(word, "Cancel")) {
    if (!rest.empty()) return std::nullopt;
    return PrintAnswer{};
  }
  if (!EqualsIgnoringCase(word, "OK")) return std::nullopt;
  PrintAnswer answer;
  answer.print = true;
  PrintChoice& choice = answer.choice;
  if (!rest.empty()) {
    const size_t gap = rest.find_first_of(" \t");
    std::optional<int> copies = ParseCount(rest.substr(0, gap));
    if (!copies) return std::nullopt;
    choice.copies = *copies;
    if (gap != std::string_view::npos) choice.printer = Trimmed(rest.substr(gap));
  }
  choice.settings.emplace_back("n-copies", std::to_string(choice.copies));
  choice.settings.emplace_back("collate", "true");
  if (!choice.printer.empty()) choice.settings.emplace_back("printer", choice.printer);
  return answer;
}

class ScriptedPrompts : public Prompts {
 public:
  ScriptedPrompts(ScriptedPromptFiles files, PromptFilesSource source)
      : given_(std::move(files)), source_(source) {}

  PromptsKind kind() const override { return PromptsKind::kScripted; }

  int MessageBox(std::string_view text, std::string_view caption, uint32_t flags) override {
    std::lock_guard lock(mutex_);
    const ScriptedPromptFiles files = Files();
    std::optional<std::string> line = NextAnswer(files.answers);
    int answer = 0;
    bool unfit = false;
    if (line) {
      std::optional<int> id = ParseButton(*line);
      if (id && ButtonsOf(flags).Has(*id)) {
        answer = *id;
      } else {
        unfit = true;
      }
    }
    if (answer == 0) answer = AnswerThatEndsTheWait(flags);

    std::string entry;
    internal::AppendEscaped(entry, caption);
    entry += '\t';
    internal::AppendEscaped(entry, text);
    entry += '\t';
    entry += internal::HexFlags(flags);
    entry += '\t';
    entry += AnswerName(answer);
    Finish(files, entry, unfit ? &*line : nullptr);
    return answer;
  }

  void Beep(uint32_t sound) override {
    std::lock_guard lock(mutex_);
    Finish(Files(), "BEEP\t" + internal::HexFlags(sound), nullptr);
  }

  std::optional<std::string> ChooseOpenFile(const FileChooserRequest& request) override {
    return Choose("OPEN", request);
  }
  std::optional<std::string> ChooseSaveFile(const FileChooserRequest& request) override {
    return Choose("SAVE", request);
  }

  std::optional<PrintChoice> ChoosePrinter(const PrintDialogRequest&) override {
    std::lock_guard lock(mutex_);
    const ScriptedPromptFiles files = Files();
    std::optional<std::string> line = NextAnswer(files.answers);
    std::optional<PrintChoice> choice;
    bool unfit = false;
    if (line) {
      std::optional<PrintAnswer> answer = ParsePrintAnswer(*line);
      unfit = !answer;
      if (answer && answer->print) choice = std::move(answer->choice);
    }

    std::string entry = "PRINT\t";
    entry += choice ? "OK\t" + std::to_string(choice->copies) : "Cancel\t";
    Finish(files, entry, unfit ? &*line : nullptr);
    return choice;
  }

 private:
  std::optional<std::string> Choose(std::string_view what, const FileChooserRequest& request) {
    std::lock_guard lock(mutex_);
    const ScriptedPromptFiles files = Files();
    std::optional<std::string> line = NextAnswer(files.answers);
    std::optional<std::string> path;
    bool unfit = false;
    if (line && !line->empty()) {
      path = internal::CompleteChosenPath(
          *line, request.default_extension,
          what == "OPEN" ? internal::ChooserAction::kOpen : internal::ChooserAction::kSave);
      // A chooser never hands back what its flags forbid; a script that
      // asks for it has gone astray, and is told so rather than obeyed.
      std::error_code ignored;
      const std::filesystem::path chosen(*path);
      const std::filesystem::path folder =
          chosen.has_parent_path() ? chosen.parent_path() : std::filesystem::path(".");
      if (((request.flags & kOfnFileMustExist) && what == "OPEN" &&
           !std::filesystem::is_regular_file(chosen, ignored)) ||
          ((request.flags & kOfnPathMustExist) &&
           !std::filesystem::is_directory(folder, ignored))) {
        unfit = true;
        path.reset();
      }
    }

    std::string entry(what);
    entry += '\t';
    internal::AppendEscaped(entry, request.filter);
    entry += '\t';
    if (path) internal::AppendEscaped(entry, *path);
    Finish(files, entry, unfit ? &*line : nullptr);
    return path;
  }

  ScriptedPromptFiles Files() const {
    if (source_ == PromptFilesSource::kGiven) return given_;
    return {EnvOrEmpty("NORWIN_PROMPTS"), EnvOrEmpty("NORWIN_PROMPT_LOG")};
  }

  // Writes the log entry (and notes an unfit answer).
  void Finish(const ScriptedPromptFiles& files, std::string entry, const std::string* unfit) {
    if (unfit) {
      std::string note = "prompt: unfit answer \"";
      internal::AppendEscaped(note, *unfit);
      note += "\" from " + files.answers + " for: ";
      internal::AppendEscaped(note, entry);
      note += '\n';
      internal::WriteToStderr(note);
      entry += "\tunfit answer: ";
      internal::AppendEscaped(entry, *unfit);
    }
    if (files.log.empty()) return;
    entry += '\n';
    internal::AppendLine(files.log, entry);
  }

  // The next line of the answers file, without its line end; nullopt when
  // the answers have run out (or there is no answers file). Reading resumes
  // where the previous prompt stopped, unless the file is another one now.
  std::optional<std::string> NextAnswer(const std::string& path) {
    if (path.empty()) return std::nullopt;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info;
    if (fd < 0 || ::fstat(fd, &info) != 0) {
      const int error = errno;
      if (fd >= 0) ::close(fd);
      if (unreadable_.insert(path).second) {
        internal::WriteToStderr("prompt: cannot read the answers file " + path + ": " +
                                std::strerror(error) + "\n");
      }
      return std::nullopt;
    }
    if (path != read_path_ || info.st_dev != read_dev_ || info.st_ino != read_ino_ ||
        info.st_size < offset_) {
      read_path_ = path;
      read_dev_ = info.st_dev;
      read_ino_ = info.st_ino;
      offset_ = 0;
    }
    std::string line;
    bool complete = false;
    char buffer[512];
    off_t at = offset_;
    while (!complete) {
      const ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      const void* newline = std::memchr(buffer, '\n', static_cast<size_t>(n));
      const size_t take =
          newline ? static_cast<size_t>(static_cast<const char*>(newline) - buffer) : n;
      line.append(buffer, take);
      at += static_cast<off_t>(take);
      if (newline) {
        ++at;
        complete = true;
      }
    }
    ::close(fd);
    if (at == offset_) return std::nullopt;  // nothing left
    offset_ = at;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }

  const ScriptedPromptFiles given_;
  const PromptFilesSource source_;

  std::mutex mutex_;  // one prompt at a time, so answers and log lines keep their order
  std::string read_path_;
  dev_t read_dev_ = 0;
  ino_t read_ino_ = 0;
  off_t offset_ = 0;
  std::set<std::string> unreadable_;
};

}  // namespace

std::unique_ptr<Prompts> MakeScriptedPrompts(ScriptedPromptFiles files) {
  return std::make_unique<ScriptedPrompts>(std::move(files), PromptFilesSource::kGiven);
}

std::unique_ptr<Prompts> MakeScriptedPrompts(PromptFilesSource source) {
  return std::make_unique<ScriptedPrompts>(ScriptedPromptFiles{}, source);
}

}  // namespace norwin::platform
