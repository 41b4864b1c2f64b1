#include "platform/gtk/gtk_picture_box.h"

#include <string>
#include <string_view>

#include "platform/gtk/gtk_handles.h"

namespace platform::gtk {

PictureBoxControl::PictureBoxControl(EventSink& sink, int width, int height)
    : Control(gtk_drawing_area_new()), sink_(sink), width_(width), height_(height),
      image_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height)) {
  GtkWidget* area = Widget();
  gtk_widget_set_can_focus(area, TRUE);
  gtk_widget_add_events(area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK);
  g_signal_connect(area, "draw", G_CALLBACK(&PictureBoxControl::OnDraw), this);
  g_signal_connect(area, "button-press-event", G_CALLBACK(&PictureBoxControl::OnPress), this);
  g_signal_connect(area, "button-release-event", G_CALLBACK(&PictureBoxControl::OnRelease), this);
}

void PictureBoxControl::DrawImage(std::string_view file, int x, int y) {
  GObjectPtr<GdkPixbuf> pixbuf(gdk_pixbuf_new_from_file(std::string(file).c_str(), nullptr));
  if (pixbuf == nullptr) return;  // missing or not an image: nothing drawn, nothing said
  const int width = gdk_pixbuf_get_width(pixbuf.get());
  const int height = gdk_pixbuf_get_height(pixbuf.get());
  // The whole image fills the rectangle at (x, y) of half its size, fractions kept: 301 pixels
  // wide cover 150.5.
  const double halfWidth = width / 2.0, halfHeight = height / 2.0;
  cairo_t* cr = cairo_create(image_.get());
  cairo_translate(cr, x, y);
  cairo_scale(cr, halfWidth / width, halfHeight / height);
  gdk_cairo_set_source_pixbuf(cr, pixbuf.get(), 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(image_.get());
  gtk_widget_queue_draw(Widget());
}

gboolean PictureBoxControl::OnDraw(GtkWidget* widget, cairo_t* cr, gpointer data) {
  auto* self = static_cast<PictureBoxControl*>(data);
  const int width = gtk_widget_get_allocated_width(widget);
  const int height = gtk_widget_get_allocated_height(widget);
  if (width != self->width_ || height != self->height_)
    cairo_scale(cr, static_cast<double>(width) / self->width_, static_cast<double>(height) / self->height_);
  cairo_set_source_surface(cr, self->image_.get(), 0, 0);
  cairo_paint(cr);
  return FALSE;
}

gboolean PictureBoxControl::OnPress(GtkWidget* widget, GdkEventButton* event, gpointer data) {
  if (event->button != GDK_BUTTON_PRIMARY || event->type != GDK_BUTTON_PRESS) return FALSE;
  static_cast<PictureBoxControl*>(data)->pressed_ = true;
  gtk_widget_grab_focus(widget);
  return TRUE;
}

gboolean PictureBoxControl::OnRelease(GtkWidget* widget, GdkEventButton* event, gpointer data) {
  auto* self = static_cast<PictureBoxControl*>(data);
  if (event->button != GDK_BUTTON_PRIMARY || !self->pressed_) return FALSE;
  self->pressed_ = false;
  const bool inside = event->x >= 0 && event->y >= 0 && event->x < gtk_widget_get_allocated_width(widget) &&
                      event->y < gtk_widget_get_allocated_height(widget);
  if (inside) self->sink_.Raise(self->Click);
  return TRUE;
}

}  // namespace platform::gtk
