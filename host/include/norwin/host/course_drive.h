// The course drive: the letter of the drive (a course disc or an
// installation folder) that holds the course, found by trying each letter,
// and the check that a course file can be opened, with the user asked to
// retry while it cannot.
//
// Paths are Windows paths; the drives are the system layer's (drives.h).
// The prompts are the message templates 101 and 103 (message_templates.h),
// shown on the prompts' thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace norwin::host {

// The first letter from c to z (a and b are never tried) on which "x:" plus
// `path` opens for reading. While none does, template 101 ("Cannot find the
// CD-ROM; ...", Retry and Cancel) is shown: Cancel gives nullopt, any other
// answer searches again.
std::optional<char> SearchCourseDrive(std::string_view path);

// `path` with `drive` and a colon in front, unless it is empty or already
// has a drive letter (its second character is a colon).
std::string PrefixDrive(std::string_view path, char drive);

// Whether `path`, prefixed with `drive`, opens for reading. While it does
// not, template 103 ("Unable to open PATH.", PATH as given, Retry and
// Cancel) is shown: Retry tests again, any other answer gives false.
bool CheckFile(std::string_view path, char drive);

}  // namespace norwin::host
