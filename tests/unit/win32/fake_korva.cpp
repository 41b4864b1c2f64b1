#include "fake_korva.h"

#include <cstdint>
#include <string>

namespace fake {
namespace abi = korva::abi;

namespace {

DriverObject& Self(abi::Object* object) { return *static_cast<DriverObject*>(object); }

abi::Status Record(abi::Object* object, const char* name, std::int32_t* result) {
  Self(object).calls.emplace_back(name);
  *result = 1;
  return Self(object).status;
}

template <const char* Name>
abi::Status KORVA_CALL Action(abi::Object* object, std::int32_t* result) {
  return Record(object, Name, result);
}

constexpr char kClickLeft[] = "ClickLeft";
constexpr char kClickRight[] = "ClickRight";
constexpr char kClickMiddle[] = "ClickMiddle";
constexpr char kDoubleClickLeft[] = "DoubleClickLeft";
constexpr char kWheelUp[] = "WheelUp";
constexpr char kWheelDown[] = "WheelDown";

abi::Status KORVA_CALL Move(abi::Object* object, std::int32_t x, std::int32_t y, std::int32_t* result) {
  return Record(object, ("move " + std::to_string(x) + "," + std::to_string(y)).c_str(), result);
}

abi::Status KORVA_CALL Read(abi::Object* object, abi::Variant* x, abi::Variant* y, std::int32_t* result) {
  auto& self = Self(object);
  if (x->vt != abi::VT_EMPTY || y->vt != abi::VT_EMPTY) self.calls.emplace_back("read into non-empty");
  if (self.fractional) {
    x->vt = y->vt = abi::VT_R8;
    x->dblVal = self.cursorX + 0.25;
    y->dblVal = self.cursorY + 0.25;
  } else {
    x->vt = y->vt = abi::VT_I4;
    x->lVal = self.cursorX;
    y->lVal = self.cursorY;
  }
  return Record(object, "read", result);
}

std::uint32_t KORVA_CALL AddRef(abi::Object* object) { return ++Self(object).references; }
std::uint32_t KORVA_CALL Release(abi::Object* object) { return --Self(object).references; }

}  // namespace

DriverObject::DriverObject() {
  vtable.AddRef = &AddRef;
  vtable.Release = &Release;
  vtable.ClickLeft = &Action<kClickLeft>;
  vtable.ClickRight = &Action<kClickRight>;
  vtable.ClickMiddle = &Action<kClickMiddle>;
  vtable.DoubleClickLeft = &Action<kDoubleClickLeft>;
  vtable.WheelUp = &Action<kWheelUp>;
  vtable.WheelDown = &Action<kWheelDown>;
  vtable.MoveCursor = &Move;
  vtable.ReadCursor = &Read;
  table = &vtable;
}

}  // namespace fake
