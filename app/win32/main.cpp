// Tapwing's entry point on Windows: COM for the window's thread, the window, Form1, and the
// message loop, which is the program's only loop.
#include <windows.h>

#include <exception>
#include <string>

#include "platform/win32/win32_form_window.h"
#include "platform/win32/win32_keyboard.h"
#include "platform/win32/win32_process.h"
#include "platform/win32/win32_services.h"
#include "window/form1.h"

namespace {

// The window must go before the form whose handlers its controls call.
struct DestroyFirst {
  platform::win32::FormWindow& window;
  ~DestroyFirst() { window.Destroy(); }
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  platform::win32::InstallPlatform();
  platform::win32::ComApartment com;  // outlives the form, which releases the component object
  platform::win32::FormWindow window(instance);
  platform::win32::Win32Services system(window);
  platform::win32::Win32Keyboard keyboard;
  try {
    Form1 form(window, system, keyboard);
    DestroyFirst destroyFirst{window};
    form.Form_Load();
    if (system.Ended()) return 0;
    window.Show();
    return window.RunMessageLoop();
  } catch (const std::exception& failure) {
    const std::wstring text = L"Tapwing 无法启动:\n" + platform::win32::Wide(failure.what());
    MessageBoxW(nullptr, text.c_str(), L"Tapwing", MB_OK | MB_ICONERROR);
    return 1;
  }
}
