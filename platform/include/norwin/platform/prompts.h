// Prompts: message boxes, beeps, the file-open and file-save choosers and the
// print dialog, the modal questions the programs put to the user.
//
// One interface, three implementations:
//   - GTK dialogs, for a desktop session;
//   - non-interactive: writes the prompt to standard error and answers with
//     what ends the wait (Cancel where offered, else No, else OK; choosers and
//     the print dialog cancel), for a process without a display;
//   - scripted, for tests: answers in order from the file named by
//     $NORWIN_PROMPTS (one answer a line), and appends every prompt to the
//     file named by $NORWIN_PROMPT_LOG. See MakeScriptedPrompts.
// CurrentPrompts() picks one on first use: scripted when either variable is
// set, non-interactive without $DISPLAY and $WAYLAND_DISPLAY, GTK otherwise.
//
// Every call blocks until answered. The GTK dialogs run a nested main loop
// on the UI thread (ui_thread.h), so they may be called from inside a GTK
// main loop; asked on another thread, they are shown by the UI thread while
// the asking thread waits. The other implementations may be called from any
// thread.
// Texts are UTF-8; invalid bytes are shown as replacement characters.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace norwin::platform {

// Message-box flags, with the values of the Windows flags of the same names.
// Buttons (the low four bits).
inline constexpr uint32_t kMbOk = 0x0;
inline constexpr uint32_t kMbOkCancel = 0x1;
inline constexpr uint32_t kMbAbortRetryIgnore = 0x2;
inline constexpr uint32_t kMbYesNoCancel = 0x3;
inline constexpr uint32_t kMbYesNo = 0x4;
inline constexpr uint32_t kMbRetryCancel = 0x5;
inline constexpr uint32_t kMbCancelTryContinue = 0x6;
inline constexpr uint32_t kMbTypeMask = 0xF;
// Icons; each also names the sound of Beep().
inline constexpr uint32_t kMbIconHand = 0x10;
inline constexpr uint32_t kMbIconStop = 0x10;
inline constexpr uint32_t kMbIconError = 0x10;
inline constexpr uint32_t kMbIconQuestion = 0x20;
inline constexpr uint32_t kMbIconExclamation = 0x30;
inline constexpr uint32_t kMbIconWarning = 0x30;
inline constexpr uint32_t kMbIconAsterisk = 0x40;
inline constexpr uint32_t kMbIconInformation = 0x40;
inline constexpr uint32_t kMbIconMask = 0xF0;
// Default button (the first when none is given).
inline constexpr uint32_t kMbDefButton1 = 0x000;
inline constexpr uint32_t kMbDefButton2 = 0x100;
inline constexpr uint32_t kMbDefButton3 = 0x200;
inline constexpr uint32_t kMbDefButton4 = 0x300;
inline constexpr uint32_t kMbDefMask = 0xF00;
// Modality and focus.
inline constexpr uint32_t kMbApplModal = 0x0000;
inline constexpr uint32_t kMbSystemModal = 0x1000;
inline constexpr uint32_t kMbTaskModal = 0x2000;
inline constexpr uint32_t kMbModeMask = 0x3000;
inline constexpr uint32_t kMbNoFocus = 0x8000;
inline constexpr uint32_t kMbSetForeground = 0x10000;
inline constexpr uint32_t kMbTopmost = 0x40000;

// Beep() sounds: any icon flag above, kMbOk for the default sound, or the
// plain beep.
inline constexpr uint32_t kBeepSimple = 0xFFFFFFFF;

// Answers of MessageBox.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdAbort = 3;
inline constexpr int kIdRetry = 4;
inline constexpr int kIdIgnore = 5;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;
inline constexpr int kIdTryAgain = 10;
inline constexpr int kIdContinue = 11;

// File-chooser flags, with the values of the Windows OFN_ flags.
inline constexpr uint32_t kOfnReadOnly = 0x1;
inline constexpr uint32_t kOfnOverwritePrompt = 0x2;
inline constexpr uint32_t kOfnHideReadOnly = 0x4;
inline constexpr uint32_t kOfnNoChangeDir = 0x8;
inline constexpr uint32_t kOfnPathMustExist = 0x800;
inline constexpr uint32_t kOfnFileMustExist = 0x1000;
inline constexpr uint32_t kOfnCreatePrompt = 0x2000;
inline constexpr uint32_t kOfnShareAware = 0x4000;
inline constexpr uint32_t kOfnNoReadOnlyReturn = 0x8000;

// Print-dialog flags, with the values of the Windows PD_ flags.
inline constexpr uint32_t kPdNoSelection = 0x4;
inline constexpr uint32_t kPdNoPageNums = 0x8;
inline constexpr uint32_t kPdReturnDc = 0x100;

// The buttons of a message box, in the order they are shown.
struct Buttons {
  int ids[3] = {};
  int count = 0;
  bool Has(int id) const;
};
// The buttons that `flags` ask for; an unknown button code gives OK alone.
Buttons ButtonsOf(uint32_t flags);
// The answer that ends the wait without a choice: Cancel where offered, else
// No, else OK, else (Abort/Retry/Ignore) Abort.
int AnswerThatEndsTheWait(uint32_t flags);
// "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No", "TryAgain",
// "Continue"; the decimal number for any other value.
std::string AnswerName(int answer);

// What a file chooser is asked to show. The views must outlive the call.
struct FileChooserRequest {
  // Pairs of description and patterns, as the callers keep them: either
  // separated by NUL characters ("Text\0*.txt\0") or by "|" ("Text|*.txt|").
  // Several patterns of one pair are separated by ";". Patterns match names
  // without regard to case. Empty: every file.
  std::string_view filter;
  // 1-based index of the pair selected at first; 0 selects the first.
  int filter_index = 0;
  std::string_view title;           // empty: "Open" or "Save As"
  std::string_view initial_folder;  // empty: the current folder
  std::string_view initial_name;    // file name the chooser starts with
  // Added with a "." to a chosen name that has no extension; empty: none.
  std::string_view default_extension;
  uint32_t flags = 0;  // kOfn...
};

// What the print dialog is asked to show.
struct PrintDialogRequest {
  uint32_t flags = kPdReturnDc | kPdNoSelection | kPdNoPageNums;  // kPd...
};

// The user's choice in the print dialog, for the code that prints.
struct PrintChoice {
  int copies = 1;       // at least 1; the printing code prints them itself
  bool collate = true;  // whether copies are printed whole one after another
  std::string printer;  // the printer's name; empty when none was named
  // The dialog's settings as GtkPrintSettings keys and values
  // (gtk_print_settings_set rebuilds them), and the page setup as the keys
  // and values of the "Page Setup" group of gtk_page_setup_to_key_file.
  std::vector<std::pair<std::string, std::string>> settings;
  std::vector<std::pair<std::string, std::string>> page_setup;
};

enum class PromptsKind { kGtk, kNonInteractive, kScripted };

class Prompts {
 public:
  virtual ~Prompts() = default;

  virtual PromptsKind kind() const = 0;

  // Shows `text` with `caption` as its title and the buttons, icon and
  // default button that `flags` ask for; returns the answer (kIdOk ...).
  // Closing the box counts as AnswerThatEndsTheWait(flags).
  virtual int MessageBox(std::string_view text, std::string_view caption, uint32_t flags) = 0;

  // Sounds the system beep for `sound` (an icon flag, kMbOk or kBeepSimple).
  virtual void Beep(uint32_t sound) = 0;

  // The chosen file's full path; nullopt when the user cancelled.
  virtual std::optional<std::string> ChooseOpenFile(const FileChooserRequest& request) = 0;
  virtual std::optional<std::string> ChooseSaveFile(const FileChooserRequest& request) = 0;

  // The printer and copies to print with; nullopt when the user cancelled.
  virtual std::optional<PrintChoice> ChoosePrinter(const PrintDialogRequest& request) = 0;
};

// GTK dialogs. GTK is initialised on the first prompt (an application that
// initialised it already is fine); when that fails the prompt is answered
// as the non-interactive implementation does.
std::unique_ptr<Prompts> MakeGtkPrompts();

// Writes each prompt as one line to standard error and answers it with what
// ends the wait; choosers and the print dialog cancel, beeps are silent.
std::unique_ptr<Prompts> MakeNonInteractivePrompts();

// Where the scripted prompts read answers and write their log. Empty means
// none. kFromEnvironment re-reads $NORWIN_PROMPTS and $NORWIN_PROMPT_LOG at
// every prompt, so a test may point them elsewhere between prompts.
struct ScriptedPromptFiles {
  std::string answers;
  std::string log;
};
enum class PromptFilesSource { kGiven, kFromEnvironment };

// Answers from a file, one a line, read in order; reading resumes after the
// last line used, and starts again from the top when the answers file is
// replaced (another path or another file at that path).
//   - message box: a button by name (OK, Cancel, Abort, Retry, Ignore, Yes,
//     No, TryAgain, Continue; any case) or by number;
//   - file chooser: the path to answer; an empty line cancels;
//   - print dialog: "OK" optionally followed by the number of copies and a
//     printer name ("OK 3 office"), or "Cancel".
// When the answers run out, or a line does not fit the prompt (a button the
// box does not have, a chooser path to open that does not exist, a print
// answer that is neither), the prompt is answered as the non-interactive
// implementation does, but silently: the log tells. An unfit line is used up
// and noted on standard error and in the log.
//
// Every prompt is appended to the log as one line of tab-separated fields,
// texts escaped (backslash, line feed, carriage return, tab and NUL as \\,
// \n, \r, \t and \0), flags as 0x and lower-case hexadecimal digits:
//   message box:  CAPTION  TEXT  FLAGS  ANSWER-NAME
//   file chooser: OPEN|SAVE  FILTER  PATH-OR-EMPTY
//   beep:         BEEP  SOUND
//   print dialog: PRINT  OK|Cancel  COPIES-OR-EMPTY
// followed, for an unfit line, by a field "unfit answer: LINE". Each line is
// written with one write() on a file opened for appending, so several
// processes may share one log.
std::unique_ptr<Prompts> MakeScriptedPrompts(ScriptedPromptFiles files);
std::unique_ptr<Prompts> MakeScriptedPrompts(PromptFilesSource source);

// The kind CurrentPrompts() would pick for the present environment.
PromptsKind PromptsKindForEnvironment();

// The process's prompts, chosen on first use by PromptsKindForEnvironment()
// (the scripted ones follow the environment, see PromptFilesSource). The
// reference stays valid until SetPromptsForTesting replaces the object.
Prompts& CurrentPrompts();

// Replaces the process's prompts; nullptr makes the next CurrentPrompts()
// choose again from the environment. Not to be called while a prompt is open.
void SetPromptsForTesting(std::unique_ptr<Prompts> prompts);

}  // namespace norwin::platform
