// The banner drawing: its call sequence, its arguments and its failure paths.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "banner/module1.h"
#include "gdiplus_recorder.h"

using Calls = std::vector<std::string>;

class Module1Test : public ::testing::Test {
 protected:
  // An existing file: the short path, its terminator and the rest of the buffer as it was.
  void ShortPathIs(std::string path) {
    gdiplus.writeShortPath = [path](char* buffer) { std::memcpy(buffer, path.c_str(), path.size() + 1); };
  }

  fake::Bindings bindings;
  GdiPlusRecorder gdiplus{bindings};
};

TEST_F(Module1Test, DrawsAtHalfSizeInTheDocumentedOrder) {
  ShortPathIs("C:\\PROGRA~1\\TAPWING.PNG");
  Module1::DrawImageFile("C:\\Program Files\\Tapwing.PNG", 0xDC, 0, -10);
  EXPECT_EQ(gdiplus.calls, (Calls{"GdiplusStartup v1", "GdipCreateFromHDC", "GetShortPathNameA 255",
                                  "GdipLoadImageFromFile", "GdipGetImageHeight 26", "GdipGetImageWidth 26",
                                  "GdipDrawImageRect 106 26", "GdipDisposeImage 26", "GdipDeleteGraphics 106",
                                  "GdiplusShutdown 1805"}));
  EXPECT_EQ(gdiplus.hdc, 0xDCu);
  EXPECT_EQ(gdiplus.shortPathAsked, "C:\\Program Files\\Tapwing.PNG");
  EXPECT_EQ(gdiplus.bufferSeen, std::string(255, ' '));
  EXPECT_EQ(gdiplus.loadedFile, u"C:\\PROGRA~1\\TAPWING.PNG");
  // 301 x 121 shown as 150.5 x 60.5 with its top 10 pixels above the box: no truncation.
  EXPECT_EQ(gdiplus.drawn[0], 0.0f);
  EXPECT_EQ(gdiplus.drawn[1], -10.0f);
  EXPECT_EQ(gdiplus.drawn[2], 150.5f);
  EXPECT_EQ(gdiplus.drawn[3], 60.5f);
}

TEST_F(Module1Test, ARefusedDeviceContextLoadsNothingAndShutsDownOnce) {
  gdiplus.createStatus = 2;  // InvalidParameter
  Module1::DrawImageFile("C:\\Tapwing\\Tapwing.PNG", 0, 0, -10);
  EXPECT_EQ(gdiplus.calls, (Calls{"GdiplusStartup v1", "GdipCreateFromHDC", "GdipDisposeImage 0",
                                  "GdipDeleteGraphics 0", "GdiplusShutdown 1805"}));
  EXPECT_EQ(gdiplus.shutdowns, 1);
}

TEST_F(Module1Test, AMissingFileDrawsNothingAndStillShutsDownOnce) {
  gdiplus.imageFileExists = false;
  Module1::DrawImageFile("C:\\Tapwing\\Tapwing.PNG", 0xDC, 0, -10);
  EXPECT_EQ(gdiplus.loadedFile, u"");
  EXPECT_EQ(Module1::gdipImage, 0u);
  EXPECT_EQ(gdiplus.drawn[2], 0.0f);
  EXPECT_EQ(gdiplus.drawn[3], 0.0f);
  EXPECT_EQ(gdiplus.starts, 1);
  EXPECT_EQ(gdiplus.shutdowns, 1);
  EXPECT_EQ(gdiplus.calls.back(), "GdiplusShutdown 1805");
}

TEST_F(Module1Test, TwoCallsEachStartFreshWithClearedHandles) {
  ShortPathIs("C:\\T.PNG");
  Module1::DrawImageFile("a", 0xDC, 0, 0);
  EXPECT_EQ(Module1::gdipImage, 26u);  // released but not cleared until the next start
  gdiplus.calls.clear();
  gdiplus.createStatus = 7;
  Module1::DrawImageFile("b", 0xDC, 0, 0);
  EXPECT_EQ(gdiplus.calls, (Calls{"GdiplusStartup v1", "GdipCreateFromHDC", "GdipDisposeImage 0",
                                  "GdipDeleteGraphics 0", "GdiplusShutdown 1806"}));
  EXPECT_EQ(gdiplus.starts, 2);
  EXPECT_EQ(gdiplus.shutdowns, 2);
}

TEST_F(Module1Test, ShortPathTakesTheTextBeforeTheTerminatorTrimmedOfSpacesOnly) {
  ShortPathIs("C:\\TAPWING~1\\TAPWING.PNG");
  EXPECT_EQ(Module1::ToShortPath("x"), "C:\\TAPWING~1\\TAPWING.PNG");

  gdiplus.writeShortPath = nullptr;  // the call failed: 255 spaces come back
  EXPECT_EQ(Module1::ToShortPath("x"), "");

  ShortPathIs("  \tC:\\A\t ");
  EXPECT_EQ(Module1::ToShortPath("x"), "\tC:\\A\t");

  ShortPathIs("");  // a terminator in the first position
  EXPECT_EQ(Module1::ToShortPath("x"), "");

  gdiplus.writeShortPath = [](char* buffer) { std::memcpy(buffer, "C:\\B", 4); };  // no terminator
  EXPECT_EQ(Module1::ToShortPath("x"), "C:\\B");
}

TEST_F(Module1Test, AMissingGdiPlusRaisesToTheCaller) {
  fake::Bindings empty;
  EXPECT_THROW(Module1::DrawImageFile("a", 0xDC, 0, 0), platform::BindError);
}
