#include "platform/win32/win32_services.h"

#include <memory>
#include <string>
#include <string_view>

#include <objbase.h>

#include "platform/win32/korva_input.h"
#include "platform/win32/lazy_proc.h"
#include "platform/win32/win32_chores.h"
#include "platform/win32/win32_form_window.h"

namespace platform::win32 {

void Win32Services::MsgBox(std::string_view prompt, std::string_view title) {
  MessageBoxW(form_.Handle(), Wide(prompt).c_str(), Wide(title).c_str(), MB_OK);
}

// One copy per user session, wherever it was started from: two would fight over the hotkeys.
// Decided once, at the first question; the mutex is then held for the program's life.
bool Win32Services::PrevInstance() {
  if (!instanceMutex_) {
    instanceMutex_.reset(CreateMutexW(nullptr, FALSE, L"Local\\Tapwing.Form1"));
    prevInstance_ = instanceMutex_ && GetLastError() == ERROR_ALREADY_EXISTS;
  }
  return prevInstance_;
}

void Win32Services::End() {
  ended_ = true;
  PostQuitMessage(0);
}

std::string Win32Services::DecimalSeparator() {
  wchar_t separator[8] = {};
  if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8) <= 1) return ".";
  return Utf8(separator);
}

// The folder is fetched afresh for every file.
std::string Win32Services::ProgramFile(std::string_view name) {
  return JoinProgramFile(Utf8(ProgramFolder()), name);
}

void Win32Services::RegisterComponent(std::string_view file) { win32::RegisterComponent(file); }

void Win32Services::AttachSkin(std::string_view skinFile) {
  try {
    win32::AttachSkin(skinFile);
  } catch (const BindError&) {
    // The skin is cosmetic: without its library the window keeps the system's look.
  }
}

std::unique_ptr<InputDevice> Win32Services::OpenInput() {
  korva::abi::Object* object = nullptr;
  const HRESULT status = CoCreateInstance(reinterpret_cast<const CLSID&>(korva::abi::kClassId), nullptr,
                                          CLSCTX_INPROC_SERVER, reinterpret_cast<const IID&>(korva::abi::kInterfaceId),
                                          reinterpret_cast<void**>(&object));
  if (FAILED(status) || object == nullptr) ThrowKorvaFailure(FAILED(status) ? status : E_POINTER);
  return std::make_unique<KorvaInput>(object, DecimalSeparator());
}

}  // namespace platform::win32
