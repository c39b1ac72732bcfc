// Test helper: the process's prompts replaced by scripted ones over files
// of a temporary folder, for the lifetime of the object. Answers are given
// with Answer(); Log() is every prompt since (see prompts.h for the
// format). BEEP lines can be left out, for tests about something else.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "norwin/platform/prompts.h"
#include "support/temp_prefix.h"

namespace norwin::testing {

class PromptScript {
 public:
  explicit PromptScript(std::string_view answers = "") { Answer(answers); }
  ~PromptScript() { platform::SetPromptsForTesting(nullptr); }
  PromptScript(const PromptScript&) = delete;
  PromptScript& operator=(const PromptScript&) = delete;

  // Starts a new script: `answers` (one a line) from the first one on, and
  // an empty log.
  void Answer(std::string_view answers) {
    std::ofstream(answers_, std::ios::binary | std::ios::trunc) << answers;
    std::ofstream(log_, std::ios::binary | std::ios::trunc);
    platform::SetPromptsForTesting(platform::MakeScriptedPrompts(
        platform::ScriptedPromptFiles{answers_.string(), log_.string()}));
  }

  enum class Beeps { kKeep, kDrop };
  std::string Log(Beeps beeps = Beeps::kKeep) const {
    std::ifstream in(log_, std::ios::binary);
    std::string line;
    std::string log;
    while (std::getline(in, line)) {
      if (beeps == Beeps::kDrop && line.starts_with("BEEP\t")) continue;
      log += line + "\n";
    }
    return log;
  }

 private:
  TempDir dir_;
  std::filesystem::path answers_ = dir_.path() / "answers.txt";
  std::filesystem::path log_ = dir_.path() / "prompts.log";
};

}  // namespace norwin::testing
