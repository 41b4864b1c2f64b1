#include "banner/module1.h"

#include "banner/gdiplus_flat.h"
#include "platform/lazy_proc.h"
#include "platform/text.h"

namespace Module1 {

std::uintptr_t gdipToken = 0;
std::uintptr_t gdipImage = 0;
std::uintptr_t gdipGraphics = 0;

namespace {

using namespace gdiplus_flat;
using platform::LazyProc;

constexpr platform::Library kGdiPlus{"gdiplus", platform::Search::System};
constexpr platform::Library kKernel32{"kernel32", platform::Search::System};

LazyProc<GdiplusStartupFn> GdiplusStartup{kGdiPlus, "GdiplusStartup"};
LazyProc<GdiplusShutdownFn> GdiplusShutdown{kGdiPlus, "GdiplusShutdown"};
LazyProc<GdipCreateFromHDCFn> GdipCreateFromHDC{kGdiPlus, "GdipCreateFromHDC"};
LazyProc<GdipLoadImageFromFileFn> GdipLoadImageFromFile{kGdiPlus, "GdipLoadImageFromFile"};
LazyProc<GdipGetImageDimensionFn> GdipGetImageHeight{kGdiPlus, "GdipGetImageHeight"};
LazyProc<GdipGetImageDimensionFn> GdipGetImageWidth{kGdiPlus, "GdipGetImageWidth"};
LazyProc<GdipDrawImageRectFn> GdipDrawImageRect{kGdiPlus, "GdipDrawImageRect"};
LazyProc<GdipDisposeImageFn> GdipDisposeImage{kGdiPlus, "GdipDisposeImage"};
LazyProc<GdipDeleteGraphicsFn> GdipDeleteGraphics{kGdiPlus, "GdipDeleteGraphics"};
LazyProc<GetShortPathNameAFn> GetShortPathNameA{kKernel32, "GetShortPathNameA"};

constexpr std::uint32_t kShortPathBuffer = 255;

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
  const std::u16string shortPath = platform::ToUtf16(ToShortPath(path));
  GdipLoadImageFromFile(shortPath.c_str(), &gdipImage);
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
  const std::string longPath = platform::ToAnsi(path);
  std::string buffer = platform::ToAnsi(std::string(kShortPathBuffer, ' '));
  GetShortPathNameA(longPath.c_str(), buffer.data(), kShortPathBuffer);
  // Every byte is decoded, also what follows the terminator; the text ends at the first NUL.
  const std::string decoded = platform::FromAnsi(buffer);
  return std::string(TrimSpaces(std::string_view(decoded).substr(0, decoded.find('\0'))));
}

}  // namespace Module1
