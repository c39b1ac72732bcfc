// BreakPrintLine: how printed text is cut into lines of at most 72 characters.
//
// Text is UTF-8, and every limit below counts characters (code points), not
// bytes, so that "é" takes one place on the line as it did in the single-byte
// text of older systems. Only a carriage return followed by a line feed ends a
// line; a line feed or carriage return on its own is an ordinary character.
// A byte that cannot start a UTF-8 character counts as a character of its own.
//
// From the start of the remaining text:
//  1. A CR LF starting at character 0 to 71 ends the line there; the line
//     consumes its characters and the CR LF.
//  2. Otherwise a remainder of at most 71 characters is the last line.
//  3. Otherwise the line ends before the rightmost blank at characters 1 to 72,
//     and consumes that blank too; further blanks begin the next line.
//  4. Otherwise the line is the first 72 characters.
// A line never spans more than 73 characters of the remaining text, so breaking
// a text of any length into lines takes time linear in its length.
#pragma once

#include <cstddef>
#include <string_view>

namespace norwin::host {

struct PrintLine {
  std::string_view text;  // what to draw, without the CR LF or blank that ended it
  // Bytes of the remaining text this line used up, its end included; 0 when
  // this is the last line. Never 0 otherwise, so breaking always progresses.
  size_t consumed = 0;
};

// The next line of `remaining`, which is left as it is; `text` points into it.
PrintLine BreakPrintLine(std::string_view remaining);

}  // namespace norwin::host
