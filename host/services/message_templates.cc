#include "norwin/host/message_templates.h"

#include <strings.h>

#include "norwin/platform/profile.h"
#include "norwin/platform/prompts.h"

namespace norwin::host {
namespace {

namespace p = norwin::platform;

struct FlagName {
  std::string_view name;
  uint32_t value;
};

// The flag names in the order they are tried. A field begins with the name
// it stands for, and may begin with a shorter name too: "MB_OKCANCEL"
// begins with "MB_OK". Taken strictly, trying in order would read it as
// MB_OK and lose its Cancel button; the longest name a field begins with
// wins instead, which gives every other field the name that the order
// gives it (MB_YESNOCANCEL is tried before MB_YESNO).
constexpr FlagName kFlagNames[] = {
    {"MB_OK", p::kMbOk},
    {"MB_OKCANCEL", p::kMbOkCancel},
    {"MB_ABORTRETRYIGNORE", p::kMbAbortRetryIgnore},
    {"MB_YESNOCANCEL", p::kMbYesNoCancel},
    {"MB_YESNO", p::kMbYesNo},
    {"MB_RETRYCANCEL", p::kMbRetryCancel},
    {"MB_ICONHAND", p::kMbIconHand},
    {"MB_ICONSTOP", p::kMbIconStop},
    {"MB_ICONERROR", p::kMbIconError},
    {"MB_ICONQUESTION", p::kMbIconQuestion},
    {"MB_ICONEXCLAMATION", p::kMbIconExclamation},
    {"MB_ICONWARNING", p::kMbIconWarning},
    {"MB_ICONASTERISK", p::kMbIconAsterisk},
    {"MB_ICONINFORMATION", p::kMbIconInformation},
    {"MB_DEFBUTTON1", p::kMbDefButton1},
    {"MB_DEFBUTTON2", p::kMbDefButton2},
    {"MB_DEFBUTTON3", p::kMbDefButton3},
    {"MB_APPLMODAL", p::kMbApplModal},
    {"MB_SYSTEMMODAL", p::kMbSystemModal},
    {"MB_TASKMODAL", p::kMbTaskModal},
    {"MB_NOFOCUS", p::kMbNoFocus},
};

constexpr std::string_view kNotFoundTemplate =
    "Message template %d not found.|MB_OK|MB_ICONEXCLAMATION";

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

uint32_t FlagOfField(std::string_view field) {
  size_t start = 0;
  while (start < field.size() && IsBlank(field[start])) ++start;
  field.remove_prefix(start);
  const FlagName* best = nullptr;
  for (const FlagName& flag : kFlagNames) {
    if (field.starts_with(flag.name) && (!best || flag.name.size() > best->name.size()))
      best = &flag;
  }
  return best ? best->value : 0;
}

MessageService::Beeps ReadBeepSetting() {
  const std::string beep = p::GetProfileString("windows", "Beep", "YES", 12);
  return strcasecmp(beep.c_str(), "YES") == 0 ? MessageService::Beeps::kOn
                                              : MessageService::Beeps::kOff;
}

}  // namespace

uint32_t ParseMessageFlags(std::string_view fields) {
  uint32_t flags = 0;
  while (!fields.empty()) {
    if (fields.front() == '|') fields.remove_prefix(1);
    const size_t end = fields.find('|');
    flags |= FlagOfField(fields.substr(0, end));
    if (end == std::string_view::npos) break;
    fields.remove_prefix(end);
  }
  return flags;
}

TemplateMessage ComposeTemplateMessage(const StringTable& module, uint32_t id,
                                       std::span<const FormatArg> args) {
  std::string formatted;
  if (std::optional<std::string> entry = module.Load(id, kMaxTemplateBytes + 1)) {
    formatted = FormatTemplate(*entry, args);
  } else {
    const FormatArg id_arg[] = {FormatArg(id)};
    formatted = FormatTemplate(kNotFoundTemplate, id_arg);
  }
  TemplateMessage message;
  const size_t bar = formatted.find('|');
  if (bar != std::string::npos) {
    message.flags = ParseMessageFlags(std::string_view(formatted).substr(bar));
    formatted.resize(bar);
  }
  message.text = std::move(formatted);
  return message;
}

MessageService::MessageService() : beeps_(ReadBeepSetting()) {}

int MessageService::Show(const StringTable& module, uint32_t id, std::span<const FormatArg> args) {
  const TemplateMessage message = ComposeTemplateMessage(module, id, args);
  BeepFor(message.flags);
  return p::CurrentPrompts().MessageBox(message.text, kLumoCaption, message.flags);
}

void MessageService::BeepFor(uint32_t flags) {
  if (beeps_ == Beeps::kOff) return;
  if (flags == 0) {
    p::CurrentPrompts().Beep(p::kMbOk);
    return;
  }
  const uint32_t icon = flags & p::kMbIconMask;
  if (icon != 0) p::CurrentPrompts().Beep(icon);
}

MessageService& TheMessageService() {
  static MessageService service;
  return service;
}

void MessageBeepFor(uint32_t flags) { TheMessageService().BeepFor(flags); }

}  // namespace norwin::host
