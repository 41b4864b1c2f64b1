#include "gdiplus_recorder.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/win32/gdiplus_flat.h"

namespace {

using namespace gdiplus_flat;
GdiPlusRecorder* self = nullptr;

constexpr Handle kToken = 0x70C, kGraphics = 0x6A, kImage = 0x1A;

std::string Hex(Handle value) { return std::to_string(value); }

Status TW_STDCALL Startup(Handle* token, const StartupInput* input, void* output) {
  self->calls.push_back("GdiplusStartup v" + std::to_string(input->GdiplusVersion) +
                        (input->DebugEventCallback || input->SuppressBackgroundThread ||
                                 input->SuppressExternalCodecs || output
                             ? " with options"
                             : ""));
  ++self->starts;
  *token = kToken + self->starts;
  return 0;
}

void TW_STDCALL Shutdown(Handle token) {
  ++self->shutdowns;
  self->calls.push_back("GdiplusShutdown " + Hex(token));
}

Status TW_STDCALL CreateFromHDC(Handle hdc, Handle* graphics) {
  self->hdc = hdc;
  self->calls.push_back("GdipCreateFromHDC");
  if (self->createStatus == 0) *graphics = kGraphics;
  return self->createStatus;
}

Status TW_STDCALL LoadImageFromFile(const char16_t* file, Handle* image) {
  self->loadedFile = file;
  self->calls.push_back("GdipLoadImageFromFile");
  if (!self->imageFileExists || self->loadedFile.empty()) return 10;  // FileNotFound
  *image = kImage;
  return 0;
}

Status TW_STDCALL GetHeight(Handle image, std::int32_t* value) {
  self->calls.push_back("GdipGetImageHeight " + Hex(image));
  if (image == 0) return 2;
  *value = static_cast<std::int32_t>(self->imageHeight);
  return 0;
}

Status TW_STDCALL GetWidth(Handle image, std::int32_t* value) {
  self->calls.push_back("GdipGetImageWidth " + Hex(image));
  if (image == 0) return 2;
  *value = static_cast<std::int32_t>(self->imageWidth);
  return 0;
}

Status TW_STDCALL DrawImageRect(Handle graphics, Handle image, float x, float y, float w, float h) {
  self->calls.push_back("GdipDrawImageRect " + Hex(graphics) + " " + Hex(image));
  self->drawn[0] = x, self->drawn[1] = y, self->drawn[2] = w, self->drawn[3] = h;
  return image == 0 ? 2 : 0;
}

Status TW_STDCALL DisposeImage(Handle image) {
  self->calls.push_back("GdipDisposeImage " + Hex(image));
  return 0;
}

Status TW_STDCALL DeleteGraphics(Handle graphics) {
  self->calls.push_back("GdipDeleteGraphics " + Hex(graphics));
  return 0;
}

std::uint32_t TW_STDCALL ShortPath(const char16_t* longPath, char16_t* buffer, std::uint32_t size) {
  self->shortPathAsked = longPath;
  if (self->bufferSeen.empty()) self->bufferSeen.assign(buffer, size);
  self->calls.push_back("GetShortPathNameW " + std::to_string(size));
  return self->writeShortPath ? self->writeShortPath(buffer, size) : 0;
}

}  // namespace

GdiPlusRecorder::GdiPlusRecorder(Bindings& bindings) {
  self = this;
  bindings.Add("gdiplus", "GdiplusStartup", &Startup);
  bindings.Add("gdiplus", "GdiplusShutdown", &Shutdown);
  bindings.Add("gdiplus", "GdipCreateFromHDC", &CreateFromHDC);
  bindings.Add("gdiplus", "GdipLoadImageFromFile", &LoadImageFromFile);
  bindings.Add("gdiplus", "GdipGetImageHeight", &GetHeight);
  bindings.Add("gdiplus", "GdipGetImageWidth", &GetWidth);
  bindings.Add("gdiplus", "GdipDrawImageRect", &DrawImageRect);
  bindings.Add("gdiplus", "GdipDisposeImage", &DisposeImage);
  bindings.Add("gdiplus", "GdipDeleteGraphics", &DeleteGraphics);
  bindings.Add("kernel32", "GetShortPathNameW", &ShortPath);
}

GdiPlusRecorder::~GdiPlusRecorder() { self = nullptr; }
