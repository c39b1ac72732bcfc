#include "norwin/platform/prompts.h"

#include <stdlib.h>

#include <mutex>

#include "prompt_support.h"

namespace norwin::platform {

namespace {

bool EnvSet(const char* name) {
  const char* value = getenv(name);
  return value && *value;
}

// Answers every prompt at once with what ends the wait, and says so on
// standard error so that a run without a display still shows what it asked.
class NonInteractivePrompts : public Prompts {
 public:
  PromptsKind kind() const override { return PromptsKind::kNonInteractive; }

  int MessageBox(std::string_view text, std::string_view caption, uint32_t flags) override {
    const int answer = AnswerThatEndsTheWait(flags);
    std::string line = "prompt: [";
    internal::AppendEscaped(line, caption);
    line += "] ";
    internal::AppendEscaped(line, text);
    line += " (";
    const Buttons buttons = ButtonsOf(flags);
    for (int i = 0; i < buttons.count; ++i) {
      if (i > 0) line += ' ';
      line += AnswerName(buttons.ids[i]);
    }
    line += ") -> ";
    line += AnswerName(answer);
    line += '\n';
    internal::WriteToStderr(line);
    return answer;
  }

  void Beep(uint32_t) override {}

  std::optional<std::string> ChooseOpenFile(const FileChooserRequest& request) override {
    Cancel("OPEN", request);
    return std::nullopt;
  }
  std::optional<std::string> ChooseSaveFile(const FileChooserRequest& request) override {
    Cancel("SAVE", request);
    return std::nullopt;
  }

  std::optional<PrintChoice> ChoosePrinter(const PrintDialogRequest&) override {
    internal::WriteToStderr("prompt: PRINT -> Cancel\n");
    return std::nullopt;
  }

 private:
  static void Cancel(std::string_view what, const FileChooserRequest& request) {
    std::string line = "prompt: ";
    line += what;
    line += " [";
    internal::AppendEscaped(line, request.filter);
    line += ']';
    if (!request.title.empty()) {
      line += ' ';
      internal::AppendEscaped(line, request.title);
    }
    line += " -> Cancel\n";
    internal::WriteToStderr(line);
  }
};

struct CurrentState {
  std::mutex mutex;
  std::unique_ptr<Prompts> prompts;
};

CurrentState& State() {
  static CurrentState* state = new CurrentState();  // never destroyed: see CurrentPrompts
  return *state;
}

}  // namespace

bool Buttons::Has(int id) const {
  for (int i = 0; i < count; ++i) {
    if (ids[i] == id) return true;
  }
  return false;
}

Buttons ButtonsOf(uint32_t flags) {
  switch (flags & kMbTypeMask) {
    case kMbOkCancel:
      return {{kIdOk, kIdCancel}, 2};
    case kMbAbortRetryIgnore:
      return {{kIdAbort, kIdRetry, kIdIgnore}, 3};
    case kMbYesNoCancel:
      return {{kIdYes, kIdNo, kIdCancel}, 3};
    case kMbYesNo:
      return {{kIdYes, kIdNo}, 2};
    case kMbRetryCancel:
      return {{kIdRetry, kIdCancel}, 2};
    case kMbCancelTryContinue:
      return {{kIdCancel, kIdTryAgain, kIdContinue}, 3};
    default:
      return {{kIdOk}, 1};
  }
}

int AnswerThatEndsTheWait(uint32_t flags) {
  const Buttons buttons = ButtonsOf(flags);
  for (int preferred : {kIdCancel, kIdNo, kIdOk, kIdAbort}) {
    if (buttons.Has(preferred)) return preferred;
  }
  return buttons.ids[0];
}

std::string AnswerName(int answer) {
  switch (answer) {
    case kIdOk:
      return "OK";
    case kIdCancel:
      return "Cancel";
    case kIdAbort:
      return "Abort";
    case kIdRetry:
      return "Retry";
    case kIdIgnore:
      return "Ignore";
    case kIdYes:
      return "Yes";
    case kIdNo:
      return "No";
    case kIdTryAgain:
      return "TryAgain";
    case kIdContinue:
      return "Continue";
    default:
      return std::to_string(answer);
  }
}

std::unique_ptr<Prompts> MakeNonInteractivePrompts() {
  return std::make_unique<NonInteractivePrompts>();
}

PromptsKind PromptsKindForEnvironment() {
  if (EnvSet("NORWIN_PROMPTS") || EnvSet("NORWIN_PROMPT_LOG")) return PromptsKind::kScripted;
  if (!EnvSet("DISPLAY") && !EnvSet("WAYLAND_DISPLAY")) return PromptsKind::kNonInteractive;
  return PromptsKind::kGtk;
}

// The state is never destroyed, so that a prompt put during the exit of the
// process (a destructor asking to save) still finds its implementation.
Prompts& CurrentPrompts() {
  CurrentState& state = State();
  std::lock_guard lock(state.mutex);
  if (!state.prompts) {
    switch (PromptsKindForEnvironment()) {
      case PromptsKind::kScripted:
        state.prompts = MakeScriptedPrompts(PromptFilesSource::kFromEnvironment);
        break;
      case PromptsKind::kNonInteractive:
        state.prompts = MakeNonInteractivePrompts();
        break;
      case PromptsKind::kGtk:
        state.prompts = MakeGtkPrompts();
        break;
    }
  }
  return *state.prompts;
}

void SetPromptsForTesting(std::unique_ptr<Prompts> prompts) {
  CurrentState& state = State();
  std::lock_guard lock(state.mutex);
  state.prompts = std::move(prompts);
}

}  // namespace norwin::platform
