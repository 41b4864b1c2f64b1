// The banner box: a drawing area that keeps a persistent image and repaints from it.
//
// Implemented: DrawImage through GdkPixbuf at half the image's size, with fractional sizes kept
// (301 pixels wide draws 150.5 wide), into a cairo image surface of the box's designed size in
// pixels at 96 dpi, shown stretched to the box when the real DPI differs (as on Windows); the
// tooltip; Click on a left-button release inside the box after a press in it; it takes the focus
// when clicked or tabbed to. Not possible here: nothing else is drawn into it.
#pragma once

#include <cairo.h>
#include <gtk/gtk.h>

#include <memory>
#include <string_view>

#include "platform/gtk/gtk_controls.h"

namespace platform::gtk {

struct CairoSurfaceDestroy {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};

class PictureBoxControl : public Control, public PictureBox {
 public:
  PictureBoxControl(EventSink& sink, int width, int height);
  void DrawImage(std::string_view file, int x, int y) override;

 private:
  static gboolean OnDraw(GtkWidget* widget, cairo_t* cr, gpointer self);
  static gboolean OnPress(GtkWidget* widget, GdkEventButton* event, gpointer self);
  static gboolean OnRelease(GtkWidget* widget, GdkEventButton* event, gpointer self);

  EventSink& sink_;
  int width_, height_;  // of the image, in pixels
  std::unique_ptr<cairo_surface_t, CairoSurfaceDestroy> image_;
  bool pressed_ = false;
};

}  // namespace platform::gtk
