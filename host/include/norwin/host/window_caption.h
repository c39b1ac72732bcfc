// The caption of a course window: "Lumo" until its page has a title, then
// the page's title, " - " and the course title, within 255 characters: the
// page's title is cut to 255 characters and the course title is cut, or
// left out, to fit. A page without a title (an error page among them) has
// the caption "Lumo", as the window had before it: the Windows program's
// browser named such a page by its address, which said nothing to a
// student.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace norwin::host {

// The most characters of a caption.
inline constexpr size_t kMaxCaptionChars = 255;

// The caption for a page whose title is `page_title` (nullptr when the page
// has none, or an empty title: the caption is then "Lumo").
std::string WindowCaption(const char* page_title, std::string_view course_title);

}  // namespace norwin::host
