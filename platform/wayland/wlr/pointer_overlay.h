// Where the pointer is, on wlroots compositors: no protocol tells a client the global pointer
// position, but the compositor tells a surface the pointer enters it, with the point on it.
// So Look() maps an invisible layer-shell surface over each output (gtk-layer-shell; overlay
// layer, no keyboard interactivity, so the focus stays where it is); the first enter gives the
// point (the output's logical origin plus the surface-local position) and the surfaces go
// again, all within a frame or two and without a click.
#pragma once

#include <gtk/gtk.h>

#include <optional>
#include <utility>
#include <vector>

#include "platform/wayland/wlr/virtual_pointer.h"

namespace platform::wayland {

class PointerOverlay {
 public:
  // `pointer` is nudged after each frame of a surface (see OnPainted).
  explicit PointerOverlay(VirtualPointer& pointer);
  ~PointerOverlay();
  PointerOverlay(const PointerOverlay&) = delete;
  PointerOverlay& operator=(const PointerOverlay&) = delete;

  // Whether the compositor has zwlr_layer_shell_v1.
  static bool Supported();
  // Maps the surfaces unless they are up. Without an answer within a second they go again.
  void Look();
  // The point the last Look() found, once.
  std::optional<std::pair<int, int>> Take();

 private:
  static gboolean OnEnter(GtkWidget* window, GdkEventCrossing* event, gpointer self);
  static gboolean OnDraw(GtkWidget* window, cairo_t* cr, gpointer);
  static void OnPainted(GdkFrameClock* clock, gpointer self);
  static gboolean OnTimeout(gpointer self);
  void Hide();

  VirtualPointer& pointer_;
  std::vector<GtkWidget*> windows_;
  guint timeout_ = 0;
  std::optional<std::pair<int, int>> answer_;
};

}  // namespace platform::wayland
