// TextStream: a text file opened by FileSystemObject.OpenTextFile or
// CreateTextFile, read line by line or written.
//
// Reading takes the whole file at open. Text is UTF-8 inside; a file is read
// as UTF-8 (a byte-order mark dropped), as UTF-16 when it begins with the
// UTF-16 mark or was opened as Unicode, and as Windows-1252 when it is not
// valid UTF-8, since the records and course files of the original system
// are written in that code page. Lines end with CR LF or LF.
//
// Writing collects the text and stores the file whole when the stream is
// closed (Close, or when the last reference goes): the new content goes to
// a temporary file that then replaces the old one, so a failure never
// leaves half a file. Until then the old content stays. WriteLine ends lines
// with CR LF, as the original writes them. New files are UTF-8 (UTF-16 with
// its mark when opened as Unicode); appending keeps the encoding of what is
// there, Windows-1252 included.
//
// Errors: 62 "Input past end of file" when reading past the end, 54 "Bad
// file mode" for reading a stream opened for writing or the reverse, 52
// "Bad file name or number" after Close, 70 "Permission denied" or 61 "Disk
// full" when the file cannot be stored at Close.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "norwin/automation/binder.h"
#include "norwin/automation/export.h"
#include "norwin/automation/object.h"

namespace norwin::automation {

class NORWIN_AUTOMATION_EXPORT TextStream : public Object {
 public:
  NORWIN_BOUND_CLASS();

  enum class Encoding { kUtf8, kUtf16, kCp1252 };

  // A stream reading `text` (already decoded to UTF-8).
  static Ref<TextStream> ForReading(std::string text);
  // A stream that stores `kept` (bytes already in the file, for appending)
  // followed by what is written, in `encoding`, at `path` when closed.
  static Ref<TextStream> ForWriting(std::filesystem::path path, std::string kept,
                                    Encoding encoding);

  // Reading.
  std::string ReadLine();
  std::string ReadAll();
  // The next `characters` characters (fewer at the end).
  std::string Read(int32_t characters);
  void SkipLine();
  bool AtEndOfStream() const;
  bool AtEndOfLine() const;

  // Writing.
  void Write(const std::string& text);
  void WriteLine(const std::string& text);
  void WriteBlankLines(int32_t lines);

  // The current line (from 1) and column (from 1).
  int32_t Line() const { return line_; }
  int32_t Column() const { return column_; }

  // Stores a written file and ends the stream. Closing twice does nothing.
  // When the file cannot be stored the stream stays open with its text, so
  // Close can be tried again.
  void Close();

 protected:
  ~TextStream() override;

 private:
  enum class Mode { kRead, kWrite, kClosed };
  TextStream() = default;

  void RequireReading() const;
  void RequireWriting() const;
  // Moves over `text` that was read or written, counting lines and columns.
  void Advance(std::string_view text);
  // Writes the file; the error number when it could not (0 on success).
  int32_t Store();

  Mode mode_ = Mode::kClosed;
  int32_t line_ = 1;
  int32_t column_ = 1;
  // Reading: the text and how far it is read.
  std::string text_;
  size_t pos_ = 0;
  // Writing: where, what the file keeps, and what was written.
  std::filesystem::path path_;
  std::string kept_;
  std::string written_;
  Encoding encoding_ = Encoding::kUtf8;
};

}  // namespace norwin::automation
