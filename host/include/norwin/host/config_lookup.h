// Look-ups in a configuration document, the answer of an http:// settings
// location: lines of a key, "=" and a value, ended by line feeds.
//
// The look-ups keep the original program's rules, quirks included, because
// configuration servers were written against them: a key is found as the
// first occurrence of its text anywhere in the document (plain,
// case-sensitive, not anchored to a line start, so "run" also matches
// inside "rerun=..."), its value runs from the next "=" on that line to the
// line's end. Any bytes are safe input; nothing here allocates more than
// the destination's capacity.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace norwin::host {

// Looks `name` up in `document`. `destination` is emptied first. Not found
// when the name does not occur, or when only white space follows its "="
// (or the name itself, when the line has no "=") up to a line feed.
// Otherwise found, also with an empty value: `destination` gets the value
// with leading white space skipped, at most `capacity` - 1 bytes (no UTF-8
// character split), trailing white space (a carriage return included)
// removed.
bool FindConfigText(std::string_view name, std::string& destination, size_t capacity,
                    std::string_view document);

// The integer value of `name`: `default_value` when the name does not
// occur; 0 when only white space follows up to a line feed ("cx=" gives 0,
// not the default); otherwise the optional sign and leading decimal digits
// of the value (none give 0), limited to the 32-bit range.
int32_t FindConfigNumber(std::string_view name, int32_t default_value, std::string_view document);

}  // namespace norwin::host
