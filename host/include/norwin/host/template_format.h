// The formatter of message templates: the placeholders of Windows' wsprintf
// filled from a typed list of arguments, so that a template and its
// arguments can never disagree about memory, only about what is shown.
//
// A placeholder is "%" [flags] [width] ["." precision] [size] type:
//   flags      "-" left-aligns in the width, "0" pads numbers with zeros,
//              "#" puts "0x"/"0X" before a hexadecimal number that is not 0;
//   width      the least number of characters;
//   precision  the most characters of a text, the least digits of a number;
//   size       "l", "h" or "I64", accepted and ignored (the arguments carry
//              their own size);
//   type       "s"/"S" text, "d"/"i" signed decimal, "u" unsigned decimal,
//              "x"/"X" hexadecimal, "c"/"C" one character, "%" a percent sign.
// Any other type character stands for itself ("%y" gives "y"). Widths and
// precisions count characters, not bytes, so UTF-8 texts line up.
//
// Each placeholder but "%%" takes the next argument. Where the type and the
// argument disagree, the argument is shown as what it is: a number under
// "%s" in decimal, a text under "%d" as the text. A missing argument is an
// empty text or 0; surplus arguments are ignored. The result is cut to
// `max_bytes` without splitting a UTF-8 character.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace norwin::host {

class FormatArg {
 public:
  enum class Kind { kText, kSigned, kUnsigned, kChar };

  FormatArg(std::string_view text) : kind_(Kind::kText), text_(text) {}    // NOLINT
  FormatArg(const std::string& text) : kind_(Kind::kText), text_(text) {}  // NOLINT
  // A null pointer shows as "(null)", as wsprintf shows it.
  FormatArg(const char* text) : kind_(Kind::kText), text_(text ? text : "(null)") {}   // NOLINT
  FormatArg(char c) : kind_(Kind::kChar), unsigned_(static_cast<unsigned char>(c)) {}  // NOLINT
  template <std::signed_integral T>
  requires(!std::same_as<T, char>) FormatArg(T value)
      : kind_(Kind::kSigned), signed_(value) {}  // NOLINT
  template <std::unsigned_integral T>
  requires(!std::same_as<T, bool>) FormatArg(T value)
      : kind_(Kind::kUnsigned), unsigned_(value) {}  // NOLINT

  Kind kind() const { return kind_; }
  std::string_view text() const { return text_; }
  int64_t signed_value() const { return signed_; }
  uint64_t unsigned_value() const { return unsigned_; }

 private:
  Kind kind_;
  std::string_view text_;
  int64_t signed_ = 0;
  uint64_t unsigned_ = 0;
};

// The most bytes a formatted message holds, as the message buffer of the
// original program held.
inline constexpr size_t kMaxFormattedBytes = 1024;

// `format` with its placeholders filled from `args` (see above).
std::string FormatTemplate(std::string_view format, std::span<const FormatArg> args,
                           size_t max_bytes = kMaxFormattedBytes);

}  // namespace norwin::host
