// The binary contract of korva.dll, shared by our component and by the program's Windows
// backend, which calls it (platform/win32/korva_input). The interface is reached through its
// function table only; the positions below are fixed by the component and checked at compile
// time. No <windows.h> here, so the backend's binding builds and is tested anywhere.
#pragma once

#include <cstddef>
#include <cstdint>

// The calling convention of COM methods: stdcall on 32-bit Windows, the only one elsewhere.
#if defined(_WIN32) && defined(__i386__)
#define KORVA_CALL __attribute__((stdcall))
#else
#define KORVA_CALL
#endif

namespace korva::abi {

// A GUID with the platform's layout.
struct Guid {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::uint8_t data4[8];

  friend constexpr bool operator==(const Guid&, const Guid&) = default;
};
static_assert(sizeof(Guid) == 16);

inline constexpr Guid kClassId{0xF0BBCDBA, 0x4496, 0x4837, {0xBC, 0x5F, 0x77, 0xA0, 0x53, 0x75, 0x48, 0x5C}};
inline constexpr Guid kInterfaceId{0x4EA86193, 0x273D, 0x469D, {0x83, 0x09, 0x4E, 0x86, 0xFF, 0x82, 0xE6, 0x29}};

using Status = std::int32_t;  // HRESULT: negative means failure

// The subset of VARIANT the component hands back: a type tag and a payload as wide as the
// largest VARIANT member (two pointers), so the size matches on 32-bit and 64-bit Windows.
struct Variant {
  std::uint16_t vt;
  std::uint16_t reserved1, reserved2, reserved3;
  union {
    std::int32_t lVal;
    std::int16_t iVal;
    std::uint32_t ulVal;
    std::int64_t llVal;
    double dblVal;
    float fltVal;
    void* byref;
    struct {
      void* pvRecord;
      void* pRecInfo;
    } record;
  };
};
static_assert(offsetof(Variant, lVal) == 8);
static_assert(sizeof(Variant) == 8 + 2 * sizeof(void*), "must match VARIANT: 16 bytes, 24 on 64-bit");

// Variant type tags (VARTYPE) the client understands.
enum : std::uint16_t { VT_EMPTY = 0, VT_I2 = 2, VT_I4 = 3, VT_R4 = 4, VT_R8 = 5, VT_I1 = 16,
                       VT_UI1 = 17, VT_UI2 = 18, VT_UI4 = 19, VT_I8 = 20, VT_UI8 = 21, VT_INT = 22, VT_UINT = 23 };

struct Object;  // the interface pointer: its first member is the table below

using QueryInterfaceFn = Status(KORVA_CALL*)(Object*, const Guid*, void**);
using AddRefFn = std::uint32_t(KORVA_CALL*)(Object*);
using ReleaseFn = std::uint32_t(KORVA_CALL*)(Object*);
using ActionFn = Status(KORVA_CALL*)(Object*, std::int32_t* result);
using MoveFn = Status(KORVA_CALL*)(Object*, std::int32_t x, std::int32_t y, std::int32_t* result);
using ReadFn = Status(KORVA_CALL*)(Object*, Variant* x, Variant* y, std::int32_t* result);
using OtherFn = void*;  // a slot the program never calls

struct Table {
  QueryInterfaceFn QueryInterface;  // 0  IUnknown
  AddRefFn AddRef;                  // 1
  ReleaseFn Release;                // 2
  OtherFn dispatch[4];              // 3-6  IDispatch
  OtherFn unused7[16];              // 7-22
  ActionFn ClickLeft;               // 23
  ActionFn ClickRight;              // 24
  ActionFn ClickMiddle;             // 25
  ActionFn DoubleClickLeft;         // 26
  OtherFn unused27[4];              // 27-30
  MoveFn MoveCursor;                // 31
  OtherFn unused32[72];             // 32-103
  ActionFn WheelUp;                 // 104
  ActionFn WheelDown;               // 105
  OtherFn unused106[60];            // 106-165
  ReadFn ReadCursor;                // 166
};

struct Object {
  const Table* table;
};

inline constexpr std::size_t kTableSize = 167;

constexpr std::size_t SlotOf(std::size_t offset) { return offset / sizeof(void*); }
static_assert(sizeof(Table) == kTableSize * sizeof(void*));
static_assert(SlotOf(offsetof(Table, QueryInterface)) == 0);
static_assert(SlotOf(offsetof(Table, Release)) == 2);
static_assert(SlotOf(offsetof(Table, dispatch)) == 3);
static_assert(SlotOf(offsetof(Table, ClickLeft)) == 23);
static_assert(SlotOf(offsetof(Table, ClickRight)) == 24);
static_assert(SlotOf(offsetof(Table, ClickMiddle)) == 25);
static_assert(SlotOf(offsetof(Table, DoubleClickLeft)) == 26);
static_assert(SlotOf(offsetof(Table, MoveCursor)) == 31);
static_assert(SlotOf(offsetof(Table, WheelUp)) == 104);
static_assert(SlotOf(offsetof(Table, WheelDown)) == 105);
static_assert(SlotOf(offsetof(Table, ReadCursor)) == 166);

}  // namespace korva::abi
