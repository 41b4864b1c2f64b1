// KorvaSkin.dll: restyles the calling thread's windows from a Korva skin file.
//
// Implemented:
//   - windows that exist at attach time (the thread's captioned top-level windows and their
//     descendants) and those created later (a WH_CBT hook on the thread, HCBT_CREATEWND);
//   - the skin font on group boxes, buttons, statics, edits, lists (WM_SETFONT is overridden,
//     so a program or dialog manager that sets its own font later still gets the skin's);
//   - colours through WM_CTLCOLOR* on every parent of a restyled control;
//   - owner-painted group boxes, closed drop-down lists (CBS_DROPDOWNLIST) and flat 1 px edit
//     borders (single-line edits with WS_EX_CLIENTEDGE/STATICEDGE);
//   - message boxes: background, text colour, font; the text box grows if the font needs it.
// Left alone: custom window classes (the program's banner box keeps its own painting), owner-
// drawn controls, push button faces, title bars, scroll bars, the open drop-down's selection
// highlight (system colours).
//
// Everything runs on the attaching thread; a missing, unreadable, oversized or keyless skin file
// leaves every window untouched and shows nothing.
#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <optional>
#include <string>
#include <utility>

#include "skin_format.h"
#include "skin_paint.h"
#include "skin_theme.h"

namespace tapwing::skin {
namespace {

constexpr UINT_PTR kSubclassId = 0x4B534B4E;
// The role also sits in a window property: the 64-bit import library lacks GetWindowSubclass.
constexpr wchar_t kRoleProperty[] = L"KorvaSkin.Role";

// Kept in the subclass reference data.
enum Role : DWORD_PTR {
  kNone = 0,
  kTop,         // captioned top-level window or dialog: background and child colours
  kMessageBox,  // a MessageBox dialog, found at WM_INITDIALOG
  kContainer,   // an unknown parent of restyled controls: child colours only
  kGroupBox,
  kEdit,
  kDropDownList,
  kPlain,  // font only (statics, buttons, list boxes, other combo styles)
};
constexpr DWORD_PTR kRoleMask = 0xFF;
constexpr DWORD_PTR kPending = 0x100;  // hooked before creation: style once WM_CREATE succeeds

Theme* g_theme = nullptr;  // made by the first good attach, never freed (the DLL is pinned)
SRWLOCK g_lock = SRWLOCK_INIT;
DWORD g_threads[16] = {};  // threads already attached

LRESULT CALLBACK SkinProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

std::wstring ClassOf(HWND hwnd) {
  wchar_t buf[80] = {};
  const int n = GetClassNameW(hwnd, buf, 80);
  std::wstring cls(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
  // Classes of a side-by-side comctl32 can come versioned, as in "6.0.x.y!Button".
  const auto bang = cls.rfind(L'!');
  if (bang != std::wstring::npos) cls.erase(0, bang + 1);
  return cls;
}

bool Is(const std::wstring& cls, const wchar_t* name) { return lstrcmpiW(cls.c_str(), name) == 0; }

Role RoleOf(HWND hwnd) {
  if (!hwnd) return kNone;
  const auto ref = reinterpret_cast<DWORD_PTR>(GetPropW(hwnd, kRoleProperty));
  return static_cast<Role>(ref & kRoleMask);
}

bool IsSkinnedTop(HWND hwnd) {
  const Role role = RoleOf(hwnd);
  return role == kTop || role == kMessageBox;
}

bool TakesFont(Role role) {
  return role == kGroupBox || role == kEdit || role == kDropDownList || role == kPlain;
}

Role ChildRole(const std::wstring& cls, LONG style) {
  if (Is(cls, L"Button")) {
    const LONG type = style & BS_TYPEMASK;
    if (type == BS_GROUPBOX) return kGroupBox;
    return type == BS_OWNERDRAW ? kNone : kPlain;
  }
  if (Is(cls, L"Edit")) return kEdit;
  if (Is(cls, L"ComboBox")) {
    if (style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) return kPlain;
    return (style & 3) == CBS_DROPDOWNLIST ? kDropDownList : kPlain;
  }
  if (Is(cls, L"Static") || Is(cls, L"ListBox")) return kPlain;
  return kNone;  // custom classes, the program's banner box among them, keep their own look
}

Role TopRole(const std::wstring& cls, LONG style) {
  if (Is(cls, L"#32770")) return kTop;
  // Overlapped windows always get a caption; popups only count with one. That leaves out
  // tooltips, menus, IME windows and the open part of drop-down lists.
  if (!(style & WS_POPUP) || (style & WS_CAPTION) == WS_CAPTION) {
    if (Is(cls, L"tooltips_class32") || Is(cls, L"ComboLBox") || Is(cls, L"#32768")) return kNone;
    return kTop;
  }
  return kNone;
}

void Subclass(HWND hwnd, Role role, bool pending) {
  const DWORD_PTR ref = role | (pending ? kPending : 0);
  if (SetWindowSubclass(hwnd, SkinProc, kSubclassId, ref)) SetPropW(hwnd, kRoleProperty, reinterpret_cast<HANDLE>(ref));
}

// The parent receives the control's WM_CTLCOLOR* messages, whatever kind of window it is.
void EnsureContainer(HWND parent) {
  if (!parent || RoleOf(parent) != kNone) return;
  if (GetWindowThreadProcessId(parent, nullptr) != GetCurrentThreadId()) return;
  Subclass(parent, kContainer, false);
}

void ApplyStyle(HWND hwnd, Role role, bool fresh) {
  if (TakesFont(role)) {
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(g_theme->FontFor(hwnd)), fresh ? FALSE : TRUE);
  }
  if (fresh) return;
  if (role == kEdit && HasFlatFrame(hwnd)) {
    SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE |
                     SWP_NOOWNERZORDER);
  }
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
}

HBRUSH ChildColours(HWND self, UINT msg, HDC dc, HWND child) {
  const Theme& t = *g_theme;
  const Palette* p = nullptr;
  bool enabled = true;
  if (msg == WM_CTLCOLORDLG || child == self) {
    p = &t.window;
  } else {
    const std::wstring cls = ClassOf(child);
    if (Is(cls, L"Edit")) {
      p = &t.field;
    } else if (Is(cls, L"ComboBox") || Is(cls, L"ComboLBox") || Is(cls, L"ListBox")) {
      p = &t.list;
    } else if (Is(cls, L"Static") || Is(cls, L"Button")) {
      p = &t.window;
    } else {
      return nullptr;
    }
    enabled = IsWindowEnabled(child);
  }
  SetTextColor(dc, enabled ? p->text : Theme::Muted(*p));
  SetBkColor(dc, p->back);
  return p->brush;
}

void Paint(HWND hwnd, Role role, HDC given) {
  PAINTSTRUCT ps;
  HDC dc = given ? given : BeginPaint(hwnd, &ps);
  if (!dc) return;
  switch (role) {
    case kGroupBox: PaintGroupBox(*g_theme, hwnd, dc); break;
    case kDropDownList: PaintDropDownList(*g_theme, hwnd, dc); break;
    default: {
      RECT rc;
      GetClientRect(hwnd, &rc);
      FillRect(dc, &rc, g_theme->window.brush);
    }
  }
  if (!given) EndPaint(hwnd, &ps);
}

// Messages after which a closed drop-down list may look different. The list paints parts of
// itself outside WM_PAINT in system colours; repainting afterwards puts the skin back.
bool ChangesListFace(HWND hwnd, UINT msg) {
  switch (msg) {
    case WM_SETFOCUS: case WM_KILLFOCUS: case WM_ENABLE: case WM_SETTEXT:
    case WM_KEYDOWN: case WM_SYSKEYDOWN: case WM_CHAR:
    case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK: case WM_LBUTTONUP: case WM_MOUSEWHEEL:
    case WM_CAPTURECHANGED: case WM_COMMAND:
    case CB_SETCURSEL: case CB_SELECTSTRING: case CB_RESETCONTENT: case CB_DELETESTRING:
    case CB_SHOWDROPDOWN:
      return true;
    case WM_MOUSEMOVE:
      return GetCapture() == hwnd;  // the arrow button's pressed look follows the pointer
    default:
      return false;
  }
}

// One message as the subclass procedure got it.
struct Message {
  HWND hwnd;
  UINT msg;
  WPARAM wp;
  LPARAM lp;

  LRESULT PassOn() const { return DefSubclassProc(hwnd, msg, wp, lp); }
};

// The handlers give the message's result when the skin takes the message over, nothing when
// it goes on as usual.
using Handled = std::optional<LRESULT>;

LRESULT DetachWindow(const Message& m, UINT_PTR id) {
  RemovePropW(m.hwnd, kRoleProperty);
  RemoveWindowSubclass(m.hwnd, SkinProc, id);
  return m.PassOn();
}

LRESULT StyleCreatedWindow(const Message& m, DWORD_PTR ref) {
  const Role role = static_cast<Role>(ref & kRoleMask);
  const LRESULT result = m.PassOn();
  if ((ref & kPending) && result != -1) {
    Subclass(m.hwnd, role, false);
    ApplyStyle(m.hwnd, role, true);
  }
  return result;
}

Handled ColourChild(const Message& m) {
  if (m.msg == WM_CTLCOLORSCROLLBAR || m.msg == WM_CTLCOLORMSGBOX) return std::nullopt;
  HBRUSH brush = ChildColours(m.hwnd, m.msg, reinterpret_cast<HDC>(m.wp), reinterpret_cast<HWND>(m.lp));
  if (!brush) return std::nullopt;
  return reinterpret_cast<LRESULT>(brush);
}

Handled SetSkinFont(const Message& m, Role role) {
  if (!TakesFont(role)) return std::nullopt;
  return DefSubclassProc(m.hwnd, m.msg, reinterpret_cast<WPARAM>(g_theme->FontFor(m.hwnd)), m.lp);
}

Handled EraseBackground(const Message& m, Role role) {
  if (role == kTop || role == kMessageBox) {
    RECT rc;
    GetClientRect(m.hwnd, &rc);
    FillRect(reinterpret_cast<HDC>(m.wp), &rc, g_theme->window.brush);
    return 1;
  }
  if (role == kGroupBox || role == kDropDownList) return 1;  // WM_PAINT covers it all
  return std::nullopt;
}

Handled PaintSkinnedFace(const Message& m, Role role) {
  if (role != kGroupBox && role != kDropDownList && role != kMessageBox) return std::nullopt;
  Paint(m.hwnd, role, reinterpret_cast<HDC>(m.wp));
  return 0;
}

Handled ThinEditFrame(const Message& m, Role role) {
  if (role != kEdit || !HasFlatFrame(m.hwnd)) return std::nullopt;
  RECT* rc = m.wp ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(m.lp)->rgrc[0] : reinterpret_cast<RECT*>(m.lp);
  const RECT outer = *rc;
  const LRESULT result = m.PassOn();
  *rc = outer;
  InflateRect(rc, -1, -1);  // a 2 px 3-D edge becomes a 1 px line: more room for CJK text
  return result;
}

Handled PaintFlatEditFrame(const Message& m, Role role) {
  if (role != kEdit || !HasFlatFrame(m.hwnd)) return std::nullopt;
  PaintEditFrame(*g_theme, m.hwnd);
  return 0;
}

Handled SkinMessageBox(const Message& m, Role role) {
  if (role != kTop) return std::nullopt;
  const LRESULT result = m.PassOn();
  if (HWND text = MessageBoxText(m.hwnd)) {
    Subclass(m.hwnd, kMessageBox, false);
    FitMessageBox(*g_theme, m.hwnd, text);
  }
  return result;
}

Handled HandleSkinMessage(const Message& m, UINT_PTR id, DWORD_PTR ref) {
  const Role role = static_cast<Role>(ref & kRoleMask);
  switch (m.msg) {
    case WM_NCDESTROY: return DetachWindow(m, id);
    case WM_CREATE: return StyleCreatedWindow(m, ref);
    case WM_CTLCOLORMSGBOX: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG: case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORSTATIC:
      return ColourChild(m);
    case WM_SETFONT: return SetSkinFont(m, role);
    case WM_ERASEBKGND: return EraseBackground(m, role);
    case WM_PAINT: case WM_PRINTCLIENT: return PaintSkinnedFace(m, role);
    case WM_NCCALCSIZE: return ThinEditFrame(m, role);
    case WM_NCPAINT: return PaintFlatEditFrame(m, role);
    case WM_INITDIALOG: return SkinMessageBox(m, role);
    default: return std::nullopt;
  }
}

// Some controls draw parts of themselves in system colours while handling a message: the skin's
// look goes back over them once the control is done.
LRESULT PassOnAndRestyle(const Message& m, Role role) {
  const UINT msg = m.msg;
  if (role == kEdit && (msg == WM_SETFOCUS || msg == WM_KILLFOCUS || msg == WM_ENABLE)) {
    const LRESULT result = m.PassOn();
    if (IsWindow(m.hwnd) && IsWindowVisible(m.hwnd) && HasFlatFrame(m.hwnd)) PaintEditFrame(*g_theme, m.hwnd);
    return result;
  }
  if (role == kGroupBox && (msg == WM_ENABLE || msg == WM_SETTEXT || msg == WM_UPDATEUISTATE)) {
    // The button control may draw its own frame right away on these; draw ours over it.
    const LRESULT result = m.PassOn();
    if (IsWindow(m.hwnd)) InvalidateRect(m.hwnd, nullptr, TRUE);
    return result;
  }
  if (role == kDropDownList && ChangesListFace(m.hwnd, msg)) {
    const LRESULT result = m.PassOn();
    if (IsWindow(m.hwnd)) InvalidateRect(m.hwnd, nullptr, FALSE);
    return result;
  }
  return m.PassOn();
}

LRESULT CALLBACK SkinProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR ref) {
  const Message m{hwnd, msg, wp, lp};
  if (const Handled result = HandleSkinMessage(m, id, ref)) return *result;
  return PassOnAndRestyle(m, static_cast<Role>(ref & kRoleMask));
}

void OnCreating(HWND hwnd, const CREATESTRUCTW& cs) {
  const std::wstring cls = ClassOf(hwnd);
  if (cs.style & WS_CHILD) {
    HWND parent = cs.hwndParent;
    if (!parent || !IsSkinnedTop(GetAncestor(parent, GA_ROOT))) return;
    const Role role = ChildRole(cls, static_cast<LONG>(cs.style));
    if (role == kNone) return;
    EnsureContainer(parent);
    Subclass(hwnd, role, true);
    return;
  }
  if (cs.hwndParent == HWND_MESSAGE) return;
  const Role role = TopRole(cls, static_cast<LONG>(cs.style));
  if (role != kNone) Subclass(hwnd, role, true);
}

LRESULT CALLBACK CbtProc(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_CREATEWND && g_theme) {
    const auto* cbt = reinterpret_cast<const CBT_CREATEWNDW*>(lp);
    if (cbt && cbt->lpcs) OnCreating(reinterpret_cast<HWND>(wp), *cbt->lpcs);
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

BOOL CALLBACK StyleChild(HWND child, LPARAM) {
  if (GetWindowThreadProcessId(child, nullptr) != GetCurrentThreadId()) return TRUE;
  const Role role = ChildRole(ClassOf(child), GetWindowLongW(child, GWL_STYLE));
  if (role == kNone) return TRUE;
  EnsureContainer(GetAncestor(child, GA_PARENT));
  Subclass(child, role, false);
  ApplyStyle(child, role, false);
  return TRUE;
}

BOOL CALLBACK StyleTopLevel(HWND top, LPARAM) {
  const Role role = TopRole(ClassOf(top), GetWindowLongW(top, GWL_STYLE));
  if (role == kNone) return TRUE;
  Subclass(top, role, false);
  EnumChildWindows(top, StyleChild, 0);  // parents come before their children
  RedrawWindow(top, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
  return TRUE;
}

std::optional<std::string> ReadSkinFile(const wchar_t* path) {
  if (!path || !*path) return std::nullopt;
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::optional<std::string> text;
  LARGE_INTEGER size{};
  // Only ordinary files: a pipe or device behind the name could block the UI thread.
  if (GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size) && size.QuadPart >= 0 &&
      size.QuadPart <= static_cast<LONGLONG>(kMaxSkinBytes)) {
    std::string buf(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (buf.empty() || ReadFile(file, buf.data(), static_cast<DWORD>(buf.size()), &got, nullptr)) {
      buf.resize(got);
      text = std::move(buf);
    }
  }
  CloseHandle(file);
  return text;
}

std::wstring FromAnsi(const char* text) {
  if (!text || !*text) return {};
  const int size = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::wstring wide(size > 0 ? size : 1, L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), size);
  wide.resize(wide.size() - 1);
  return wide;
}

bool MarkThread(DWORD tid) {
  for (DWORD& slot : g_threads) {
    if (slot == tid) return false;
    if (slot == 0) {
      slot = tid;
      return true;
    }
  }
  return false;  // more attaching threads than any program of ours has: ignore the rest
}

int Attach(const wchar_t* path) {
  const std::optional<std::string> text = ReadSkinFile(path);
  if (!text) return 0;
  std::optional<Skin> skin = SkinFromText(*text);
  if (!skin) return 0;

  const DWORD tid = GetCurrentThreadId();
  AcquireSRWLockExclusive(&g_lock);
  const bool first_for_thread = MarkThread(tid);
  if (first_for_thread && !g_theme) {
    // Subclass procedures and the hook live in this DLL: it must never unload under them.
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&SkinProc), &self);
    g_theme = new Theme(*skin);  // a later attach keeps the first skin
  }
  ReleaseSRWLockExclusive(&g_lock);
  if (!first_for_thread) return 1;  // attached before: nothing more to do

  SetWindowsHookExW(WH_CBT, CbtProc, nullptr, tid);
  EnumThreadWindows(tid, StyleTopLevel, 0);
  return 1;
}

}  // namespace
}  // namespace tapwing::skin

// The second argument is accepted and ignored: Tapwing always passes it empty. No exception may
// leave the library: running out of memory just leaves the look as it is.
extern "C" int __stdcall KorvaSkin_AttachEx(const char* skin_file, const char* /*password*/) {
  try {
    return tapwing::skin::Attach(tapwing::skin::FromAnsi(skin_file).c_str());
  } catch (...) {
    return 0;
  }
}

// The same for a path the ANSI code page cannot hold.
extern "C" int __stdcall KorvaSkin_AttachExW(const wchar_t* skin_file, const wchar_t* /*password*/) {
  try {
    return tapwing::skin::Attach(skin_file);
  } catch (...) {
    return 0;
  }
}
