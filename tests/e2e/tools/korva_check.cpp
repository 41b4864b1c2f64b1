// End-to-end check of korva.dll, meant for Wine on Xvfb (it runs on Windows too). It loads the
// DLL by path, registers it, creates the object through COM and calls every slot of its table
// through the client's own layout header, then unregisters it. On 32-bit every call goes through
// a thunk that measures the stack pointer, so a slot that pops the wrong number of argument bytes
// is reported instead of crashing somewhere later. Clicks and wheel turns are watched twice: as raw
// events (low-level mouse hook) and as the messages a window under the cursor receives.
// One line per check (PASS, FAIL or SKIP), then "N passed, N failed, N skipped"; the exit code
// is 1 if anything failed.
//
//   korva_check.exe C:\path\to\korva.dll
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <sddl.h>

#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "components/korva/korva_abi.h"

namespace {

namespace abi = korva::abi;
#define SLOT(member) abi::SlotOf(offsetof(abi::Table, member))

// --- reporting ---

int g_passed = 0;
int g_failed = 0;
int g_skipped = 0;

std::string Format(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

bool Check(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "PASS" : "FAIL", what.c_str());
  std::fflush(stdout);
  ++(ok ? g_passed : g_failed);
  return ok;
}

void Skip(const std::string& what) {
  std::printf("SKIP %s\n", what.c_str());
  ++g_skipped;
}

int Finish() {
  std::printf("korva_check: %d passed, %d failed, %d skipped\n", g_passed, g_failed, g_skipped);
  return g_failed == 0 ? 0 : 1;
}

// A fault in the DLL ends the run with a report instead of waiting in a debugger.
LONG WINAPI OnCrash(EXCEPTION_POINTERS* info) {
  Check(false, Format("crashed: exception 0x%08lX at %p", info->ExceptionRecord->ExceptionCode,
                      info->ExceptionRecord->ExceptionAddress));
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(Finish()));
  return EXCEPTION_EXECUTE_HANDLER;
}

std::string Narrow(const std::wstring& text) {
  std::string out(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), static_cast<int>(out.size()), nullptr, nullptr);
  out.pop_back();
  return out;
}

// --- calling slots with a stack-pointer check ---

#if defined(__x86_64__)
// x86-64 has one calling convention, in which the caller removes the arguments: no callee can
// leave the stack pointer off, so there is nothing to measure (main says so once). A callee
// ignores arguments beyond its own, so every slot is called through one nine-argument type.
std::uintptr_t CallSlotFunction(const void* function, const std::uintptr_t* args, std::int32_t count,
                                std::int32_t* shift) {
  std::uintptr_t a[9] = {};
  std::copy(args, args + count, a);
  using Any = std::uintptr_t (*)(std::uintptr_t, std::uintptr_t, std::uintptr_t, std::uintptr_t, std::uintptr_t,
                                 std::uintptr_t, std::uintptr_t, std::uintptr_t, std::uintptr_t);
  *shift = 0;
  return reinterpret_cast<Any>(const_cast<void*>(function))(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8]);
}
constexpr bool kMeasuresStack = false;
#else
// Pushes `count` 32-bit arguments (last one first), calls `function` as __stdcall and stores in
// *shift how far the stack pointer ended up from where it was before the pushes (0 = balanced).
extern "C" std::uintptr_t CallSlotFunction(const void* function, const std::uintptr_t* args, std::int32_t count,
                                           std::int32_t* shift);
__asm__(R"(
    .text
    .globl _CallSlotFunction
_CallSlotFunction:
    pushl %ebp
    movl %esp, %ebp
    pushl %esi
    movl 12(%ebp), %edx
    movl 16(%ebp), %ecx
    movl %esp, %esi
1:  testl %ecx, %ecx
    jz 2f
    decl %ecx
    pushl (%edx,%ecx,4)
    jmp 1b
2:  call *8(%ebp)
    movl %esp, %ecx
    subl %esi, %ecx
    movl 20(%ebp), %edx
    movl %ecx, (%edx)
    movl %esi, %esp
    popl %esi
    popl %ebp
    ret
)");
constexpr bool kMeasuresStack = true;
#endif

std::uintptr_t Arg(const void* pointer) { return reinterpret_cast<std::uintptr_t>(pointer); }
std::uintptr_t Arg(std::int32_t value) { return static_cast<std::uint32_t>(value); }

struct Call {
  std::uint32_t value;  // an HRESULT, or the count from AddRef/Release
  std::int32_t shift;   // bytes the stack pointer is off after the call
  HRESULT status() const { return static_cast<HRESULT>(value); }
};

Call CallSlot(abi::Object* object, std::size_t slot, std::initializer_list<std::uintptr_t> rest = {}) {
  const void* function;
  std::memcpy(&function, reinterpret_cast<const char*>(object->table) + slot * sizeof(void*), sizeof function);
  std::vector<std::uintptr_t> args{Arg(object)};
  args.insert(args.end(), rest);
  Call call{};
  call.value = static_cast<std::uint32_t>(
      CallSlotFunction(function, args.data(), static_cast<std::int32_t>(args.size()), &call.shift));
  return call;
}

// --- ids ---

GUID ToGuid(const abi::Guid& id) {
  GUID out;
  std::memcpy(&out, &id, sizeof out);
  return out;
}

const GUID kClass = ToGuid(abi::kClassId);
const GUID kInterface = ToGuid(abi::kInterfaceId);
const GUID kUnknownId = {0x5D3B6C1E, 0x8F0A, 0x4C2B, {0x9E, 0x11, 0x7A, 0x42, 0x0C, 0x93, 0xD5, 0x6F}};

std::wstring GuidText(const GUID& id) {
  wchar_t text[40] = {};
  StringFromGUID2(id, text, 40);
  return text;
}

// --- the DLL's exports ---

using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using PlainFn = HRESULT(WINAPI*)();

struct Exports {
  GetClassObjectFn getClassObject = nullptr;
  PlainFn canUnloadNow = nullptr;
  PlainFn registerServer = nullptr;
  PlainFn unregisterServer = nullptr;
};

template <class Fn>
Fn Bind(HMODULE dll, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

bool CheckExports(HMODULE dll, Exports& out) {
  out.getClassObject = Bind<GetClassObjectFn>(dll, "DllGetClassObject");
  out.canUnloadNow = Bind<PlainFn>(dll, "DllCanUnloadNow");
  out.registerServer = Bind<PlainFn>(dll, "DllRegisterServer");
  out.unregisterServer = Bind<PlainFn>(dll, "DllUnregisterServer");
  bool ok = Check(out.getClassObject, "export DllGetClassObject");
  ok &= Check(out.canUnloadNow, "export DllCanUnloadNow");
  ok &= Check(out.registerServer, "export DllRegisterServer");
  ok &= Check(out.unregisterServer, "export DllUnregisterServer");
  for (const char* decorated : {"DllGetClassObject@12", "_DllGetClassObject@12", "DllCanUnloadNow@0"}) {
    Check(!GetProcAddress(dll, decorated), Format("no decorated export %s", decorated));
  }
  return ok;
}

// Factory, aggregation refusal and the module count behind DllCanUnloadNow.
void CheckFactory(const Exports& dll) {
  Check(dll.canUnloadNow() == S_OK, "DllCanUnloadNow is S_OK before anything is handed out");

  void* out = &out;
  HRESULT hr = dll.getClassObject(kUnknownId, IID_IClassFactory, &out);
  Check(hr == CLASS_E_CLASSNOTAVAILABLE && !out, Format("DllGetClassObject(other class) -> 0x%08lX", hr));

  IClassFactory* factory = nullptr;
  hr = dll.getClassObject(kClass, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (!Check(hr == S_OK && factory, Format("DllGetClassObject(class, IClassFactory) -> 0x%08lX", hr))) return;
  Check(dll.canUnloadNow() == S_FALSE, "DllCanUnloadNow is S_FALSE while the factory is held");

  out = &out;
  hr = factory->CreateInstance(reinterpret_cast<IUnknown*>(factory), IID_IUnknown, &out);
  Check(hr == CLASS_E_NOAGGREGATION && !out, Format("CreateInstance with an outer object -> 0x%08lX", hr));
  out = &out;
  hr = factory->CreateInstance(nullptr, kUnknownId, &out);
  Check(hr == E_NOINTERFACE && !out, Format("CreateInstance(unknown iid) -> 0x%08lX", hr));

  abi::Object* object = nullptr;
  hr = factory->CreateInstance(nullptr, kInterface, reinterpret_cast<void**>(&object));
  if (Check(hr == S_OK && object, Format("CreateInstance(interface) -> 0x%08lX", hr))) {
    factory->Release();
    Check(dll.canUnloadNow() == S_FALSE, "DllCanUnloadNow is S_FALSE while an object lives");
    const Call release = CallSlot(object, SLOT(Release));
    Check(release.value == 0 && release.shift == 0, Format("Release of the only reference -> %u", release.value));
  } else {
    factory->Release();
  }
  Check(dll.canUnloadNow() == S_OK, "DllCanUnloadNow is S_OK once objects and factory are released");

  hr = dll.getClassObject(kClass, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (hr != S_OK) return;
  factory->LockServer(TRUE);
  factory->Release();
  Check(dll.canUnloadNow() == S_FALSE, "DllCanUnloadNow is S_FALSE while LockServer(TRUE) holds");
  dll.getClassObject(kClass, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  factory->LockServer(FALSE);
  factory->LockServer(FALSE);  // one more than was locked
  factory->Release();
  Check(dll.canUnloadNow() == S_OK, "DllCanUnloadNow is S_OK after LockServer(FALSE), even one too many");
  dll.getClassObject(kClass, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  Check(dll.canUnloadNow() == S_FALSE, "an unmatched LockServer(FALSE) left the count able to hold again");
  factory->Release();
}

// --- registry ---

std::wstring ClassKey(const wchar_t* below) { return std::wstring(below) + L"CLSID\\" + GuidText(kClass); }

bool KeyExists(HKEY root, const std::wstring& path) {
  HKEY key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

std::wstring ReadString(HKEY root, const std::wstring& path, const wchar_t* name) {
  wchar_t value[2048] = {};
  DWORD size = sizeof value;
  if (RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) return L"<missing>";
  return value;
}

void WriteString(HKEY root, const std::wstring& path, const std::wstring& value) {
  HKEY key;
  if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) return;
  RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

// Registers over a stale per-user entry (as an older install would leave) and checks that the
// class now resolves to this DLL with the apartment model.
bool CheckRegistration(const Exports& dll, const std::wstring& dllPath) {
  const std::wstring server = ClassKey(L"") + L"\\InprocServer32";
  WriteString(HKEY_CURRENT_USER, L"Software\\Classes\\" + server, L"C:\\stale\\korva.dll");

  const HRESULT hr = dll.registerServer();
  if (!Check(hr == S_OK, Format("DllRegisterServer -> 0x%08lX", hr))) return false;
  const bool machine = KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\" + server);
  const bool user = KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\" + server);
  Check(machine != user, Format("registered in exactly one place: %s", machine ? "HKLM" : user ? "HKCU" : "none"));

  const std::wstring registered = ReadString(HKEY_CLASSES_ROOT, server, nullptr);
  Check(CompareStringOrdinal(registered.c_str(), -1, dllPath.c_str(), -1, TRUE) == CSTR_EQUAL,
        Format("InprocServer32 = %s", Narrow(registered).c_str()));
  const std::wstring model = ReadString(HKEY_CLASSES_ROOT, server, L"ThreadingModel");
  return Check(model == L"Apartment", Format("ThreadingModel = %s", Narrow(model).c_str()));
}

void CheckUnregistration(const Exports& dll) {
  const HRESULT hr = dll.unregisterServer();
  Check(hr == S_OK, Format("DllUnregisterServer -> 0x%08lX", hr));
  Check(!KeyExists(HKEY_LOCAL_MACHINE, ClassKey(L"Software\\Classes\\")), "class key gone from HKLM");
  Check(!KeyExists(HKEY_CURRENT_USER, ClassKey(L"Software\\Classes\\")), "class key gone from HKCU");
  Check(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID"), "HKLM\\Software\\Classes\\CLSID itself still there");
  void* out = nullptr;
  const HRESULT create = CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, kInterface, &out);
  Check(create == REGDB_E_CLASSNOTREG, Format("CoCreateInstance after unregistration -> 0x%08lX", create));
  if (out) static_cast<IUnknown*>(out)->Release();
}

bool OnWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

bool SetDacl(HKEY key, const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr)) return false;
  const LONG error = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd);
  LocalFree(sd);
  return error == ERROR_SUCCESS;
}

// A standard user may not write below HKLM\Software\Classes. Our own class key there, made
// read-only for everyone, stands in for that: registration must then go to HKCU and resolve,
// and unregistration must remove it and still report the machine-wide key it could not delete.
void CheckUserFallback(const Exports& dll, const std::wstring& dllPath) {
  const std::wstring machineKey = ClassKey(L"Software\\Classes\\");
  const std::wstring server = ClassKey(L"") + L"\\InprocServer32";
  HKEY lock = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, machineKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &lock,
                      nullptr) != ERROR_SUCCESS) {
    return Skip("per-user fallback: HKLM is not writable here, so the registration above already was per user");
  }
  if (Check(SetDacl(lock, L"D:P(A;;KR;;;WD)"), "HKLM class key made read-only (a standard user's view)")) {
    HRESULT hr = dll.registerServer();
    Check(hr == S_OK, Format("DllRegisterServer with HKLM denied -> 0x%08lX", hr));
    Check(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\" + server), "  ...registered in HKCU");
    Check(!KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\" + server), "  ...nothing written to HKLM");
    Check(KeyExists(HKEY_LOCAL_MACHINE, machineKey), "  ...and the HKLM key it did not create left alone");
    if (OnWine()) {
      Skip("  ...resolving it through HKEY_CLASSES_ROOT: Wine does not merge HKCU\\Software\\Classes into it");
    } else {
      const std::wstring registered = ReadString(HKEY_CLASSES_ROOT, server, nullptr);
      Check(CompareStringOrdinal(registered.c_str(), -1, dllPath.c_str(), -1, TRUE) == CSTR_EQUAL,
            Format("  ...and resolves: InprocServer32 = %s", Narrow(registered).c_str()));
    }
    // Wine lets the read-only key be deleted, Windows does not; either way the answer must
    // match what is left behind.
    hr = dll.unregisterServer();
    const bool machineLeft = KeyExists(HKEY_LOCAL_MACHINE, machineKey);
    Check(machineLeft ? hr == HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED) : hr == S_OK,
          Format("DllUnregisterServer -> 0x%08lX, HKLM class key %s", hr, machineLeft ? "left (denied)" : "deleted"));
    Check(!KeyExists(HKEY_CURRENT_USER, ClassKey(L"Software\\Classes\\")), "  ...and the HKCU one removed");
  }
  SetDacl(lock, L"D:(A;;KA;;;WD)");
  RegCloseKey(lock);
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, machineKey.c_str());
  Check(!KeyExists(HKEY_LOCAL_MACHINE, machineKey), "read-only HKLM class key cleaned up");
}

// --- the object: identity and reference counts ---

void CheckIdentity(abi::Object* object) {
  for (const auto& [iid, name] : {std::pair{IID_IUnknown, "IUnknown"}, std::pair{IID_IDispatch, "IDispatch"},
                                  std::pair{kInterface, "the interface"}}) {
    void* out = nullptr;
    const Call call = CallSlot(object, SLOT(QueryInterface), {Arg(&iid), Arg(&out)});
    Check(call.status() == S_OK && out == object && call.shift == 0,
          Format("QueryInterface(%s) -> 0x%08lX, same pointer: %s", name, call.status(), out == object ? "yes" : "no"));
    if (out) CallSlot(object, SLOT(Release));
  }
  void* out = &out;
  Call call = CallSlot(object, SLOT(QueryInterface), {Arg(&kUnknownId), Arg(&out)});
  Check(call.status() == E_NOINTERFACE && !out, Format("QueryInterface(unknown iid) -> 0x%08lX, out cleared", call.status()));
  call = CallSlot(object, SLOT(QueryInterface), {Arg(&IID_IUnknown), Arg(nullptr)});
  Check(call.status() == E_POINTER && call.shift == 0, Format("QueryInterface(null out) -> 0x%08lX", call.status()));

  const Call up = CallSlot(object, SLOT(AddRef));
  const Call down = CallSlot(object, SLOT(Release));
  Check(up.value == 2 && down.value == 1 && up.shift == 0 && down.shift == 0,
        Format("AddRef -> %u, Release -> %u (one reference held)", up.value, down.value));
}

// --- cursor ---

// Counts the Release calls it gets; it lives on the stack, so nothing is freed.
struct Witness final : IUnknown {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return ++releases, 1; }
  int releases = 0;
};

bool ReadCursor(abi::Object* object, abi::Variant& x, abi::Variant& y, const std::string& what) {
  std::int32_t result = 77;
  const Call call = CallSlot(object, SLOT(ReadCursor), {Arg(&x), Arg(&y), Arg(&result)});
  return Check(call.status() == S_OK && result == 0 && call.shift == 0 && x.vt == abi::VT_I4 && y.vt == abi::VT_I4,
               Format("ReadCursor%s -> 0x%08lX, result %d, types %u/%u", what.c_str(), call.status(), result, x.vt, y.vt));
}

bool MoveCursor(abi::Object* object, int x, int y) {
  std::int32_t result = 77;
  const Call call = CallSlot(object, SLOT(MoveCursor), {Arg(x), Arg(y), Arg(&result)});
  return Check(call.status() == S_OK && result == 0 && call.shift == 0,
               Format("MoveCursor(%d, %d) -> 0x%08lX, result %d", x, y, call.status(), result));
}

void CheckCursor(abi::Object* object) {
  const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  const int right = left + GetSystemMetrics(SM_CXVIRTUALSCREEN) - 1;
  const int bottom = top + GetSystemMetrics(SM_CYVIRTUALSCREEN) - 1;
  const POINT points[] = {{0, 0}, {right, bottom}, {left, top}, {(left + right) / 2, (top + bottom) / 3}, {17, 23}};
  for (const POINT& p : points) {
    if (!MoveCursor(object, p.x, p.y)) continue;
    // Under Wine another window tracking the pointer can report the previous position once
    // more, late; a move that took effect shows within a few reads.
    abi::Variant x{}, y{};
    bool read = false;
    for (int attempt = 0; attempt < 20; ++attempt) {
      x = {};
      y = {};
      read = ReadCursor(object, x, y, "");
      if (!read || (x.lVal == p.x && y.lVal == p.y)) break;
      Sleep(10);
    }
    if (!read) continue;
    Check(x.lVal == p.x && y.lVal == p.y, Format("cursor read back at (%d, %d), moved to (%d, %d)", x.lVal, y.lVal, p.x, p.y));
  }

  // A variant that owns an object: ReadCursor must release it (VariantClear), not leak or reuse it.
  Witness owned;
  VARIANT holder;
  VariantInit(&holder);
  holder.vt = VT_UNKNOWN;
  holder.punkVal = &owned;
  abi::Variant& x = *reinterpret_cast<abi::Variant*>(&holder);
  abi::Variant y{};
  y.vt = abi::VT_R8;
  y.dblVal = 2.5;
  if (ReadCursor(object, x, y, " into an object and a double")) {
    Check(x.lVal == 17 && y.lVal == 23 && owned.releases == 1,
          Format("  ...values replaced, the held object released %d time(s)", owned.releases));
  }

  std::int32_t result = 77;
  Call call = CallSlot(object, SLOT(ReadCursor), {Arg(nullptr), Arg(&y), Arg(&result)});
  Check(call.status() == E_POINTER && call.shift == 0, Format("ReadCursor(null x) -> 0x%08lX", call.status()));
  call = CallSlot(object, SLOT(ReadCursor), {Arg(&x), Arg(nullptr), Arg(&result)});
  Check(call.status() == E_POINTER && call.shift == 0, Format("ReadCursor(null y) -> 0x%08lX", call.status()));
  call = CallSlot(object, SLOT(ReadCursor), {Arg(&x), Arg(&y), Arg(nullptr)});
  Check(call.status() == S_OK && call.shift == 0, Format("ReadCursor(null result) -> 0x%08lX", call.status()));
  call = CallSlot(object, SLOT(MoveCursor), {Arg(17), Arg(23), Arg(nullptr)});
  Check(call.status() == S_OK && call.shift == 0, Format("MoveCursor(null result) -> 0x%08lX", call.status()));
}

// --- clicks and wheel, seen as raw events and as window messages ---

std::string g_rawEvents;     // from the low-level mouse hook
std::string g_windowEvents;  // from the target window
POINT g_expectedAt;
bool g_rawElsewhere = false;

std::string Token(UINT message, int wheel) {
  switch (message) {
    case WM_MOUSEMOVE: return "move ";
    case WM_LBUTTONDOWN: return "Ldown ";
    case WM_LBUTTONUP: return "Lup ";
    case WM_LBUTTONDBLCLK: return "Ldbl ";
    case WM_RBUTTONDOWN: return "Rdown ";
    case WM_RBUTTONUP: return "Rup ";
    case WM_RBUTTONDBLCLK: return "Rdbl ";
    case WM_MBUTTONDOWN: return "Mdown ";
    case WM_MBUTTONUP: return "Mup ";
    case WM_MBUTTONDBLCLK: return "Mdbl ";
    case WM_MOUSEWHEEL: return Format("wheel%+d ", wheel);
    default: return "";
  }
}

LRESULT CALLBACK RawHook(int code, WPARAM message, LPARAM data) {
  if (code == HC_ACTION) {
    const auto* event = reinterpret_cast<const MSLLHOOKSTRUCT*>(data);
    g_rawEvents += Token(static_cast<UINT>(message), static_cast<short>(HIWORD(event->mouseData)));
    if (event->pt.x != g_expectedAt.x || event->pt.y != g_expectedAt.y) g_rawElsewhere = true;
  }
  return CallNextHookEx(nullptr, code, message, data);
}

LRESULT CALLBACK TargetProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != WM_MOUSEMOVE) g_windowEvents += Token(message, GET_WHEEL_DELTA_WPARAM(wparam));
  if (message == WM_MOUSEWHEEL || (message >= WM_LBUTTONDOWN && message <= WM_MBUTTONDBLCLK)) return 0;
  return DefWindowProcW(window, message, wparam, lparam);
}

void Pump(DWORD milliseconds) {
  const DWORD end = GetTickCount() + milliseconds;
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    const LONG left = static_cast<LONG>(end - GetTickCount());
    if (left <= 0) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
  }
}

HWND CreateTarget() {
  WNDCLASSW cls{};
  cls.style = CS_DBLCLKS;
  cls.lpfnWndProc = TargetProc;
  cls.hInstance = GetModuleHandleW(nullptr);
  cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  cls.lpszClassName = L"KorvaCheckTarget";
  RegisterClassW(&cls);
  const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  HWND window = CreateWindowExW(WS_EX_TOPMOST, cls.lpszClassName, L"korva_check target", WS_POPUP | WS_VISIBLE,
                                width / 4, height / 4, width / 2, height / 2, nullptr, nullptr, cls.hInstance, nullptr);
  SetForegroundWindow(window);
  SetFocus(window);
  Pump(300);
  return window;
}

void CheckInput(abi::Object* object) {
  HWND target = CreateTarget();
  HHOOK hook = SetWindowsHookExW(WH_MOUSE_LL, RawHook, GetModuleHandleW(nullptr), 0);
  Check(target && hook, "target window and mouse hook ready");
  RECT area{};
  GetWindowRect(target, &area);
  g_expectedAt = {(area.left + area.right) / 2, (area.top + area.bottom) / 2};
  MoveCursor(object, g_expectedAt.x, g_expectedAt.y);
  Pump(200);

  struct Case {
    const char* name;
    std::size_t slot;
    const char* raw;
    const char* window;
  };
  const Case cases[] = {
      {"ClickLeft", SLOT(ClickLeft), "Ldown Lup ", "Ldown Lup "},
      {"ClickRight", SLOT(ClickRight), "Rdown Rup ", "Rdown Rup "},
      {"ClickMiddle", SLOT(ClickMiddle), "Mdown Mup ", "Mdown Mup "},
      {"DoubleClickLeft", SLOT(DoubleClickLeft), "Ldown Lup Ldown Lup ", "Ldown Lup Ldbl Lup "},
      {"WheelUp", SLOT(WheelUp), "wheel+120 ", "wheel+120 "},
      {"WheelDown", SLOT(WheelDown), "wheel-120 ", "wheel-120 "},
  };
  for (const Case& c : cases) {
    Pump(GetDoubleClickTime() + 50);  // so no earlier click pairs up with this one
    g_rawEvents.clear();
    g_windowEvents.clear();
    g_rawElsewhere = false;
    std::int32_t result = 77;
    const Call call = CallSlot(object, c.slot, {Arg(&result)});
    Check(call.status() == S_OK && result == 0 && call.shift == 0,
          Format("%s -> 0x%08lX, result %d, stack shift %d", c.name, call.status(), result, call.shift));
    Pump(300);
    Check(g_rawEvents == c.raw && !g_rawElsewhere,
          Format("%s raw events: %s%s", c.name, g_rawEvents.c_str(), g_rawElsewhere ? "(not at the cursor)" : ""));
    Check(g_windowEvents == c.window, Format("%s window messages: %s", c.name, g_windowEvents.c_str()));
  }
  const Call call = CallSlot(object, SLOT(ClickLeft), {Arg(nullptr)});
  Check(call.status() == S_OK && call.shift == 0, Format("ClickLeft(null result) -> 0x%08lX", call.status()));
  Pump(300);

  if (hook) UnhookWindowsHookEx(hook);
  if (target) DestroyWindow(target);
}

// --- the slots nobody fills, and IDispatch ---

void CheckUnimplemented(abi::Object* object) {
  UINT count = 99;
  Call call = CallSlot(object, 3, {Arg(&count)});
  Check(call.status() == S_OK && count == 0 && call.shift == 0,
        Format("GetTypeInfoCount -> 0x%08lX, %u types, stack shift %d", call.status(), count, call.shift));
  void* info = &info;
  call = CallSlot(object, 4, {0, 0, Arg(&info)});
  Check(call.status() == E_NOTIMPL && call.shift == 0, Format("GetTypeInfo -> 0x%08lX, stack shift %d", call.status(), call.shift));
  const wchar_t* names[] = {L"ClickLeft"};
  DISPID id = 0;
  call = CallSlot(object, 5, {Arg(&IID_NULL), Arg(names), 1, 0, Arg(&id)});
  Check(call.status() == E_NOTIMPL && call.shift == 0, Format("GetIDsOfNames -> 0x%08lX, stack shift %d", call.status(), call.shift));
  DISPPARAMS params{};
  VARIANT value;
  VariantInit(&value);
  EXCEPINFO exception{};
  UINT badArgument = 0;
  call = CallSlot(object, 6, {1, Arg(&IID_NULL), 0, DISPATCH_METHOD, Arg(&params), Arg(&value), Arg(&exception),
                              Arg(&badArgument)});
  Check(call.status() == E_NOTIMPL && call.shift == 0, Format("Invoke -> 0x%08lX, stack shift %d", call.status(), call.shift));

  const std::size_t named[] = {SLOT(ClickLeft), SLOT(ClickRight), SLOT(ClickMiddle), SLOT(DoubleClickLeft),
                               SLOT(MoveCursor), SLOT(WheelUp), SLOT(WheelDown), SLOT(ReadCursor)};
  std::string wrong;
  int checked = 0;
  for (std::size_t slot = 7; slot < abi::kTableSize; ++slot) {
    if (std::find(std::begin(named), std::end(named), slot) != std::end(named)) continue;
    call = CallSlot(object, slot);
    ++checked;
    if (call.status() != E_NOTIMPL || call.shift != 0) wrong += Format(" %u(0x%08lX, shift %d)", unsigned(slot), call.status(), call.shift);
  }
  Check(wrong.empty() && checked == 152, Format("%d unnamed slots answer E_NOTIMPL%s", checked, wrong.c_str()));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: korva_check <path of korva.dll>\n");
    return 2;
  }
  SetUnhandledExceptionFilter(OnCrash);
  if (!kMeasuresStack) Skip("stack balance after each call: on x86-64 the caller removes the arguments");
  HMODULE dll = LoadLibraryW(argv[1]);
  if (!Check(dll, Format("LoadLibraryW(%s)", Narrow(argv[1]).c_str()))) return Finish();
  std::wstring dllPath(MAX_PATH * 4, L'\0');
  dllPath.resize(GetModuleFileNameW(dll, dllPath.data(), static_cast<DWORD>(dllPath.size())));

  Exports exports;
  if (!CheckExports(dll, exports)) return Finish();
  CheckFactory(exports);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  if (CheckRegistration(exports, dllPath)) {
    abi::Object* object = nullptr;
    const HRESULT hr = CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, kInterface, reinterpret_cast<void**>(&object));
    if (Check(hr == S_OK && object, Format("CoCreateInstance(class, interface) -> 0x%08lX", hr))) {
      HMODULE home = nullptr;
      GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(object->table), &home);
      Check(home == dll, "the object's table lives in the DLL under test");
      CheckIdentity(object);
      CheckCursor(object);
      CheckInput(object);
      CheckUnimplemented(object);
      const Call release = CallSlot(object, SLOT(Release));
      Check(release.value == 0, Format("final Release -> %u", release.value));
      Check(exports.canUnloadNow() == S_OK, "DllCanUnloadNow is S_OK after the COM object is released");
    }
  }
  CheckUnregistration(exports);
  CheckUserFallback(exports, dllPath);

  CoUninitialize();
  FreeLibrary(dll);
  return Finish();
}
