#include "norwin/automation/text_stream.h"

#include <unistd.h>

#include <cstdio>
#include <utility>

#include "norwin/automation/error.h"
#include "norwin/platform/files.h"
#include "text_encoding.h"

namespace norwin::automation {

namespace {

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

NORWIN_CLASS(TextStream) {
  Method("ReadLine", &TextStream::ReadLine);
  Method("ReadAll", &TextStream::ReadAll);
  Method("Read", &TextStream::Read);
  Method("SkipLine", &TextStream::SkipLine);
  Property("AtEndOfStream", &TextStream::AtEndOfStream);
  Property("AtEndOfLine", &TextStream::AtEndOfLine);
  Method("Write", &TextStream::Write);
  Method("WriteLine", &TextStream::WriteLine, Optional("Text", Variant("")));
  Method("WriteBlankLines", &TextStream::WriteBlankLines);
  Property("Line", &TextStream::Line);
  Property("Column", &TextStream::Column);
  Method("Close", &TextStream::Close);
}

Ref<TextStream> TextStream::ForReading(std::string text) {
  Ref<TextStream> stream(new TextStream);
  stream->mode_ = Mode::kRead;
  stream->text_ = std::move(text);
  return stream;
}

Ref<TextStream> TextStream::ForWriting(std::filesystem::path path, std::string kept,
                                       Encoding encoding) {
  Ref<TextStream> stream(new TextStream);
  stream->mode_ = Mode::kWrite;
  stream->path_ = std::move(path);
  stream->kept_ = std::move(kept);
  stream->encoding_ = encoding;
  return stream;
}

TextStream::~TextStream() {
  if (mode_ != Mode::kWrite) return;
  // Nobody can hear an error any more; say it where an administrator looks.
  try {
    if (Store() != 0) {
      std::fprintf(stderr, "TextStream: could not store %s\n", path_.c_str());
    }
  } catch (...) {
    std::fprintf(stderr, "TextStream: could not store %s\n", path_.c_str());
  }
}

void TextStream::RequireReading() const {
  if (mode_ == Mode::kClosed) throw RuntimeError(kBadFileNameOrNumber);
  if (mode_ != Mode::kRead) throw RuntimeError(kBadFileMode);
}

void TextStream::RequireWriting() const {
  if (mode_ == Mode::kClosed) throw RuntimeError(kBadFileNameOrNumber);
  if (mode_ != Mode::kWrite) throw RuntimeError(kBadFileMode);
}

void TextStream::Advance(std::string_view text) {
  for (char c : text) {
    if (c == '\n') {
      ++line_;
      column_ = 1;
    } else if (!IsContinuationByte(c)) {
      ++column_;
    }
  }
}

std::string TextStream::ReadLine() {
  RequireReading();
  if (pos_ >= text_.size()) throw RuntimeError(kInputPastEndOfFile);
  const size_t end = text_.find('\n', pos_);
  const size_t next = end == std::string::npos ? text_.size() : end + 1;
  std::string_view line(text_.data() + pos_,
                        (end == std::string::npos ? text_.size() : end) - pos_);
  if (end != std::string::npos && line.ends_with('\r')) line.remove_suffix(1);
  std::string result(line);
  Advance(std::string_view(text_).substr(pos_, next - pos_));
  pos_ = next;
  return result;
}

void TextStream::SkipLine() { ReadLine(); }

std::string TextStream::ReadAll() {
  RequireReading();
  // As the original runtime: nothing left to read is an error, also for an
  // empty file, which callers test with AtEndOfStream first.
  if (pos_ >= text_.size()) throw RuntimeError(kInputPastEndOfFile);
  std::string rest = text_.substr(pos_);
  Advance(rest);
  pos_ = text_.size();
  return rest;
}

std::string TextStream::Read(int32_t characters) {
  RequireReading();
  if (characters < 0) throw RuntimeError(kInvalidProcedureCall);
  if (characters == 0) return {};
  if (pos_ >= text_.size()) throw RuntimeError(kInputPastEndOfFile);
  size_t end = pos_;
  for (int32_t n = 0; n < characters && end < text_.size(); ++n) {
    ++end;
    while (end < text_.size() && IsContinuationByte(text_[end])) ++end;
  }
  std::string result = text_.substr(pos_, end - pos_);
  Advance(result);
  pos_ = end;
  return result;
}

bool TextStream::AtEndOfStream() const {
  RequireReading();
  return pos_ >= text_.size();
}

bool TextStream::AtEndOfLine() const {
  RequireReading();
  if (pos_ >= text_.size() || text_[pos_] == '\n') return true;
  return text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n';
}

void TextStream::Write(const std::string& text) {
  RequireWriting();
  written_ += text;
  Advance(text);
}

void TextStream::WriteLine(const std::string& text) {
  RequireWriting();
  written_.append(text).append("\r\n");
  Advance(text);
  Advance("\n");
}

void TextStream::WriteBlankLines(int32_t lines) {
  RequireWriting();
  if (lines < 0) throw RuntimeError(kInvalidProcedureCall);
  for (int32_t i = 0; i < lines; ++i) {
    written_ += "\r\n";
    Advance("\n");
  }
}

int32_t TextStream::Store() {
  std::string content = kept_;
  if (content.empty() && encoding_ == Encoding::kUtf16) content = text_encoding::kUtf16Mark;
  content += text_encoding::Encode(written_, encoding_);
  if (platform::WriteFileAtomically(path_, content).ok()) return 0;
  // The system layer says why in words; the caller needs the runtime's
  // number, which the state of the folder tells.
  const std::filesystem::path dir =
      path_.has_parent_path() ? path_.parent_path() : std::filesystem::path(".");
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) return kPathNotFound;
  if (access(dir.c_str(), W_OK) != 0) return kPermissionDenied;
  return kDeviceIoError;
}

void TextStream::Close() {
  if (mode_ == Mode::kRead) {
    mode_ = Mode::kClosed;
    text_.clear();
    text_.shrink_to_fit();
  } else if (mode_ == Mode::kWrite) {
    // A stream that could not be stored stays open with its text, so that
    // nothing written is lost: Close may be tried again.
    if (const int32_t error = Store(); error != 0) throw RuntimeError(error);
    mode_ = Mode::kClosed;
    kept_.clear();
    written_.clear();
  }
}

}  // namespace norwin::automation
