// The text of a progress file, as pure functions over its content: finding a
// cookie's line, and the content after setting, chip-appending or deleting a
// cookie. ProgressStore (progress_file.h) does the file work around them.
//
// A progress file is lines of a cookie name, "=" and a value. A line belongs
// to the cookie `name` when it begins with exactly the bytes of `name`
// followed by "=" (so "ab=1" is not a line of "b"); the first such line wins.
// Lines may be of any length and hold any bytes: the functions never fail
// and never look beyond the content.
//
// Line ends. The program writes CR LF after every line, the bytes that the
// Windows program writes in text mode, so that files move between the two
// systems unchanged. Reading, a CR right before a LF belongs to the line end,
// and a LF alone ends a line too (a file edited by hand on this system).
// This is unambiguous for every line the program writes, even though a
// value may end in CR: a stored value never holds a LF, so the last CR
// before the LF is always the line end's. (Writing a bare LF instead would
// make the value "x" + CR LF, stored as "x" + CR CR, indistinguishable from
// "x" + CR in a Windows file.) A line without any line end at the end of the
// content runs to the end.
//
// Values. A stored value holds no line break: EncodeCookieValue turns every
// CR LF pair into two CRs, and DecodeCookieValue turns every pair of CRs back
// into CR LF. A LF without a CR before it would end the line and break the
// file apart (script on this system writes line breaks as LF alone), so it is
// stored as two CRs as well and reads back as CR LF. Values end at their
// first NUL, as the C strings of the original did.
//
// Encodings. Lines written by the Windows program are Windows-1252, lines
// written here UTF-8, and one file may hold both. Each line is taken on its
// own: valid UTF-8 is UTF-8, anything else Windows-1252. A line belongs to a
// cookie when its text in UTF-8 begins with the name and "=", so "café"
// finds a Windows-1252 line of café; values come back in UTF-8, and a line
// that is changed (a chip appended) is written back in UTF-8 as a whole.
//
// Every name and value passed here is UTF-8, and names hold no CR or LF
// (ProgressStore refuses such names).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace norwin::host {

// The line end the program writes.
inline constexpr std::string_view kProgressLineEnd = "\r\n";

// The separator that follows every chip of a chip list ("a|~b|~c|~").
inline constexpr std::string_view kChipSeparator = "|~";

// The stored form of `value` (see above).
std::string EncodeCookieValue(std::string_view value);

// The value of a stored form: every pair of CRs, taken from the left,
// becomes CR LF.
std::string DecodeCookieValue(std::string_view stored);

// Where the line of a cookie lies in the content: the line's text is
// [begin, text_end), its line end [text_end, next); `next` is where the
// following line begins (the content's size for the last line).
struct CookieLine {
  size_t begin = 0;
  size_t text_end = 0;
  size_t next = 0;
};

// The first line of the cookie `name`; nullopt when there is none.
std::optional<CookieLine> FindCookieLine(std::string_view content, std::string_view name);

// The stored value of the cookie `name`, in UTF-8: its first line's text
// after the name, with every blank (space, tab) and "=" at its start
// skipped, up to the first NUL; nullopt when the cookie is missing.
std::optional<std::string> FindStoredValue(std::string_view content, std::string_view name);

// The text of one line (without its line end) in UTF-8, by the rule above.
std::string LineTextAsUtf8(std::string_view text);

// The content with every line in UTF-8, line ends unchanged.
std::string ContentAsUtf8(std::string_view content);

// The content after setting the cookie `name` to `stored_value`: a line of
// name, "=", value and line end at the top, followed by the content without
// the cookie's first line. When the cookie is missing, the line is added at
// the end instead (after a line end, should the last line lack one).
std::string ContentWithCookie(std::string_view content, std::string_view name,
                              std::string_view stored_value);

// The content after adding `stored_chip` + "|~" to the chip list of `name`:
// the cookie's first line, with the chip at its end, moves to the top; a
// missing cookie is added at the end as in ContentWithCookie. nullopt when
// the line's text from its "=" on already holds the chip and its separator
// anywhere (so "b" is not added to "ab|~").
std::optional<std::string> ContentWithChip(std::string_view content, std::string_view name,
                                           std::string_view stored_chip);

// The content without any line of the cookie `name`, the other lines in
// their order and unchanged; nullopt when there was no such line.
std::optional<std::string> ContentWithoutCookie(std::string_view content, std::string_view name);

}  // namespace norwin::host
