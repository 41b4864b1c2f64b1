// Recording stand-ins for the GDI+ flat entry points and GetShortPathNameA.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/fake/fake_platform.h"

struct GdiPlusRecorder {
  explicit GdiPlusRecorder(fake::Bindings& bindings);
  ~GdiPlusRecorder();

  // What the stand-ins answer.
  std::int32_t createStatus = 0;
  std::uint32_t imageWidth = 301, imageHeight = 121;
  // Fills the 255-byte buffer as GetShortPathNameA would; by default a missing file: untouched.
  std::function<void(char* buffer)> writeShortPath;
  bool imageFileExists = true;

  // What they were asked.
  std::vector<std::string> calls;
  std::string shortPathAsked;
  std::string bufferSeen;  // the buffer's bytes as handed in
  std::u16string loadedFile;
  std::uintptr_t hdc = 0;
  float drawn[4] = {};
  int starts = 0, shutdowns = 0;
};
