// A course window in this process, for what another program cannot see of
// it: the cursor over its page while the program is busy (Search). The
// display names none of the cursors it shows, and the busy time is too short
// to catch from outside.
#include "norwin/host/course_window.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include "support/temp_prefix.h"

namespace norwin::host {
namespace {

TEST(CourseWindowTest, BusyShowsTheWaitCursorOverThePageAndTakesItAwayAfter) {
  if (!gtk_init_check(nullptr, nullptr)) GTEST_SKIP() << "needs a display (scripts/test has one)";
  testing::TempPrefix prefix;
  WebKitWebContext* context = webkit_web_context_new();
  Settings settings;
  {
    CourseWindows windows(context, settings, [] {});
    CourseWindow* window = windows.Open(nullptr, {PageSource::Kind::kNothing, {}, {}}, 200, 150);
    ASSERT_NE(window, nullptr);
    GdkWindow* page = gtk_widget_get_window(GTK_WIDGET(window->view()));
    ASSERT_NE(page, nullptr);
    // The display keeps one cursor of a name.
    GdkCursor* wait = gdk_cursor_new_from_name(gdk_window_get_display(page), "wait");
    ASSERT_NE(wait, nullptr);
    const GdkCursor* before = gdk_window_get_cursor(page);
    ASSERT_NE(before, wait);
    window->SetBusy(true);
    EXPECT_EQ(gdk_window_get_cursor(page), wait);
    window->SetBusy(false);
    EXPECT_EQ(gdk_window_get_cursor(page), before);
    g_object_unref(wait);
    windows.CloseAll();
  }
  g_object_unref(context);
}

}  // namespace
}  // namespace norwin::host
