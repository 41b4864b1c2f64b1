// A stand-in for the input component: an object with the component's function table whose
// named slots record what they are asked, and whose statuses the test chooses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "components/korva/korva_abi.h"

namespace fake {

struct DriverObject : korva::abi::Object {
  DriverObject();

  std::vector<std::string> calls;  // "move 12,34", "ClickLeft", "read", ...
  int references = 1;
  korva::abi::Status status = 0;  // what every operation answers
  std::int32_t cursorX = 0, cursorY = 0;
  bool fractional = false;  // ReadCursor answers doubles (VT_R8) instead of integers
  korva::abi::Table vtable{};
};

}  // namespace fake
