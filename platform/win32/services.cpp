#include "platform/win32/services.h"

#include <objbase.h>

#include "platform/errors.h"
#include "platform/win32/system.h"

namespace platform::win32 {

Services::~Services() {
  if (instanceMutex_ != nullptr) CloseHandle(instanceMutex_);
}

void Services::MsgBox(std::string_view prompt, std::string_view title) {
  MessageBoxW(owner_, Wide(prompt).c_str(), Wide(title).c_str(), MB_OK);
}

// One copy per user session, wherever it was started from: two would fight over the hotkeys.
// Decided once, at the first question; the mutex is then held for the program's life.
bool Services::PrevInstance() {
  if (instanceMutex_ == nullptr) {
    instanceMutex_ = CreateMutexW(nullptr, FALSE, L"Local\\Tapwing.Form1");
    prevInstance_ = instanceMutex_ != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
  }
  return prevInstance_;
}

void Services::End() {
  ended_ = true;
  PostQuitMessage(0);
}

std::string Services::AppPath() {
  std::wstring folder = ProgramFolder();
  if (folder.size() == 2 && folder[1] == L':') folder += L'\\';  // a drive root keeps its separator
  return Utf8(folder);
}

void Services::StartHidden(std::string_view program, std::string_view commandLine) {
  const std::wstring system = SystemFolder();
  const std::wstring application = system + L"\\" + Wide(program);
  std::wstring line = Wide(commandLine);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process{};
  // Started in the system directory, so the command finds the system's tools before any file of
  // the same name in our current folder.
  if (CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                     system.c_str(), &startup, &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}

std::string Services::DecimalSeparator() {
  wchar_t separator[8] = {};
  if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8) <= 1) return ".";
  return Utf8(separator);
}

void* Services::CreateObject(const Guid& classId, const Guid& interfaceId) {
  void* object = nullptr;
  const HRESULT status = CoCreateInstance(reinterpret_cast<const CLSID&>(classId), nullptr, CLSCTX_INPROC_SERVER,
                                          reinterpret_cast<const IID&>(interfaceId), &object);
  if (FAILED(status) || object == nullptr) throw ComError(FAILED(status) ? status : E_POINTER);
  return object;
}

}  // namespace platform::win32
