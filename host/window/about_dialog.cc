// The About box: the texts and arrangement of about_box.h (icon, the two
// lines in a frame, OK), laid out with GTK's own spacing and font, which
// suit the desktop better than the Windows dialog units would.
#include <gtk/gtk.h>

#include <string>

#include "norwin/host/about_box.h"
#include "norwin/host/course_window.h"
#include "norwin/host/program_icon.h"

namespace norwin::host {

void ShowAboutBox(GtkWindow* owner) {
  const std::string caption(kAboutCaption);
  const std::string ok(kAboutOkText);
  GtkWidget* dialog = gtk_dialog_new_with_buttons(caption.c_str(), owner,
                                                  static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL),
                                                  ok.c_str(), kAboutOkId, nullptr);
  gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
  gtk_window_set_position(GTK_WINDOW(dialog),
                          owner ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), kAboutOkId);

  GtkWidget* frame = gtk_frame_new(nullptr);
  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
  gtk_container_set_border_width(GTK_CONTAINER(row), 12);
  if (GdkPixbuf* icon = LoadProgramIcon(48)) {
    GtkWidget* image = gtk_image_new_from_pixbuf(icon);
    gtk_widget_set_name(image, "lumo-icon");
    gtk_box_pack_start(GTK_BOX(row), image, FALSE, FALSE, 0);
    g_object_unref(icon);
  }
  GtkWidget* lines = gtk_box_new(GTK_ORIENTATION_VERTICAL, 2);
  const std::string product(kAboutProductLine);
  const std::string maker(kAboutMakerLine);
  GtkWidget* product_label = gtk_label_new(product.c_str());
  GtkWidget* maker_label = gtk_label_new(maker.c_str());
  gtk_label_set_xalign(GTK_LABEL(product_label), 0);
  gtk_label_set_xalign(GTK_LABEL(maker_label), 0);
  gtk_box_pack_start(GTK_BOX(lines), product_label, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(lines), maker_label, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row), lines, TRUE, TRUE, 0);
  gtk_container_add(GTK_CONTAINER(frame), row);
  GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
  gtk_container_set_border_width(GTK_CONTAINER(content), 8);
  gtk_box_pack_start(GTK_BOX(content), frame, TRUE, TRUE, 0);
  gtk_widget_show_all(dialog);
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
}

}  // namespace norwin::host
