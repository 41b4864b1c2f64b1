// The way on wlroots compositors (sway, labwc, Hyprland...), which have no RemoteDesktop portal:
// clicks through the virtual pointer, F7 through the layer-shell overlay where there is one.
#pragma once

#include <gdk/gdk.h>

#include <memory>
#include <optional>
#include <utility>

#include "platform/wayland/pointer_way.h"
#include "platform/wayland/wlr/pointer_overlay.h"
#include "platform/wayland/wlr/virtual_pointer.h"

namespace platform::wayland {

class WlrWay : public PointerWay {
 public:
  // Null where the compositor has no zwlr_virtual_pointer_manager_v1.
  static std::unique_ptr<WlrWay> Open(GdkDisplay* display);

  bool Move(double x, double y) override;
  void Click(int button, int times) override { pointer_->Click(button, times); }
  void Scroll(int steps) override { pointer_->Scroll(steps); }

  // F7's source here: the overlay, or a reader that says why there is none.
  PointerReader& Reader() { return *reader_; }
  bool HasOverlay() const { return hasOverlay_; }

 private:
  explicit WlrWay(std::unique_ptr<VirtualPointer> pointer);

  std::unique_ptr<VirtualPointer> pointer_;
  std::unique_ptr<PointerReader> reader_;
  bool hasOverlay_ = false;
};

}  // namespace platform::wayland
