// Where a control of the twips design lands in pixels, for every backend alike.
#pragma once

#include "platform/controls.h"

namespace platform {

struct PixelBounds {
  int left, top, width, height;
};

// Rounded to the nearest pixel, halves away from zero.
int TwipsToPixels(int twips, double dpi);

// Each figure is rounded on its own, so at 96 dpi the layout is exactly the designed pixels.
// `container` is the frame holding the control, or null for the form itself.
PixelBounds PlaceInPixels(const Bounds& bounds, const Bounds* container, double dpi);

}  // namespace platform
