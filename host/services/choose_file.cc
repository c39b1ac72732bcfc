#include "norwin/host/choose_file.h"

#include <algorithm>
#include <filesystem>

#include "norwin/platform/drives.h"
#include "norwin/platform/prompts.h"

namespace norwin::host {

std::string ChooserFilterOf(std::string_view entry) {
  std::string filter(entry);
  if (filter.empty()) return filter;
  const char separator = filter.back();
  std::replace(filter.begin(), filter.end(), separator, '\0');
  return filter;
}

std::optional<std::string> ChooseFile(uint32_t id) { return ChooseFile(ProgramStrings(), id); }

std::optional<std::string> ChooseFile(const StringTable& module, uint32_t id) {
  const std::optional<std::string> entry = module.Load(id, kMaxFilterBytes + 1);
  if (!entry) return std::nullopt;
  const std::string filter = ChooserFilterOf(*entry);
  platform::FileChooserRequest request;
  request.filter = filter;
  request.filter_index = 0;
  request.flags = kChooseFileFlags;
  std::optional<std::string> chosen = platform::CurrentPrompts().ChooseOpenFile(request);
  if (!chosen) return std::nullopt;
  // The rest of the program speaks Windows paths; a file outside every drive
  // keeps its native path, which the current drive c: (the root folder)
  // still resolves.
  if (std::optional<std::string> windows = platform::ToWindowsPath(*chosen)) return windows;
  return chosen;
}

}  // namespace norwin::host
