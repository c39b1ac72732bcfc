// Where norwin-reg writes its output and errors and reads the answers to its
// questions. The streams are borrowed and must outlive the Console.
#pragma once

#include <cstdio>
#include <string_view>

namespace norwin::reg {

class Console {
 public:
  Console(FILE* in, FILE* out, FILE* err) : in_(in), out_(out), err_(err) {}

  void Out(std::string_view text) const { fwrite(text.data(), 1, text.size(), out_); }
  void Err(std::string_view text) const { fwrite(text.data(), 1, text.size(), err_); }

  // Writes `question` ("Delete the registry value x (Yes/No)? ") and reads
  // answers from the input until one is Yes or No ("y", "yes", "n", "no" in
  // any case). The end of the input counts as No, so that a run without a
  // terminal never changes what it was not told to.
  bool Confirm(std::string_view question) const;

 private:
  FILE* in_;
  FILE* out_;
  FILE* err_;
};

}  // namespace norwin::reg
