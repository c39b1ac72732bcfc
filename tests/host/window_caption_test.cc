#include "norwin/host/window_caption.h"

#include <gtest/gtest.h>

#include "norwin/host/utf8_text.h"

namespace norwin::host {
namespace {

TEST(WindowCaptionTest, PageTitleThenCourseTitleWithin255Characters) {
  EXPECT_EQ(WindowCaption("Lesson 1", "Water Cycle"), "Lesson 1 - Water Cycle");
  // No title (or an empty one): the program's name.
  EXPECT_EQ(WindowCaption(nullptr, "Water Cycle"), "Lumo");
  EXPECT_EQ(WindowCaption("", "Water Cycle"), "Lumo");

  // A 254-character title leaves room for one character of the rest.
  const std::string long_title(254, 't');
  EXPECT_EQ(WindowCaption(long_title.c_str(), "Course"), long_title + " ");
  const std::string longer(300, 'u');
  EXPECT_EQ(WindowCaption(longer.c_str(), "Course"), std::string(255, 'u'));
  const std::string title(250, 'v');
  EXPECT_EQ(WindowCaption(title.c_str(), "Course"), title + " - Co");

  // Characters, not bytes, and never half of one.
  const std::string accented = std::string(240, 'w') + "\xC3\xA9";  // 241 characters
  const std::string caption = WindowCaption(accented.c_str(), "\xC3\xA9t\xC3\xA9 coursework");
  EXPECT_EQ(CountCharacters(caption), 255u);
  EXPECT_EQ(caption, accented + " - \xC3\xA9t\xC3\xA9 coursew");
  const std::string tight = WindowCaption(std::string(252, 'x').c_str(), "\xC3\xA9\xC3\xA9");
  EXPECT_EQ(tight, std::string(252, 'x') + " - ");
}

}  // namespace
}  // namespace norwin::host
