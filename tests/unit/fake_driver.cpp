#include "fake_driver.h"

#include "platform/errors.h"

namespace fake {
namespace abi = automation::abi;

namespace {

DriverObject& Self(abi::Object* object) { return *static_cast<DriverObject*>(object); }

abi::Status Record(abi::Object* object, const char* name, std::int32_t* result) {
  Self(object).calls.emplace_back(name);
  *result = 1;
  return Self(object).status;
}

template <const char* Name>
abi::Status TW_STDCALL Action(abi::Object* object, std::int32_t* result) {
  return Record(object, Name, result);
}

constexpr char kClickLeft[] = "ClickLeft";
constexpr char kClickRight[] = "ClickRight";
constexpr char kClickMiddle[] = "ClickMiddle";
constexpr char kDoubleClickLeft[] = "DoubleClickLeft";
constexpr char kWheelUp[] = "WheelUp";
constexpr char kWheelDown[] = "WheelDown";

abi::Status TW_STDCALL Move(abi::Object* object, std::int32_t x, std::int32_t y, std::int32_t* result) {
  return Record(object, ("move " + std::to_string(x) + "," + std::to_string(y)).c_str(), result);
}

abi::Status TW_STDCALL Read(abi::Object* object, abi::Variant* x, abi::Variant* y, std::int32_t* result) {
  auto& self = Self(object);
  if (x->vt != abi::VT_EMPTY || y->vt != abi::VT_EMPTY) self.calls.emplace_back("read into non-empty");
  x->vt = y->vt = abi::VT_I4;
  x->lVal = self.cursorX;
  y->lVal = self.cursorY;
  return Record(object, "read", result);
}

std::uint32_t TW_STDCALL AddRef(abi::Object* object) { return ++Self(object).references; }
std::uint32_t TW_STDCALL Release(abi::Object* object) { return --Self(object).references; }

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

DriverFactory::DriverFactory(Services& services, DriverObject& object) {
  services.createObject = [this, &object](const platform::Guid& classId, const platform::Guid& interfaceId) -> void* {
    if (classId != abi::kClassId || interfaceId != abi::kInterfaceId) throw platform::ComError(-1);
    if (failure != 0) throw platform::ComError(failure);
    ++creations;
    object.references = 1;
    return static_cast<abi::Object*>(&object);
  };
}

}  // namespace fake
