// Self-registration. The class goes machine-wide (HKLM\Software\Classes) when the caller may
// write there and per user (HKCU\Software\Classes) when that is denied, so a standard user's
// regsvr32 works without elevation. From a 32-bit DLL on 64-bit Windows the HKLM writes land
// in the 32-bit view, which is where 32-bit clients look.
#include <windows.h>
#include <objbase.h>

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

// "Software\Classes\CLSID\{F0BBCDBA-...}", below HKLM or HKCU.
std::wstring ClassKeyPath() {
  GUID clsid;
  static_assert(sizeof clsid == sizeof korva::abi::kClassId);
  std::memcpy(&clsid, &korva::abi::kClassId, sizeof clsid);
  wchar_t text[40] = {};
  StringFromGUID2(clsid, text, 40);
  return std::wstring(L"Software\\Classes\\CLSID\\") + text;
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

LONG CreateKey(HKEY parent, const std::wstring& path, Key& key, DWORD* disposition = nullptr) {
  HKEY raw = nullptr;
  const LONG error = RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &raw, disposition);
  key.reset(raw);
  return error;
}

LONG RemoveClass(HKEY root, const std::wstring& classKey) {
  const LONG error = RegDeleteTreeW(root, classKey.c_str());
  return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
}

LONG WriteClass(HKEY root, const std::wstring& classKey, const std::wstring& dll) {
  Key cls, server;
  DWORD disposition = 0;
  LONG error = CreateKey(root, classKey, cls, &disposition);
  if (error == ERROR_SUCCESS) error = SetString(cls.get(), nullptr, kFriendlyName);
  if (error == ERROR_SUCCESS) error = CreateKey(cls.get(), L"InprocServer32", server);
  if (error == ERROR_SUCCESS) error = SetString(server.get(), nullptr, dll);
  if (error == ERROR_SUCCESS) error = SetString(server.get(), L"ThreadingModel", L"Apartment");
  if (error != ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY) {
    server.reset();
    cls.reset();
    RemoveClass(root, classKey);  // leave no half-written key of our own making
  }
  return error;
}

}  // namespace

HRESULT RegisterServer() {
  const std::wstring dll = ModulePath();
  if (dll.empty()) return GetLastError() ? HRESULT_FROM_WIN32(GetLastError()) : E_FAIL;
  const std::wstring classKey = ClassKeyPath();

  LONG error = WriteClass(HKEY_LOCAL_MACHINE, classKey, dll);
  if (error == ERROR_SUCCESS) {
    // A per-user copy left by an earlier registration would shadow this one in HKCR for the
    // current user and could point at an old path.
    RemoveClass(HKEY_CURRENT_USER, classKey);
    return S_OK;
  }
  if (error == ERROR_ACCESS_DENIED) error = WriteClass(HKEY_CURRENT_USER, classKey, dll);
  return HRESULT_FROM_WIN32(error);
}

// Removes our class key from both places. A machine-wide registration a standard user may not
// delete is reported as a failure: the class would still be registered.
HRESULT UnregisterServer() {
  const std::wstring classKey = ClassKeyPath();
  const LONG machine = RemoveClass(HKEY_LOCAL_MACHINE, classKey);
  const LONG user = RemoveClass(HKEY_CURRENT_USER, classKey);
  if (machine != ERROR_SUCCESS) return HRESULT_FROM_WIN32(machine);
  return HRESULT_FROM_WIN32(user);
}

}  // namespace korva
