// The banner drawing: its call sequence, its arguments and its failure paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "gdiplus_recorder.h"
#include "platform/win32/module1.h"

using Calls = std::vector<std::string>;

class Module1Test : public ::testing::Test {
 protected:
  // An existing file: the short path, its terminator and the rest of the buffer as it was; a
  // buffer too small gets nothing and learns the size it needs.
  void ShortPathIs(std::u16string path) {
    gdiplus.writeShortPath = [path](char16_t* buffer, std::uint32_t size) -> std::uint32_t {
      if (path.size() >= size) return static_cast<std::uint32_t>(path.size() + 1);
      std::copy(path.begin(), path.end(), buffer);
      buffer[path.size()] = u'\0';
      return static_cast<std::uint32_t>(path.size());
    };
  }

  Bindings bindings;
  GdiPlusRecorder gdiplus{bindings};
};

TEST_F(Module1Test, DrawsAtHalfSizeInTheDocumentedOrder) {
  ShortPathIs(u"C:\\PROGRA~1\\TAPWING.PNG");
  Module1::DrawImageFile("C:\\Program Files\\Tapwing.PNG", 0xDC, 0, -10);
  EXPECT_EQ(gdiplus.calls, (Calls{"GdiplusStartup v1", "GdipCreateFromHDC", "GetShortPathNameW 255",
                                  "GdipLoadImageFromFile", "GdipGetImageHeight 26", "GdipGetImageWidth 26",
                                  "GdipDrawImageRect 106 26", "GdipDisposeImage 26", "GdipDeleteGraphics 106",
                                  "GdiplusShutdown 1805"}));
  EXPECT_EQ(gdiplus.hdc, 0xDCu);
  EXPECT_EQ(gdiplus.shortPathAsked, u"C:\\Program Files\\Tapwing.PNG");
  EXPECT_EQ(gdiplus.bufferSeen, std::u16string(255, u' '));
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

// No short form (a missing file, or a volume without short names): the long path is loaded.
TEST_F(Module1Test, AMissingFileDrawsNothingAndStillShutsDownOnce) {
  gdiplus.imageFileExists = false;
  Module1::DrawImageFile("C:\\Tapwing\\Tapwing.PNG", 0xDC, 0, -10);
  EXPECT_EQ(gdiplus.loadedFile, u"C:\\Tapwing\\Tapwing.PNG");
  EXPECT_EQ(Module1::gdipImage, 0u);
  EXPECT_EQ(gdiplus.drawn[2], 0.0f);
  EXPECT_EQ(gdiplus.drawn[3], 0.0f);
  EXPECT_EQ(gdiplus.starts, 1);
  EXPECT_EQ(gdiplus.shutdowns, 1);
  EXPECT_EQ(gdiplus.calls.back(), "GdiplusShutdown 1805");
}

TEST_F(Module1Test, AFolderOutsideTheAnsiCodePageIsDrawnFromItsShortOrLongPath) {
  Module1::DrawImageFile("C:\\한글\\Tapwing.PNG", 0xDC, 0, -10);
  EXPECT_EQ(gdiplus.shortPathAsked, u"C:\\한글\\Tapwing.PNG");
  EXPECT_EQ(gdiplus.loadedFile, u"C:\\한글\\Tapwing.PNG");
  EXPECT_EQ(gdiplus.drawn[2], 150.5f);

  const std::u16string deep = u"C:\\" + std::u16string(300, u'D') + u"\\TAPWING.PNG";
  ShortPathIs(deep);  // longer than the buffer: asked again with the size it needs
  Module1::DrawImageFile("C:\\deep\\Tapwing.PNG", 0xDC, 0, -10);
  EXPECT_EQ(gdiplus.loadedFile, deep);
}

TEST_F(Module1Test, TwoCallsEachStartFreshWithClearedHandles) {
  ShortPathIs(u"C:\\T.PNG");
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
  ShortPathIs(u"C:\\TAPWING~1\\TAPWING.PNG");
  EXPECT_EQ(Module1::ToShortPath("x"), "C:\\TAPWING~1\\TAPWING.PNG");

  gdiplus.writeShortPath = nullptr;  // the call failed: 255 spaces come back
  EXPECT_EQ(Module1::ToShortPath("x"), "");

  ShortPathIs(u"  \tC:\\A\t ");
  EXPECT_EQ(Module1::ToShortPath("x"), "\tC:\\A\t");

  ShortPathIs(u"");  // a terminator in the first position
  EXPECT_EQ(Module1::ToShortPath("x"), "");

  gdiplus.writeShortPath = [](char16_t* buffer, std::uint32_t) -> std::uint32_t {  // no terminator
    std::copy_n(u"C:\\B", 4, buffer);
    return 4;
  };
  EXPECT_EQ(Module1::ToShortPath("x"), "C:\\B");
}

TEST_F(Module1Test, AMissingGdiPlusRaisesToTheCaller) {
  Bindings empty;
  EXPECT_THROW(Module1::DrawImageFile("a", 0xDC, 0, 0), platform::win32::BindError);
}
