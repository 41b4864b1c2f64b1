// A stand-in for the input component: an object with the component's function table whose
// named slots record what they are asked, and whose statuses the test chooses.
#pragma once

#include <string>
#include <vector>

#include "automation/input_driver_abi.h"
#include "platform/fake/fake_platform.h"

namespace fake {

struct DriverObject : automation::abi::Object {
  DriverObject();

  std::vector<std::string> calls;  // "move 12,34", "ClickLeft", "read", ...
  int references = 1;
  automation::abi::Status status = 0;  // what every operation answers
  std::int32_t cursorX = 0, cursorY = 0;
  automation::abi::Table vtable{};
};

// Makes services.CreateObject hand out `object` (counting creations), or fail with `failure`
// while it is non-zero.
struct DriverFactory {
  DriverFactory(Services& services, DriverObject& object);
  int creations = 0;
  automation::abi::Status failure = 0;
};

}  // namespace fake
