#include "norwin/host/title_bar.h"

#include <algorithm>

namespace norwin::host {
namespace {

// A label whose natural width is at most `most_natural` pixels: a header
// bar gives its title the title's natural width, and a window that cannot
// be resized is as wide as its natural width, so an uncapped caption would
// widen the window and one capped at its minimum would show only "...".
struct LumoCaptionLabel {
  GtkLabel parent;
  int most_natural;  // -1: no cap yet
};
struct LumoCaptionLabelClass {
  GtkLabelClass parent_class;
};

G_DEFINE_TYPE(LumoCaptionLabel, lumo_caption_label, GTK_TYPE_LABEL)

void CapNatural(GtkWidget* widget, int* minimum, int* natural) {
  const int most = reinterpret_cast<LumoCaptionLabel*>(widget)->most_natural;
  if (most >= 0 && *natural > most) *natural = std::max(*minimum, most);
}

void CaptionPreferredWidth(GtkWidget* widget, int* minimum, int* natural) {
  GTK_WIDGET_CLASS(lumo_caption_label_parent_class)->get_preferred_width(widget, minimum, natural);
  CapNatural(widget, minimum, natural);
}

void CaptionPreferredWidthForHeight(GtkWidget* widget, int height, int* minimum, int* natural) {
  GTK_WIDGET_CLASS(lumo_caption_label_parent_class)
      ->get_preferred_width_for_height(widget, height, minimum, natural);
  CapNatural(widget, minimum, natural);
}

void lumo_caption_label_class_init(LumoCaptionLabelClass* type) {
  GtkWidgetClass* widget = GTK_WIDGET_CLASS(type);
  widget->get_preferred_width = &CaptionPreferredWidth;
  widget->get_preferred_width_for_height = &CaptionPreferredWidthForHeight;
}

void lumo_caption_label_init(LumoCaptionLabel* label) { label->most_natural = -1; }

}  // namespace

GtkLabel* AddTitleBar(GtkWindow* window, int width, const char* caption, GtkWidget* start) {
  GtkWidget* bar = gtk_header_bar_new();
  gtk_header_bar_set_show_close_button(GTK_HEADER_BAR(bar), TRUE);
  gtk_header_bar_set_decoration_layout(GTK_HEADER_BAR(bar), ":minimize,close");
  auto* label =
      reinterpret_cast<LumoCaptionLabel*>(g_object_new(lumo_caption_label_get_type(), nullptr));
  GtkWidget* title = GTK_WIDGET(label);
  gtk_label_set_text(GTK_LABEL(title), caption);
  gtk_label_set_ellipsize(GTK_LABEL(title), PANGO_ELLIPSIZE_END);
  gtk_label_set_width_chars(GTK_LABEL(title), 1);
  gtk_style_context_add_class(gtk_widget_get_style_context(title), "title");
  gtk_header_bar_set_custom_title(GTK_HEADER_BAR(bar), title);
  if (start) gtk_header_bar_pack_start(GTK_HEADER_BAR(bar), start);
  // The window's own title (what the desktop lists) follows the bar's
  // title; the custom one above is what the bar shows.
  gtk_header_bar_set_title(GTK_HEADER_BAR(bar), caption);
  gtk_window_set_titlebar(window, bar);
  gtk_widget_show_all(bar);

  // Measured once the bar is the window's: only then has it its window
  // buttons. The decoration must not make the window wider than its page:
  // a window too narrow for the buttons has the desktop's own frame.
  int bar_minimum = 0, bar_natural = 0, title_minimum = 0, title_natural = 0;
  gtk_widget_get_preferred_width(bar, &bar_minimum, &bar_natural);
  if (bar_minimum > width) {
    gtk_window_set_titlebar(window, nullptr);
    gtk_window_set_title(window, caption);
    return nullptr;
  }
  // What the bar needs besides its caption stays the same whatever the
  // caption says; the caption has the rest of the page's width.
  gtk_widget_get_preferred_width(title, &title_minimum, &title_natural);
  label->most_natural = width - (bar_natural - title_natural);
  gtk_widget_queue_resize(title);
  return GTK_LABEL(title);
}

}  // namespace norwin::host
