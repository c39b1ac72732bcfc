// Shared by the prompt implementations (private to the system layer): the
// escaping of texts into one-line fields, the appending of whole lines to
// files that several processes share, and the chooser's default extension.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace norwin::platform::internal {

// Appends `text` to `out` with backslash, line feed, carriage return, tab and
// NUL written as \\, \n, \r, \t and \0, so that a field never breaks a
// tab-separated line.
void AppendEscaped(std::string& out, std::string_view text);
std::string Escaped(std::string_view text);

// "0x" and the lower-case hexadecimal digits of `flags` ("0x35").
std::string HexFlags(uint32_t flags);

// Appends `line` (which ends with a line feed) to the file at `path`,
// creating it when missing, with one write() on a descriptor opened for
// appending, so lines of several processes never interleave. A failure is
// reported once per process on standard error; prompts never fail for it.
void AppendLine(const std::string& path, std::string_view line);

// Writes `line` to standard error with one write().
void WriteToStderr(std::string_view line);

enum class ChooserAction { kOpen, kSave };

// Completes a chosen path with the chooser's default extension, as the
// Windows choosers do for a typed name: a name without an extension gets "."
// and `extension`; for opening only when that file exists or the name as
// chosen does not (an existing file without extension stays itself).
// Unchanged when `extension` is empty.
std::string CompleteChosenPath(std::string path, std::string_view extension, ChooserAction action);

}  // namespace norwin::platform::internal
