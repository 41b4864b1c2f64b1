// What the Windows backend binds without <windows.h>: the hotkey rule over GetAsyncKeyState and
// the start-up chores (program files, the component's registration, the skin library).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "bindings.h"
#include "platform/win32/ansi_text.h"
#include "platform/win32/stdcall.h"
#include "platform/win32/win32_chores.h"
#include "platform/win32/win32_keyboard.h"

using namespace platform::win32;

namespace {

std::deque<std::uint16_t> keyStates;
std::vector<int> keysAsked;

std::int16_t TW_STDCALL FakeGetAsyncKeyState(int key) {
  keysAsked.push_back(key);
  if (keyStates.empty()) return 0;
  const std::uint16_t state = keyStates.front();
  keyStates.pop_front();
  return static_cast<std::int16_t>(state);
}

std::vector<std::string> skinCalls;
int TW_STDCALL FakeAttachEx(const char* file, const char* password) {
  skinCalls.push_back(std::string("A ") + file + "|" + password);
  return 1;
}

std::vector<std::u16string> wideSkinCalls;
int TW_STDCALL FakeAttachExW(const char16_t* file, const char16_t*) {
  wideSkinCalls.push_back(file);
  return 1;
}

// A code page that holds ASCII only, as far as these paths go.
std::string AsciiOnly(std::string_view utf8) {
  std::string out;
  for (unsigned char c : utf8) {
    if (c < 0x80) out += static_cast<char>(c);
    else if ((c & 0xC0) != 0x80) out += '?';
  }
  return out;
}
std::string Same(std::string_view bytes) { return std::string(bytes); }

std::u16string shortName;  // what GetShortPathNameW answers; empty: the long path back
std::uint32_t TW_STDCALL FakeShortPath(const char16_t* longPath, char16_t* buffer, std::uint32_t size) {
  const std::u16string answer = shortName.empty() ? std::u16string(longPath) : shortName;
  if (answer.size() >= size) return static_cast<std::uint32_t>(answer.size() + 1);
  std::copy(answer.begin(), answer.end(), buffer);
  buffer[answer.size()] = u'\0';
  return static_cast<std::uint32_t>(answer.size());
}

int registrations = 0;
std::int32_t TW_STDCALL FakeRegisterServer() {
  ++registrations;
  return 0;
}

}  // namespace

TEST(Win32Keyboard, OnlyDownAndPressedSinceTheLastQueryCounts) {
  Bindings bindings;
  bindings.Add("user32", "GetAsyncKeyState", &FakeGetAsyncKeyState);
  Win32Keyboard keyboard;
  for (std::uint16_t state : {0x8000, 0x0001, 0x0000, 0xFFFF, 0x8003, 0x8801, 0xC001}) {
    keyStates = {state};
    EXPECT_FALSE(keyboard.Pressed(platform::Hotkey::F5)) << std::hex << state;
  }
  keysAsked.clear();
  keyStates = {0x8001, 0x8001, 0x8001};
  EXPECT_TRUE(keyboard.Pressed(platform::Hotkey::F7));
  EXPECT_TRUE(keyboard.Pressed(platform::Hotkey::F5));
  EXPECT_TRUE(keyboard.Pressed(platform::Hotkey::F6));
  EXPECT_EQ(keysAsked, (std::vector<int>{0x76, 0x74, 0x75}));
}

TEST(Win32Chores, ProgramFilesJoinWithOneSeparatorAlsoAtADriveRoot) {
  EXPECT_EQ(JoinProgramFile("C:\\Program Files\\A & B 连点", "korva.dll"), "C:\\Program Files\\A & B 连点\\korva.dll");
  EXPECT_EQ(JoinProgramFile("D:\\", "Tapwing.PNG"), "D:\\Tapwing.PNG");
}

// The component registers itself, in-process, from exactly the file named: nothing of the path
// is handed to a command interpreter.
TEST(Win32Chores, RegistrationCallsTheComponentsOwnEntryFromItsFullPath) {
  Bindings bindings;
  const std::string dll = "C:\\t\\50%windir%off & ^!\\korva.dll";
  bindings.Add(dll, "DllRegisterServer", &FakeRegisterServer);
  registrations = 0;
  EXPECT_EQ(RegisterComponent(dll), 0);
  EXPECT_EQ(registrations, 1);
  ASSERT_EQ(bindings.Requests().size(), 1u);
  EXPECT_EQ(bindings.Requests()[0].first, dll + "!DllRegisterServer");
  EXPECT_EQ(bindings.Requests()[0].second, Search::Exact);
  EXPECT_LT(RegisterComponent("C:\\gone\\korva.dll"), 0);  // missing: a failure status, no throw
}

TEST(Win32Chores, TheSkinGetsItsFileInTheAnsiCodePageFromTheProgramFolderFirst) {
  Bindings bindings;
  bindings.Add("KorvaSkin.dll", "KorvaSkin_AttachEx", &FakeAttachEx);
  skinCalls.clear();
  AttachSkin("C:\\测试\\Korva.Skin");
  EXPECT_EQ(skinCalls, std::vector<std::string>{"A C:\\测试\\Korva.Skin|"});
  EXPECT_EQ(bindings.Requests().back().second, Search::ProgramThenSystem);
}

// A folder name the code page cannot hold: its short form where the volume has one, else the
// wide path through our library's wide entry.
TEST(Win32Chores, ASkinPathOutsideTheCodePageGoesShortOrWide) {
  Bindings bindings;
  bindings.Add("KorvaSkin.dll", "KorvaSkin_AttachEx", &FakeAttachEx);
  bindings.Add("KorvaSkin.dll", "KorvaSkin_AttachExW", &FakeAttachExW);
  bindings.Add("kernel32", "GetShortPathNameW", &FakeShortPath);
  SetAnsiCodec({&AsciiOnly, &Same});
  skinCalls.clear();
  wideSkinCalls.clear();
  shortName = u"C:\\HANGUL~1\\KORVA~1.SKI";
  AttachSkin("C:\\한글\\Korva.Skin");
  shortName.clear();
  AttachSkin("D:\\한글\\Korva.Skin");
  SetAnsiCodec({&Same, &Same});
  EXPECT_EQ(skinCalls, std::vector<std::string>{"A C:\\HANGUL~1\\KORVA~1.SKI|"});
  EXPECT_EQ(wideSkinCalls, std::vector<std::u16string>{u"D:\\한글\\Korva.Skin"});
}

TEST(Win32Chores, WithoutTheSkinLibraryTheCallerHearsOfIt) {
  Bindings bindings;
  EXPECT_THROW(AttachSkin("C:\\Tapwing\\Korva.Skin"), BindError);
}
