// The driver object and its operations. Its function table has the type the client reads it
// through (korva::abi::Table), so the slot positions on both sides come from one header.
//
// Slots nobody fills answer E_NOTIMPL through one stub that takes the interface pointer only.
// With __stdcall the callee pops the arguments, so that stub is exact only for a caller that
// passes nothing else: one that passed N more 32-bit arguments would come back with its stack
// pointer 4*N bytes off. No single stub can fit every signature (the callee cannot tell how many
// bytes were pushed), and the program never calls those slots; the IDispatch slots and every
// named slot have stubs or functions with their real signatures, so their byte counts are exact.
#include <windows.h>
#include <oleauto.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <new>

#include "components/korva/korva_abi.h"
#include "korva.h"

namespace korva {

namespace {

namespace abi = korva::abi;
using abi::Status;

static_assert(sizeof(abi::Variant) == sizeof(VARIANT));
static_assert(offsetof(abi::Variant, lVal) == offsetof(VARIANT, lVal));
static_assert(sizeof(abi::Guid) == sizeof(IID));

constexpr abi::Guid kIUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr abi::Guid kIDispatch{0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

const abi::Table& Table();

struct Driver : abi::Object {
  Driver() {
    table = &Table();
    ModuleAddRef();
  }
  ~Driver() { ModuleRelease(); }
  Driver(const Driver&) = delete;
  Driver& operator=(const Driver&) = delete;

  LONG refs = 1;
};

Driver* Self(abi::Object* object) { return static_cast<Driver*>(object); }

// --- IUnknown ---

std::uint32_t KORVA_CALL AddRef(abi::Object* self) {
  return static_cast<std::uint32_t>(InterlockedIncrement(&Self(self)->refs));
}

std::uint32_t KORVA_CALL Release(abi::Object* self) {
  const LONG left = InterlockedDecrement(&Self(self)->refs);
  if (left == 0) delete Self(self);
  return static_cast<std::uint32_t>(left);
}

Status KORVA_CALL QueryInterface(abi::Object* self, const abi::Guid* iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!iid) return E_POINTER;
  if (*iid != abi::kInterfaceId && *iid != kIUnknown && *iid != kIDispatch) return E_NOINTERFACE;
  *out = self;
  AddRef(self);
  return S_OK;
}

// --- IDispatch: no type information, so late binding is not offered ---

Status KORVA_CALL GetTypeInfoCount(abi::Object*, UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

Status KORVA_CALL GetTypeInfo(abi::Object*, UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

Status KORVA_CALL GetIDsOfNames(abi::Object*, REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

Status KORVA_CALL Invoke(abi::Object*, DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
  return E_NOTIMPL;
}

Status KORVA_CALL NotImplemented(abi::Object*) { return E_NOTIMPL; }

// --- operations ---

Status LastError() {
  const DWORD error = GetLastError();
  return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

void Done(std::int32_t* result) {
  if (result) *result = 0;
}

// Mouse events at wherever the cursor is (no coordinates, no MOVE flag), all in one SendInput
// call so nothing else can slip between a press and its release.
Status SendMouse(std::initializer_list<DWORD> flags, DWORD wheel = 0) {
  INPUT events[4] = {};
  UINT count = 0;
  for (DWORD flag : flags) {
    events[count].type = INPUT_MOUSE;
    events[count].mi.dwFlags = flag;
    events[count].mi.mouseData = flag == MOUSEEVENTF_WHEEL ? wheel : 0;
    ++count;
  }
  SetLastError(0);
  return SendInput(count, events, sizeof(INPUT)) == count ? S_OK : LastError();
}

Status KORVA_CALL ClickLeft(abi::Object*, std::int32_t* result) {
  Done(result);
  return SendMouse({MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP});
}

Status KORVA_CALL ClickRight(abi::Object*, std::int32_t* result) {
  Done(result);
  return SendMouse({MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP});
}

Status KORVA_CALL ClickMiddle(abi::Object*, std::int32_t* result) {
  Done(result);
  return SendMouse({MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP});
}

// Four events in one call arrive far inside GetDoubleClickTime(), so the target sees a double click.
Status KORVA_CALL DoubleClickLeft(abi::Object*, std::int32_t* result) {
  Done(result);
  return SendMouse({MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP});
}

Status KORVA_CALL WheelUp(abi::Object*, std::int32_t* result) {
  Done(result);
  return SendMouse({MOUSEEVENTF_WHEEL}, WHEEL_DELTA);
}

Status KORVA_CALL WheelDown(abi::Object*, std::int32_t* result) {
  Done(result);
  return SendMouse({MOUSEEVENTF_WHEEL}, static_cast<DWORD>(-WHEEL_DELTA));
}

// Virtual-screen pixels, the same space GetCursorPos reports (negative left of/above the primary).
Status KORVA_CALL MoveCursor(abi::Object*, std::int32_t x, std::int32_t y, std::int32_t* result) {
  Done(result);
  SetLastError(0);
  return SetCursorPos(x, y) ? S_OK : LastError();
}

// The caller's variants may hold anything; VariantClear frees what they owned before we
// overwrite them (an empty one needs nothing).
Status PutInt(abi::Variant* out, LONG value) {
  VARIANT* variant = reinterpret_cast<VARIANT*>(out);
  if (variant->vt != VT_EMPTY) {
    if (const HRESULT hr = VariantClear(variant); FAILED(hr)) return hr;
  }
  variant->vt = VT_I4;
  variant->lVal = value;
  return S_OK;
}

Status KORVA_CALL ReadCursor(abi::Object*, abi::Variant* x, abi::Variant* y, std::int32_t* result) {
  Done(result);
  if (!x || !y) return E_POINTER;
  POINT where;
  SetLastError(0);
  if (!GetCursorPos(&where)) return LastError();
  if (const Status status = PutInt(x, where.x); FAILED(status)) return status;
  return PutInt(y, where.y);
}

// --- the table ---

template <class Function>
void* Erase(Function function) {
  return reinterpret_cast<void*>(function);
}

abi::Table MakeTable() {
  abi::Table t{};
  const auto unimplemented = [](auto& slots) {
    for (auto& slot : slots) slot = Erase(&NotImplemented);
  };
  unimplemented(t.unused7);
  unimplemented(t.unused27);
  unimplemented(t.unused32);
  unimplemented(t.unused106);
  t.QueryInterface = &QueryInterface;
  t.AddRef = &AddRef;
  t.Release = &Release;
  t.dispatch[0] = Erase(&GetTypeInfoCount);
  t.dispatch[1] = Erase(&GetTypeInfo);
  t.dispatch[2] = Erase(&GetIDsOfNames);
  t.dispatch[3] = Erase(&Invoke);
  t.ClickLeft = &ClickLeft;
  t.ClickRight = &ClickRight;
  t.ClickMiddle = &ClickMiddle;
  t.DoubleClickLeft = &DoubleClickLeft;
  t.MoveCursor = &MoveCursor;
  t.WheelUp = &WheelUp;
  t.WheelDown = &WheelDown;
  t.ReadCursor = &ReadCursor;
  return t;
}

const abi::Table kTable = MakeTable();

const abi::Table& Table() { return kTable; }

}  // namespace

HRESULT CreateDriver(REFIID iid, void** out) {
  *out = nullptr;
  Driver* driver = new (std::nothrow) Driver;
  if (!driver) return E_OUTOFMEMORY;
  const HRESULT hr = QueryInterface(driver, reinterpret_cast<const abi::Guid*>(&iid), out);
  Release(driver);  // drops the creation reference: on failure this deletes the object
  return hr;
}

}  // namespace korva
