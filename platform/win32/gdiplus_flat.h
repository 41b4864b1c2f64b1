// The GDI+ flat entry points and GetShortPathNameW as the banner drawing calls them, declared
// without <windows.h> so the drawing sequence builds and is tested anywhere.
#pragma once

#include <cstdint>

#include "platform/win32/stdcall.h"

namespace gdiplus_flat {

using Handle = std::uintptr_t;  // HDC, GpGraphics*, GpImage*, ULONG_PTR token
using Status = std::int32_t;    // GpStatus: 0 is Ok

struct StartupInput {
  std::uint32_t GdiplusVersion;
  void* DebugEventCallback;
  std::int32_t SuppressBackgroundThread;
  std::int32_t SuppressExternalCodecs;
};

using GdiplusStartupFn = Status(TW_STDCALL*)(Handle* token, const StartupInput* input, void* output);
using GdiplusShutdownFn = void(TW_STDCALL*)(Handle token);
using GdipCreateFromHDCFn = Status(TW_STDCALL*)(Handle hdc, Handle* graphics);
using GdipLoadImageFromFileFn = Status(TW_STDCALL*)(const char16_t* fileName, Handle* image);
using GdipGetImageDimensionFn = Status(TW_STDCALL*)(Handle image, std::int32_t* value);
using GdipDrawImageRectFn = Status(TW_STDCALL*)(Handle graphics, Handle image, float x, float y,
                                                float width, float height);
using GdipDisposeImageFn = Status(TW_STDCALL*)(Handle image);
using GdipDeleteGraphicsFn = Status(TW_STDCALL*)(Handle graphics);
using GetShortPathNameWFn = std::uint32_t(TW_STDCALL*)(const char16_t* longPath, char16_t* shortPath,
                                                       std::uint32_t bufferSize);

}  // namespace gdiplus_flat
