#include "norwin/host/window_caption.h"

#include "norwin/host/message_templates.h"
#include "norwin/host/utf8_text.h"

namespace norwin::host {
namespace {

// The first `count` characters of `text`.
std::string_view FirstCharacters(std::string_view text, size_t count) {
  size_t seen = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (seen == count) return text.substr(0, i);
    ++seen;
  }
  return text;
}

}  // namespace

std::string WindowCaption(const char* page_title, std::string_view course_title) {
  if (!page_title || !*page_title) return std::string(kLumoCaption);
  std::string caption(FirstCharacters(page_title, kMaxCaptionChars));
  const size_t used = CountCharacters(caption);
  if (used < kMaxCaptionChars) {
    caption += FirstCharacters(" - ", kMaxCaptionChars - used);
    caption += FirstCharacters(course_title, kMaxCaptionChars - CountCharacters(caption));
  }
  return caption;
}

}  // namespace norwin::host
