#include "norwin/host/title_bar.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <string>

namespace norwin::host {
namespace {

// A window as a course window is made: not resizable, its page (a drawing
// area stands in for the web view) `width` pixels wide, its title bar with
// the window menu's button.
class TitleBarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!gtk_init_check(nullptr, nullptr)) GTEST_SKIP() << "needs a display (scripts/test has one)";
  }
  void TearDown() override {
    if (window_) gtk_widget_destroy(GTK_WIDGET(window_));
  }

  GtkLabel* Open(int width, const char* caption) {
    window_ = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    gtk_window_set_resizable(window_, FALSE);
    GtkLabel* label = AddTitleBar(window_, width, caption, gtk_menu_button_new());
    page_ = gtk_drawing_area_new();
    gtk_widget_set_size_request(page_, width, 300);
    gtk_container_add(GTK_CONTAINER(window_), page_);
    gtk_widget_show_all(GTK_WIDGET(window_));
    gtk_test_widget_wait_for_draw(GTK_WIDGET(window_));
    return label;
  }

  // Shows `caption` as the window does when its page's title changes.
  void Show(GtkLabel* label, const std::string& caption) {
    gtk_label_set_text(label, caption.c_str());
    gtk_window_set_title(window_, caption.c_str());
    gtk_test_widget_wait_for_draw(GTK_WIDGET(window_));
  }

  static bool Cut(GtkLabel* label) {
    return pango_layout_is_ellipsized(gtk_label_get_layout(label));
  }

  // The width the title bar asks for: a window that cannot be resized
  // takes it, were it wider than the page.
  int BarWidth() {
    int minimum = 0, natural = 0;
    gtk_widget_get_preferred_width(gtk_window_get_titlebar(window_), &minimum, &natural);
    return natural;
  }

  GtkWindow* window_ = nullptr;
  GtkWidget* page_ = nullptr;
};

TEST_F(TitleBarTest, ShowsACaptionThatFitsWholeAndCutsALongerOneWithoutWideningTheWindow) {
  GtkLabel* label = Open(900, "Lumo");
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(gtk_window_get_titlebar(window_), gtk_widget_get_parent(GTK_WIDGET(label)));
  EXPECT_FALSE(Cut(label));

  Show(label, "Lesson 1: Evaporation - Lumo Demo Course: The Water Cycle");
  EXPECT_FALSE(Cut(label)) << "the caption is shown as \"...\"";
  EXPECT_STREQ(gtk_label_get_text(label),
               "Lesson 1: Evaporation - Lumo Demo Course: The Water Cycle");
  EXPECT_EQ(gtk_widget_get_allocated_width(page_), 900);

  Show(label, std::string(255, 'w'));
  EXPECT_TRUE(Cut(label));
  EXPECT_LE(BarWidth(), 900) << "the caption widens the window";
  EXPECT_EQ(gtk_widget_get_allocated_width(page_), 900);
}

TEST_F(TitleBarTest, AWindowTooNarrowForTheButtonsHasTheDesktopsFrameAndItsTitle) {
  EXPECT_EQ(Open(40, "Lesson 1"), nullptr);
  EXPECT_EQ(gtk_window_get_titlebar(window_), nullptr);
  EXPECT_STREQ(gtk_window_get_title(window_), "Lesson 1");
  EXPECT_EQ(gtk_widget_get_allocated_width(page_), 40);
}

}  // namespace
}  // namespace norwin::host
