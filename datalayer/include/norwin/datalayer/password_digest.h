// The password digest: what rosters and preferences store for a password and
// what the server login proves it knows.
//
// The digest is the MD5 hash of the text's Windows-1252 bytes (the code page
// of the systems that wrote existing rosters, so that their digests match),
// as 32 lower-case hexadecimal digits. It has no key or salt: equal texts
// give equal digests, which is what the password checks compare.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace norwin::datalayer {

// The longest text, in characters, that has a digest.
inline constexpr size_t kMaxDigestTextLength = 256;

// The digest of `text` (UTF-8). Raises AutomationError, runtime error 5
// "Invalid procedure call or argument" with a description that says why, for
// text that is not valid UTF-8, holds a character Windows-1252 cannot
// represent, or is longer than kMaxDigestTextLength. When the hash itself
// cannot be computed, the result is a text beginning "EncryptPassword
// Error: " that names the step and the library's error code, as the callers
// compare it like any digest.
std::string EncryptPassword(std::string_view text);

}  // namespace norwin::datalayer
