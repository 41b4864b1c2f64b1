#include "platform/input_device.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace platform {
namespace {

std::string Unavailable(std::string_view device) { return "输入组件 " + std::string(device) + " 不可用"; }

}  // namespace

InputError DeviceUnavailable(std::int64_t code, std::string_view device, std::string_view reason) {
  return InputError(code, Unavailable(device) + ": " + std::string(reason));
}

InputError DeviceFailedWithCode(std::int64_t code, std::string_view device) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(static_cast<std::uint32_t>(code)));
  return InputError(code, Unavailable(device) + ",错误代码: " + hex);
}

}  // namespace platform
