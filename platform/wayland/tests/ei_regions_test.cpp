// Points of the desktop placed among libei regions: by offset, in logical units, at the nearest
// edge where no region holds them.
#include <gtest/gtest.h>

#include <cstddef>
#include <limits>
#include <vector>

#include "platform/wayland/ei/ei_regions.h"

namespace {

using namespace platform::wayland;

void ExpectPlaced(const std::vector<EiRegion>& regions, double x, double y, std::size_t region, double px, double py) {
  const auto placed = PlaceInRegions(regions, x, y);
  ASSERT_TRUE(placed) << x << "," << y;
  EXPECT_EQ(placed->region, region) << x << "," << y;
  EXPECT_DOUBLE_EQ(placed->x, px) << x << "," << y;
  EXPECT_DOUBLE_EQ(placed->y, py) << x << "," << y;
}

TEST(EiRegions, PointsInsideGoToTheRegionAtTheirOffsetWhateverTheScaleOrOrder) {
  // Side by side at scales 2 and 1, listed right one first.
  const std::vector<EiRegion> mixed = {{1280, 0, 1280, 1024, 1}, {0, 0, 1280, 1024, 2}};
  ExpectPlaced(mixed, 1279.5, 1023, 1, 1279.5, 1023);
  ExpectPlaced(mixed, 1280, 0, 0, 1280, 0);
  ExpectPlaced(mixed, 2000, 500, 0, 2000, 500);
  // The same size twice: only the offset tells them apart.
  const std::vector<EiRegion> twins = {{0, 0, 1920, 1080, 1}, {1920, 0, 1920, 1080, 1}};
  ExpectPlaced(twins, 1925, 10, 1, 1925, 10);
  ExpectPlaced(twins, 1919, 10, 0, 1919, 10);
  // Fractional scales: a 2560x1600 panel at 1.25 is 2048x1280 logical, at 1.5 one of 2880x1800 is 1920x1200.
  const std::vector<EiRegion> fractional = {{0, 0, 2048, 1280, 1.25}, {2048, 0, 1920, 1200, 1.5}};
  ExpectPlaced(fractional, 2047, 1279, 0, 2047, 1279);
  ExpectPlaced(fractional, 2100, 1199, 1, 2100, 1199);
}

TEST(EiRegions, PointsOutsideGoToTheNearestRegionAtItsLastPixel) {
  // The right one first, lower and shorter, a gap of 100 between them.
  const std::vector<EiRegion> regions = {{1100, 200, 500, 400, 2}, {0, 0, 1000, 800, 1}};
  ExpectPlaced(regions, 1040, 300, 1, 999, 300);  // in the gap, nearer the left one
  ExpectPlaced(regions, 1080, 300, 0, 1100, 300);
  ExpectPlaced(regions, -5, -7, 1, 0, 0);
  ExpectPlaced(regions, 5000, 700, 0, 1599, 599);
  ExpectPlaced(regions, 1400, 900, 0, 1400, 599);
  // Huge values: no overflow, neither of the distances nor of an offset plus a size past uint32.
  ExpectPlaced(regions, -1e15, 300, 1, 0, 300);
  ExpectPlaced(regions, 1e15, 300, 0, 1599, 300);
  constexpr double kHuge = std::numeric_limits<double>::max();
  ExpectPlaced({regions[0]}, kHuge, -kHuge, 0, 1599, 200);
  const std::vector<EiRegion> last = {{4294967000u, 0, 1000, 10, 1}};
  ExpectPlaced(last, 4294967100.0, 5, 0, 4294967100.0, 5);
  ExpectPlaced(last, 1e12, 5, 0, 4294967999.0, 5);
}

TEST(EiRegions, NothingPlacesAPointWithoutRegions) {
  EXPECT_FALSE(PlaceInRegions({}, 10, 10));
  EXPECT_FALSE(PlaceInRegions({{0, 0, 0, 0, 1}}, 0, 0));
  EXPECT_FALSE(PlaceInRegions({{0, 0, 100, 100, 1}}, std::numeric_limits<double>::quiet_NaN(), 0));
}

}  // namespace
