// Streams placed on the desktop as GNOME and KDE describe them, and points taken there and back.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "platform/wayland/screencast/stream_map.h"

namespace {

using namespace platform::wayland;

const std::vector<Monitor> kTwoMonitors = {{{0, 0, 1280, 1024}, 2}, {{1280, 0, 1920, 1080}, 1}};

TEST(StreamMap, GnomePlacesStreamsByPositionAndMovesInStreamPixels) {
  // Listed in another order than the monitors, each with its position.
  const auto areas = MapStreams({{7, std::pair{1280, 0}, std::pair{1920, 1080}}, {5, std::pair{0, 0}, std::pair{2560, 2048}}},
                                kTwoMonitors);
  ASSERT_EQ(areas.size(), 2u);
  EXPECT_EQ(areas[0].logical.x, 1280);
  EXPECT_EQ(areas[1].logical.width, 1280);
  const auto point = ToStream(areas, 300, 200);
  ASSERT_TRUE(point);
  EXPECT_EQ(point->stream, 1u);
  EXPECT_DOUBLE_EQ(point->x, 600);  // scale 2: stream pixels
  EXPECT_EQ(ToDesktop(areas[1], 601, 401), std::make_pair(300, 200));
  EXPECT_EQ(ToStream(areas, 1300, 5)->stream, 0u);
}

TEST(StreamMap, KdeMatchesPhysicalSizesAndMovesInLogicalPixels) {
  const auto areas = MapStreams({{9, std::nullopt, std::pair{1920, 1080}}, {8, std::nullopt, std::pair{2560, 2048}}},
                                kTwoMonitors);
  EXPECT_EQ(areas[0].logical.x, 1280);
  EXPECT_EQ(areas[1].logical.x, 0);
  const auto point = ToStream(areas, 300, 200);
  EXPECT_DOUBLE_EQ(point->x, 300);  // logical, though the stream is physical
  EXPECT_EQ(ToDesktop(areas[1], 600, 400), std::make_pair(300, 200));  // the cursor metadata is physical
}

// Plasma 6 gives a stream's logical size where 5.27 gave the physical one; the cursor metadata is
// physical on both, so positions go by the negotiated frame size.
TEST(StreamMap, CursorPositionsGoByTheNegotiatedFrameSize) {
  for (const auto& [portalSize, scale] : {std::pair{std::pair{2560, 2048}, 2}, {std::pair{1280, 1024}, 2},
                                          {std::pair{1280, 1024}, 1}}) {
    const auto areas = MapStreams({{8, std::nullopt, portalSize}}, {{{0, 0, 1280, 1024}, scale}});
    ASSERT_EQ(areas.size(), 1u);
    EXPECT_EQ(ToDesktop(areas[0], 600 * scale, 400 * scale, {1280 * scale, 1024 * scale}), std::make_pair(600, 400));
    EXPECT_DOUBLE_EQ(ToStream(areas, 600, 400)->x, 600);  // KDE's moves stay logical
  }
}

// GNOME 48, a 1280x1024 monitor at 1.497 (855x684 logical): a logical point's stream pixel is
// the rounded product, and every one comes back whole.
TEST(StreamMap, AFractionalScaleGivesBackTheLogicalPixel) {
  const auto areas = MapStreams({{8, std::pair{1280, 0}, std::pair{1280, 1024}}}, {{{1280, 0, 855, 684}, 2}});
  ASSERT_EQ(areas.size(), 1u);
  for (int logical = 0; logical < 684; ++logical) {
    const int pixel = static_cast<int>(std::lround(logical * 1024 / 684.0));
    ASSERT_EQ(ToDesktop(areas[0], pixel, pixel), std::make_pair(1280 + logical, logical)) << pixel;
  }
}

// GNOME 48 gives a monitor's stream at 1.497 its logical size and takes moves in frame pixels.
TEST(StreamMap, GnomeMovesGoInTheNegotiatedFramePixels) {
  const auto areas = MapStreams({{8, std::pair{1280, 0}, std::pair{855, 684}}}, {{{1280, 0, 855, 684}, 2}});
  ASSERT_EQ(areas.size(), 1u);
  const auto point = InFramePixels(areas[0], *ToStream(areas, 1280 + 517, 391), {1280, 1024});
  EXPECT_NEAR(point.x, 517 * 1280 / 855.0, 1e-9);
  EXPECT_NEAR(point.y, 391 * 1024 / 684.0, 1e-9);
  EXPECT_DOUBLE_EQ(InFramePixels(areas[0], {0, 10, 20}, {0, 0}).x, 10);  // not negotiated yet
}

TEST(StreamMap, APointBesideEveryAreaGoesToTheNearestEdge) {
  const auto areas = MapStreams({{5, std::pair{0, 0}, std::pair{1280, 1024}}}, {{{0, 0, 1280, 1024}, 1}});
  const auto point = ToStream(areas, -50, 5000);
  EXPECT_DOUBLE_EQ(point->x, 0);
  EXPECT_DOUBLE_EQ(point->y, 1023);
  EXPECT_FALSE(ToStream({}, 1, 1));
}

// xdg-desktop-portal reports (0, 0) for a stream not negotiated yet; areas far out must not
// overflow int on the way.
TEST(StreamMap, StreamsWithoutSizeAreLeftOutAndTheLimitsHold) {
  EXPECT_TRUE(MapStreams({{5, std::pair{0, 0}, std::pair{0, 0}}}, {{{0, 0, 1280, 1024}, 1}}).empty());
  EXPECT_TRUE(MapStreams({{5, std::nullopt, std::pair{0, 0}}}, {}).empty());

  const int big = std::numeric_limits<int>::max();
  const auto areas = MapStreams({{5, std::pair{big - 10, big - 10}, std::pair{100, 100}}}, {{{big - 10, big - 10, 100, 100}, 1}});
  ASSERT_EQ(areas.size(), 1u);
  const auto point = ToStream(areas, 1e300, -1e300);
  ASSERT_TRUE(point);
  EXPECT_DOUBLE_EQ(point->x, 99);
  EXPECT_DOUBLE_EQ(point->y, 0);
  EXPECT_EQ(ToDesktop(areas[0], 1e12, -1e12), std::make_pair(big, std::numeric_limits<int>::min()));
}

}  // namespace
