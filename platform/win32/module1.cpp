#include "platform/win32/module1.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text.h"
#include "platform/win32/gdiplus_flat.h"
#include "platform/win32/lazy_proc.h"

namespace Module1 {

std::uintptr_t gdipToken = 0;
std::uintptr_t gdipImage = 0;
std::uintptr_t gdipGraphics = 0;

namespace {

using namespace gdiplus_flat;
using platform::win32::LazyProc;
using platform::win32::Library;
using platform::win32::Search;

constexpr Library kGdiPlus{"gdiplus", Search::System};
constexpr Library kKernel32{"kernel32", Search::System};

LazyProc<GdiplusStartupFn> GdiplusStartup{kGdiPlus, "GdiplusStartup"};
LazyProc<GdiplusShutdownFn> GdiplusShutdown{kGdiPlus, "GdiplusShutdown"};
LazyProc<GdipCreateFromHDCFn> GdipCreateFromHDC{kGdiPlus, "GdipCreateFromHDC"};
LazyProc<GdipLoadImageFromFileFn> GdipLoadImageFromFile{kGdiPlus, "GdipLoadImageFromFile"};
LazyProc<GdipGetImageDimensionFn> GdipGetImageHeight{kGdiPlus, "GdipGetImageHeight"};
LazyProc<GdipGetImageDimensionFn> GdipGetImageWidth{kGdiPlus, "GdipGetImageWidth"};
LazyProc<GdipDrawImageRectFn> GdipDrawImageRect{kGdiPlus, "GdipDrawImageRect"};
LazyProc<GdipDisposeImageFn> GdipDisposeImage{kGdiPlus, "GdipDisposeImage"};
LazyProc<GdipDeleteGraphicsFn> GdipDeleteGraphics{kGdiPlus, "GdipDeleteGraphics"};
LazyProc<GetShortPathNameWFn> GetShortPathNameW{kKernel32, "GetShortPathNameW"};

constexpr std::uint32_t kShortPathBuffer = 255;
constexpr std::uint32_t kLongestPath = 32768;  // what the system's wide paths can hold

std::string_view TrimSpaces(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

void DrawImageFile(std::string_view path, std::uintptr_t hdc, std::int32_t x, std::int32_t y) {
  std::int32_t imageWidth = 0;
  std::int32_t imageHeight = 0;

  StartGdiPlus();
  if (GdipCreateFromHDC(hdc, &gdipGraphics) != 0) {
    StopGdiPlus();
    return;
  }
  // Without a short form the long path serves: GDI+ takes UTF-16 anyway.
  std::string file = ToShortPath(path);
  if (file.empty()) file = path;
  const std::u16string fileName = platform::ToUtf16(file);
  GdipLoadImageFromFile(fileName.c_str(), &gdipImage);
  GdipGetImageHeight(gdipImage, &imageHeight);
  GdipGetImageWidth(gdipImage, &imageWidth);
  const auto halfHeight = static_cast<float>(imageHeight / 2.0);
  const auto halfWidth = static_cast<float>(imageWidth / 2.0);
  GdipDrawImageRect(gdipGraphics, gdipImage, static_cast<float>(x), static_cast<float>(y), halfWidth,
                    halfHeight);
  StopGdiPlus();
}

void StartGdiPlus() {
  gdipGraphics = 0;
  gdipImage = 0;
  const StartupInput input{1, nullptr, 0, 0};
  GdiplusStartup(&gdipToken, &input, nullptr);
}

void StopGdiPlus() {
  GdipDisposeImage(gdipImage);
  GdipDeleteGraphics(gdipGraphics);
  GdiplusShutdown(gdipToken);
}

std::string ToShortPath(std::string_view path) {
  const std::u16string longPath = platform::ToUtf16(path);
  std::u16string buffer(kShortPathBuffer, u' ');
  // A short path too long for the buffer leaves it untouched and answers the size it needs.
  if (const std::uint32_t needed = GetShortPathNameW(longPath.c_str(), buffer.data(), kShortPathBuffer);
      needed > kShortPathBuffer && needed <= kLongestPath) {
    buffer.assign(needed, u' ');
    GetShortPathNameW(longPath.c_str(), buffer.data(), needed);
  }
  // Every unit is decoded, also what follows the terminator; the text ends at the first NUL.
  const std::string decoded = platform::ToUtf8(buffer);
  return std::string(TrimSpaces(std::string_view(decoded).substr(0, decoded.find('\0'))));
}

}  // namespace Module1
