// Addresses of the pages on the course drives, as the web engine loads them.
//
// Each drive is one origin of the scheme "lumo": d:\learning\index.htm is
// lumo://d/learning/index.htm. Because a drive is a host of its own, the
// links course discs were written with fall out of the engine's own
// address rules: "next.htm" stays in the page's folder and "/pop3.htm"
// goes to the root of the page's drive. What the engine does not know, the
// functions here add: an address written as a drive letter ("e:\start.htm",
// "D:/x.htm", which the engine reads as a scheme of one letter) and a
// root-relative Windows path ("\pop1.htm", which the engine appends to the
// page's folder as "lumo://d/sub/\pop1.htm") become the drive's address.
//
// Self-contained (GLib only), so that the web-process extension, which
// rewrites these addresses as it loads them, compiles it too.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace norwin::host {

inline constexpr std::string_view kCourseScheme = "lumo";

// The address of the Windows path `path` on drive `drive` ("\folder\x.htm",
// "folder/x.htm": from the drive's root, either separator; "." and ".."
// applied, never above the root). Characters that are not allowed in an
// address are percent-encoded, "%" included; a "?" or "#" ends the path
// and is kept with what follows it. nullopt when `drive` is no letter.
std::optional<std::string> CourseAddress(char drive, std::string_view path);

// The course address an address the engine was given stands for, when it
// is not one already: "e:\start.htm", "E:/x.htm?a=1" and "e:start.htm" (a
// drive letter where the engine sees a scheme) give lumo://e/...; a course
// address holding a backslash ("lumo://d/sub/\pop1.htm", also written
// %5C) gives the address it meant (lumo://d/pop1.htm; "sub\x.htm" is a
// folder below). Percent-encoding already in `address` is kept. nullopt
// for every other address, canonical course addresses included.
std::optional<std::string> CanonicalCourseAddress(std::string_view address);

// The Windows path ("d:\learning\index.htm", decoded) of a course address,
// canonical or not; nullopt for any other address.
std::optional<std::string> CourseFilePath(std::string_view address);

}  // namespace norwin::host
