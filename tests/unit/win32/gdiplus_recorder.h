// Recording stand-ins for the GDI+ flat entry points and GetShortPathNameW.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bindings.h"

struct GdiPlusRecorder {
  explicit GdiPlusRecorder(Bindings& bindings);
  ~GdiPlusRecorder();

  // What the stand-ins answer.
  std::int32_t createStatus = 0;
  std::uint32_t imageWidth = 301, imageHeight = 121;
  // Answers as GetShortPathNameW would, given the buffer and its size in units; by default a
  // missing file: the buffer untouched, 0.
  std::function<std::uint32_t(char16_t* buffer, std::uint32_t size)> writeShortPath;
  bool imageFileExists = true;

  // What they were asked.
  std::vector<std::string> calls;
  std::u16string shortPathAsked;
  std::u16string bufferSeen;  // the buffer as the first call got it
  std::u16string loadedFile;
  std::uintptr_t hdc = 0;
  float drawn[4] = {};
  int starts = 0, shutdowns = 0;
};
