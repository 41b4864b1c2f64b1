#include "platform/layout.h"

#include <cmath>

namespace platform {

int TwipsToPixels(int twips, double dpi) { return static_cast<int>(std::lround(twips * dpi / 1440.0)); }

PixelBounds PlaceInPixels(const Bounds& bounds, const Bounds* container, double dpi) {
  int left = TwipsToPixels(bounds.left, dpi), top = TwipsToPixels(bounds.top, dpi);
  if (container != nullptr) {
    left += TwipsToPixels(container->left, dpi);
    top += TwipsToPixels(container->top, dpi);
  }
  return {left, top, TwipsToPixels(bounds.width, dpi), TwipsToPixels(bounds.height, dpi)};
}

}  // namespace platform
