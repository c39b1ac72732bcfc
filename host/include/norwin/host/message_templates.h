// Message templates: every prompt of Lumo is a string-table entry holding
// the message text and, behind it, the names of the message-box flags,
// separated by "|" ("Unable to open %s.|MB_RETRYCANCEL|MB_ICONEXCLAMATION").
//
// Showing a template formats its text with the caller's arguments (see
// template_format.h; formatting comes first, so a "|" inside an argument
// separates fields too), turns the flag names into flags, sounds the beep
// that goes with them unless the user switched beeps off, and shows a
// message box captioned "Lumo" through the process's prompts
// (CurrentPrompts()). The answer is the message box's (kIdOk ... kIdNo);
// callers repeat on kIdRetry and give up on kIdCancel.
//
// Whether beeps sound is read once per MessageService, from the value Beep
// of the section "windows" of the user's profile (profile.ini in the
// prefix): anything but "YES" (in any case) switches them off. The
// process-wide service is made on first use; the program makes it at start.
// Call these functions on the thread that runs the prompts (see prompts.h).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "norwin/host/string_table.h"
#include "norwin/host/template_format.h"

namespace norwin::host {

// The caption of Lumo's message boxes.
inline constexpr std::string_view kLumoCaption = "Lumo";

// The most bytes of a template taken from a string table.
inline constexpr size_t kMaxTemplateBytes = 254;

// What a template asks to show, before it is shown.
struct TemplateMessage {
  std::string text;    // the formatted text before the first "|"
  uint32_t flags = 0;  // the message-box flags its fields name
};

// The flags named by the fields of `fields`, the text after the message
// (each field introduced by "|"): a field's leading white space is skipped,
// and it adds the value of the first name of the flag table (MB_OK,
// MB_OKCANCEL, ..., MB_NOFOCUS, in that order) that it begins with,
// letter case counting. Fields that begin with no name add nothing.
uint32_t ParseMessageFlags(std::string_view fields);

// Template `id` of `module` formatted with `args` and split into text and
// flags. A missing (or empty) entry gives "Message template ID not found."
// with MB_OK and MB_ICONEXCLAMATION; `args` are then not used.
TemplateMessage ComposeTemplateMessage(const StringTable& module, uint32_t id,
                                       std::span<const FormatArg> args);

class MessageService {
 public:
  enum class Beeps { kOn, kOff };

  // Reads the user's Beep setting.
  MessageService();
  // With the beep setting given, for tests.
  explicit MessageService(Beeps beeps) : beeps_(beeps) {}

  // Shows template `id` of `module`; returns the answer.
  int Show(const StringTable& module, uint32_t id, std::span<const FormatArg> args);

  // Sounds the beep for message-box `flags`: nothing while beeps are off;
  // the default sound for flags 0; the sound of the icon part (bits 0x10 to
  // 0x80) otherwise; nothing for flags without an icon part.
  void BeepFor(uint32_t flags);

  Beeps beeps() const { return beeps_; }

 private:
  Beeps beeps_;
};

// The process's message service, made (and the Beep setting read) on first
// use.
MessageService& TheMessageService();

// Template `id` of the program's own string table, shown with `args`.
template <typename... Args>
int ShowTemplateMessage(uint32_t id, const Args&... args) {
  const std::array<FormatArg, sizeof...(Args)> list{FormatArg(args)...};
  return TheMessageService().Show(ProgramStrings(), id, list);
}

// Template `id` of another module's string table, shown with `args`.
template <typename... Args>
int ShowTemplateMessageFrom(const StringTable& module, uint32_t id, const Args&... args) {
  const std::array<FormatArg, sizeof...(Args)> list{FormatArg(args)...};
  return TheMessageService().Show(module, id, list);
}

// The process service's BeepFor.
void MessageBeepFor(uint32_t flags);

}  // namespace norwin::host
