// Self-registration. The class goes machine-wide (HKLM\Software\Classes) when the caller may
// write there and per user (HKCU\Software\Classes) when that is denied, so a standard user's
// regsvr32 works without elevation. Each build registers in its own registry view, where its
// clients look, so the 32-bit and the 64-bit program can be installed side by side.
#include <windows.h>
#include <objbase.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>

#include "components/korva/korva_abi.h"
#include "korva.h"

namespace korva {

namespace {

constexpr wchar_t kFriendlyName[] = L"Tapwing input automation";

struct KeyCloser {
  using pointer = HKEY;
  void operator()(HKEY key) const { RegCloseKey(key); }
};
using Key = std::unique_ptr<HKEY, KeyCloser>;

constexpr std::size_t kGuidLength = 38;  // "{F0BBCDBA-4496-4837-BC5F-77A05375485C}"

// "CLSID\{F0BBCDBA-...}", or empty should the class id not come out whole.
std::wstring ClassIdPath() {
  GUID clsid;
  static_assert(sizeof clsid == sizeof korva::abi::kClassId);
  std::memcpy(&clsid, &korva::abi::kClassId, sizeof clsid);
  wchar_t text[40] = {};
  if (StringFromGUID2(clsid, text, 40) != kGuidLength + 1) return {};
  return std::wstring(L"CLSID\\") + text;
}

// A 32-bit process on 64-bit Windows (or in a 64-bit Wine prefix).
bool RunsUnderWow64() {
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

// Our class key below HKLM or HKCU, with the view flag it is opened with.
struct ClassKey {
  HKEY root;
  std::wstring path;
  REGSAM view;
};

// Windows and Wine keep HKLM\Software\Classes\CLSID apart per view by themselves.
ClassKey MachineClassKey() { return {HKEY_LOCAL_MACHINE, L"Software\\Classes\\" + ClassIdPath(), 0}; }

// 64-bit Windows keeps a 32-bit process's HKCU\Software\Classes\CLSID under Wow6432Node, but
// Wine shares that key between the views, where the two builds' per-user registrations would
// overwrite each other. So a 32-bit DLL under WoW64 names its view's key itself, unredirected:
// the same key on Windows, its own one under Wine.
ClassKey UserClassKey() {
  if (RunsUnderWow64())
    return {HKEY_CURRENT_USER, L"Software\\Classes\\Wow6432Node\\" + ClassIdPath(), KEY_WOW64_64KEY};
  return {HKEY_CURRENT_USER, L"Software\\Classes\\" + ClassIdPath(), 0};
}

// The full path of this DLL, wherever it was loaded from (not the host program's path).
std::wstring ModulePath() {
  HMODULE self = nullptr;
  // Without our own handle GetModuleFileNameW(nullptr) would name the host program.
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&ModulePath), &self) ||
      self == nullptr) {
    return {};
  }
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) return path.substr(0, length);
    path.resize(path.size() * 2);  // truncated: long path
  }
}

LONG SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

LONG CreateKey(HKEY parent, const std::wstring& path, REGSAM view, Key& key, DWORD* disposition = nullptr) {
  HKEY raw = nullptr;
  const LONG error = RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr, &raw, disposition);
  key.reset(raw);
  return error;
}

// RegDeleteTreeW takes no view flag: the class's parent is opened in the view, the class
// deleted below it.
LONG RemoveClass(const ClassKey& where) {
  const std::size_t slash = where.path.rfind(L'\\');
  // Never a tree whose name is not our class id: an empty one would be every class there is.
  if (slash == std::wstring::npos || where.path.size() - slash - 1 != kGuidLength) return ERROR_INVALID_PARAMETER;
  HKEY raw = nullptr;
  LONG error = RegOpenKeyExW(where.root, where.path.substr(0, slash).c_str(), 0, KEY_READ | where.view, &raw);
  const Key parent(raw);
  if (error == ERROR_SUCCESS) error = RegDeleteTreeW(parent.get(), where.path.c_str() + slash + 1);
  return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
}

LONG WriteClass(const ClassKey& where, const std::wstring& dll) {
  Key cls, server;
  DWORD disposition = 0;
  LONG error = CreateKey(where.root, where.path, where.view, cls, &disposition);
  if (error == ERROR_SUCCESS) error = SetString(cls.get(), nullptr, kFriendlyName);
  if (error == ERROR_SUCCESS) error = CreateKey(cls.get(), L"InprocServer32", where.view, server);
  if (error == ERROR_SUCCESS) error = SetString(server.get(), nullptr, dll);
  if (error == ERROR_SUCCESS) error = SetString(server.get(), L"ThreadingModel", L"Apartment");
  if (error != ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY) {
    server.reset();
    cls.reset();
    RemoveClass(where);  // leave no half-written key of our own making
  }
  return error;
}

}  // namespace

HRESULT RegisterServer() {
  if (ClassIdPath().empty()) return E_UNEXPECTED;
  const std::wstring dll = ModulePath();
  if (dll.empty()) return GetLastError() ? HRESULT_FROM_WIN32(GetLastError()) : E_FAIL;
  const ClassKey machine = MachineClassKey(), user = UserClassKey();

  LONG error = WriteClass(machine, dll);
  if (error == ERROR_SUCCESS) {
    // A per-user copy left by an earlier registration would shadow this one in HKCR for the
    // current user and could point at an old path.
    RemoveClass(user);
    return S_OK;
  }
  if (error == ERROR_ACCESS_DENIED) error = WriteClass(user, dll);
  return HRESULT_FROM_WIN32(error);
}

// Removes our class key from both places. A machine-wide registration a standard user may not
// delete is reported as a failure: the class would still be registered.
HRESULT UnregisterServer() {
  if (ClassIdPath().empty()) return E_UNEXPECTED;
  const LONG machine = RemoveClass(MachineClassKey());
  const LONG user = RemoveClass(UserClassKey());
  if (machine != ERROR_SUCCESS) return HRESULT_FROM_WIN32(machine);
  return HRESULT_FROM_WIN32(user);
}

}  // namespace korva
