// probe.exe: a window inspector for the end-to-end tests.
//
// It runs under Wine in the same prefix (so the same wineserver) as Tapwing.exe and stays
// alive: one command per line on stdin, one JSON object per line on stdout. Starting a Wine
// process costs a few hundred milliseconds, so the tests keep one probe and poll through it.
//
// Command arguments are separated by blanks; numbers may be decimal or 0x-hex; text
// arguments are JSON string literals ("...") so that any text, spaces included, fits.
// Every answer has "ok": true or "ok": false with an "error" text.
//
//   ping                      pid, ANSI/OEM code page, user LCID
//   list [all]                top-level windows (visible ones unless "all")
//   window HWND               styles, rects, client area, DPI, icons of a top-level
//   children HWND             all descendants; combo boxes with their entries
//   focus HWND                focus/active/capture of the window's thread (GetGUIThreadInfo)
//   foreground
//   msgboxes [PID] | dialog HWND   "#32770" boxes: title, prompt, buttons, icon
//   press HWND [ID]           WM_COMMAND for a dialog button (IDOK by default), posted
//   bmclick HWND              BM_CLICK, posted
//   x11 HWND                  the X window id, for xdotool
//   cursor | setcursor X Y
//   settext HWND "text" | settext-repeat HWND COUNT "unit" | gettext HWND
//   send|post HWND MSG WPARAM LPARAM
//   close HWND                WM_CLOSE, posted
//   font "face" [HEIGHT]      the face and metrics GDI picks for a name
//   msgbox-demo "title" "text" | demo-window "title"   windows of the probe itself
//   quit
//
// Under Wine 8, across processes: WM_GETTEXT/WM_SETTEXT and CB_GETLBTEXT are marshalled
// (also beyond 64 KB); GetClassLongPtr(GCLP_HICON) reads 0 and icon handles cannot be
// inspected, so the harness reads icons from the X window's _NET_WM_ICON instead.

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/text.h"
#include "screen_facts.h"

namespace {

constexpr UINT kSendTimeoutMs = 3000;

// ---- UTF-8 / UTF-16 -------------------------------------------------------------------

std::string toUtf8(const std::wstring& w) { return platform::ToUtf8(std::u16string(w.begin(), w.end())); }

std::wstring toUtf16(const std::string& s) {
  const std::u16string wide = platform::ToUtf16(s);
  return std::wstring(wide.begin(), wide.end());
}

// ---- JSON output ----------------------------------------------------------------------

std::string quote(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string quote(const std::wstring& w) { return quote(toUtf8(w)); }

// A flat builder: callers add "key": value pairs; nested values are built separately and
// added with raw().
class Obj {
 public:
  Obj& raw(const char* key, const std::string& json) {
    sep();
    body_ += quote(std::string(key)) + ":" + json;
    return *this;
  }
  Obj& str(const char* key, const std::wstring& v) { return raw(key, quote(v)); }
  Obj& str(const char* key, const std::string& v) { return raw(key, quote(v)); }
  Obj& num(const char* key, long long v) { return raw(key, std::to_string(v)); }
  Obj& flag(const char* key, bool v) { return raw(key, v ? "true" : "false"); }
  std::string done() const { return "{" + body_ + "}"; }

 private:
  void sep() {
    if (!body_.empty()) body_ += ",";
  }
  std::string body_;
};

std::string array(const std::vector<std::string>& items) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) {
    if (i) out += ",";
    out += items[i];
  }
  return out + "]";
}

std::string rectJson(const RECT& r) {
  return Obj()
      .num("left", r.left)
      .num("top", r.top)
      .num("width", r.right - r.left)
      .num("height", r.bottom - r.top)
      .done();
}

long long handleNum(const void* h) { return static_cast<long long>(reinterpret_cast<uintptr_t>(h)); }

// ---- Command line parsing -------------------------------------------------------------

struct Args {
  std::vector<std::string> items;  // numbers as written, text already decoded to UTF-8
  size_t size() const { return items.size(); }
  long long num(size_t i) const { return std::strtoll(items.at(i).c_str(), nullptr, 0); }
  HWND hwnd(size_t i) const {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(items.at(i).c_str(), nullptr, 0)));
  }
  std::wstring text(size_t i) const { return toUtf16(items.at(i)); }
};

// Splits "verb arg arg ..." where an argument starting with '"' is a JSON string literal.
bool parseLine(const std::string& line, std::string& verb, Args& args, std::string& error) {
  size_t i = 0;
  auto skipBlanks = [&] {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  };
  std::vector<std::string> tokens;
  for (skipBlanks(); i < line.size(); skipBlanks()) {
    if (line[i] != '"') {
      size_t start = i;
      while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
      tokens.push_back(line.substr(start, i - start));
      continue;
    }
    std::string out;
    ++i;
    bool closed = false;
    while (i < line.size()) {
      char c = line[i++];
      if (c == '"') {
        closed = true;
        break;
      }
      if (c != '\\') {
        out += c;
        continue;
      }
      if (i >= line.size()) break;
      char e = line[i++];
      switch (e) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'u': {
          auto hex4 = [&](uint32_t& v) {
            if (i + 4 > line.size()) return false;
            v = static_cast<uint32_t>(std::strtoul(line.substr(i, 4).c_str(), nullptr, 16));
            i += 4;
            return true;
          };
          uint32_t cp = 0;
          if (!hex4(cp)) {
            error = "bad \\u escape";
            return false;
          }
          std::u16string units(1, static_cast<char16_t>(cp));
          if (cp >= 0xD800 && cp < 0xDC00 && i + 6 <= line.size() && line[i] == '\\' &&
              line[i + 1] == 'u') {
            i += 2;
            uint32_t lo = 0;
            hex4(lo);
            units += static_cast<char16_t>(lo);
          }
          out += platform::ToUtf8(units);
          break;
        }
        default: out += e;  // \" \\ \/
      }
    }
    if (!closed) {
      error = "unterminated string";
      return false;
    }
    tokens.push_back(out);
  }
  if (tokens.empty()) {
    error = "empty command";
    return false;
  }
  verb = tokens.front();
  args.items.assign(tokens.begin() + 1, tokens.end());
  return true;
}

// ---- Window queries -------------------------------------------------------------------

std::wstring className(HWND h) {
  wchar_t buf[256] = {};
  GetClassNameW(h, buf, 256);
  return buf;
}

// WM_GETTEXT is marshalled across processes, also under Wine; a hung window times out.
bool windowText(HWND h, std::wstring& out) {
  DWORD_PTR len = 0;
  if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &len))
    return false;
  std::wstring buf(len + 1, L'\0');
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutW(h, WM_GETTEXT, len + 1, reinterpret_cast<LPARAM>(buf.data()),
                           SMTO_ABORTIFHUNG, kSendTimeoutMs, &got))
    return false;
  buf.resize(got);
  out = buf;
  return true;
}

std::wstring textOf(HWND h) {
  std::wstring t;
  windowText(h, t);
  return t;
}

DWORD processOf(HWND h, DWORD* tid = nullptr) {
  DWORD pid = 0;
  DWORD t = GetWindowThreadProcessId(h, &pid);
  if (tid) *tid = t;
  return pid;
}

std::string describeTopLevel(HWND h) {
  RECT r{};
  GetWindowRect(h, &r);
  DWORD tid = 0;
  DWORD pid = processOf(h, &tid);
  return Obj()
      .num("hwnd", handleNum(h))
      .str("class", className(h))
      .str("title", textOf(h))
      .num("pid", pid)
      .num("tid", tid)
      .flag("visible", IsWindowVisible(h))
      .num("owner", handleNum(GetWindow(h, GW_OWNER)))
      .raw("rect", rectJson(r))
      .done();
}

// CB_GETLBTEXT carries a buffer pointer; Wine marshals it for combo boxes with strings
// (checked by the harness self-test), as Windows does.
std::string comboJson(HWND h) {
  auto send = [&](UINT msg, WPARAM wp, LPARAM lp, DWORD_PTR& res) {
    return SendMessageTimeoutW(h, msg, wp, lp, SMTO_ABORTIFHUNG, kSendTimeoutMs, &res) != 0;
  };
  DWORD_PTR count = 0, sel = 0;
  send(CB_GETCOUNT, 0, 0, count);
  send(CB_GETCURSEL, 0, 0, sel);
  std::vector<std::string> items;
  bool itemsOk = true;
  for (LRESULT i = 0; i < static_cast<LRESULT>(count) && i < 10000; ++i) {
    DWORD_PTR len = 0;
    if (!send(CB_GETLBTEXTLEN, i, 0, len) || static_cast<LRESULT>(len) == CB_ERR) {
      itemsOk = false;
      break;
    }
    std::wstring buf(len + 1, L'\0');
    DWORD_PTR got = 0;
    if (!send(CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buf.data()), got) ||
        static_cast<LRESULT>(got) == CB_ERR) {
      itemsOk = false;
      break;
    }
    buf.resize(got);
    items.push_back(quote(buf));
  }
  return Obj()
      .num("count", static_cast<LRESULT>(count))
      .num("selected", static_cast<LRESULT>(sel))
      .flag("items_ok", itemsOk)
      .raw("items", array(items))
      .done();
}

std::string describeChild(HWND h) {
  HWND parent = GetParent(h);
  RECT r{};
  GetWindowRect(h, &r);
  RECT rel = r;
  MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rel), 2);
  RECT client{};
  GetClientRect(h, &client);
  std::wstring cls = className(h);
  Obj o;
  o.num("hwnd", handleNum(h))
      .num("parent", handleNum(parent))
      .str("class", cls)
      .str("text", textOf(h))
      .num("id", GetDlgCtrlID(h))
      .num("style", static_cast<DWORD>(GetWindowLongW(h, GWL_STYLE)))
      .num("exstyle", static_cast<DWORD>(GetWindowLongW(h, GWL_EXSTYLE)))
      .raw("rect", rectJson(r))
      .raw("rel", rectJson(rel))
      .num("client_width", client.right)
      .num("client_height", client.bottom)
      .flag("visible", IsWindowVisible(h))
      .flag("enabled", IsWindowEnabled(h));
  if (lstrcmpiW(cls.c_str(), L"ComboBox") == 0) o.raw("combo", comboJson(h));
  return o.done();
}

BOOL CALLBACK collect(HWND h, LPARAM lp) {
  reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
  return TRUE;
}

std::vector<HWND> children(HWND parent) {
  std::vector<HWND> out;
  EnumChildWindows(parent, collect, reinterpret_cast<LPARAM>(&out));
  return out;
}

std::vector<HWND> topLevels() {
  std::vector<HWND> out;
  EnumWindows(collect, reinterpret_cast<LPARAM>(&out));
  return out;
}

// Icons of another process: WM_GETICON answers with the handle; GetClassLongPtr may not
// reach another process's class under Wine, which then reads 0.
std::string iconsJson(HWND h) {
  auto getIcon = [&](WPARAM which) {
    DWORD_PTR res = 0;
    SendMessageTimeoutW(h, WM_GETICON, which, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &res);
    return static_cast<long long>(res);
  };
  auto size = [](long long icon) {
    ICONINFO info{};
    if (!icon || !GetIconInfo(reinterpret_cast<HICON>(static_cast<uintptr_t>(icon)), &info))
      return std::string("null");
    BITMAP bm{};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
    int height = info.hbmColor ? bm.bmHeight : bm.bmHeight / 2;
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return Obj().num("width", bm.bmWidth).num("height", height).done();
  };
  long long big = getIcon(ICON_BIG), small = getIcon(ICON_SMALL), small2 = getIcon(ICON_SMALL2);
  long long clsBig = static_cast<long long>(GetClassLongPtrW(h, GCLP_HICON));
  long long clsSmall = static_cast<long long>(GetClassLongPtrW(h, GCLP_HICONSM));
  return Obj()
      .num("big", big)
      .num("small", small)
      .num("small2", small2)
      .num("class_big", clsBig)
      .num("class_small", clsSmall)
      .raw("big_size", size(big ? big : clsBig))
      .raw("small_size", size(small ? small : clsSmall))
      .done();
}

int systemDpi() { return GetDeviceCaps(tapwing::screen::WindowDC(), LOGPIXELSX); }

// Asked as the program and the skin library ask it.
int dpiOf(HWND h) { return static_cast<int>(tapwing::screen::WindowDpi(h)); }

std::string describeWindow(HWND h) {
  RECT r{}, client{};
  GetWindowRect(h, &r);
  GetClientRect(h, &client);
  POINT origin{0, 0};
  ClientToScreen(h, &origin);
  DWORD style = static_cast<DWORD>(GetWindowLongW(h, GWL_STYLE));
  DWORD exstyle = static_cast<DWORD>(GetWindowLongW(h, GWL_EXSTYLE));
  DWORD tid = 0;
  DWORD pid = processOf(h, &tid);
  return Obj()
      .num("hwnd", handleNum(h))
      .str("class", className(h))
      .str("title", textOf(h))
      .num("pid", pid)
      .num("tid", tid)
      .num("style", style)
      .num("exstyle", exstyle)
      .flag("visible", IsWindowVisible(h))
      .flag("enabled", IsWindowEnabled(h))
      .flag("iconic", IsIconic(h))
      .flag("zoomed", IsZoomed(h))
      .flag("thickframe", style & WS_THICKFRAME)
      .flag("minimizebox", style & WS_MINIMIZEBOX)
      .flag("maximizebox", style & WS_MAXIMIZEBOX)
      .flag("sysmenu", style & WS_SYSMENU)
      .flag("caption", (style & WS_CAPTION) == WS_CAPTION)
      .raw("rect", rectJson(r))
      .num("client_width", client.right)
      .num("client_height", client.bottom)
      .num("client_left", origin.x)
      .num("client_top", origin.y)
      .num("screen_width", GetSystemMetrics(SM_CXSCREEN))
      .num("screen_height", GetSystemMetrics(SM_CYSCREEN))
      .num("dpi", dpiOf(h))
      .num("system_dpi", systemDpi())
      .num("foreground", handleNum(GetForegroundWindow()))
      .raw("icons", iconsJson(h))
      .done();
}

std::string describeHandle(HWND h) {
  if (!h) return "null";
  return Obj()
      .num("hwnd", handleNum(h))
      .str("class", className(h))
      .str("text", textOf(h))
      .num("id", GetDlgCtrlID(h))
      .done();
}

// A message box is a "#32770" dialog whose prompt is the static with id 0xFFFF; "icon" says
// whether its SS_ICON static shows an icon.
std::string describeDialog(HWND h) {
  std::vector<std::string> statics, buttons;
  std::wstring prompt;
  bool havePrompt = false, icon = false;
  for (HWND c : children(h)) {
    std::wstring cls = className(c);
    DWORD style = static_cast<DWORD>(GetWindowLongW(c, GWL_STYLE));
    int id = GetDlgCtrlID(c);
    if (lstrcmpiW(cls.c_str(), L"Static") == 0) {
      if ((style & SS_TYPEMASK) == SS_ICON) {
        // Wine keeps the icon static of a box without icon, visible but empty.
        DWORD_PTR hicon = 0;
        SendMessageTimeoutW(c, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &hicon);
        icon = icon || (IsWindowVisible(c) && hicon != 0);
        continue;
      }
      std::wstring t = textOf(c);
      statics.push_back(Obj().num("hwnd", handleNum(c)).num("id", id).str("text", t).done());
      if (!havePrompt && (id == 0xFFFF || id == -1 || !t.empty())) {
        prompt = t;
        havePrompt = id == 0xFFFF || id == -1;
      }
    } else if (lstrcmpiW(cls.c_str(), L"Button") == 0) {
      buttons.push_back(Obj()
                            .num("hwnd", handleNum(c))
                            .num("id", id)
                            .str("text", textOf(c))
                            .flag("visible", IsWindowVisible(c))
                            .done());
    }
  }
  RECT r{};
  GetWindowRect(h, &r);
  DWORD style = static_cast<DWORD>(GetWindowLongW(h, GWL_STYLE));
  return Obj()
      .num("hwnd", handleNum(h))
      .str("title", textOf(h))
      .str("prompt", prompt)
      .num("pid", processOf(h))
      .num("owner", handleNum(GetWindow(h, GW_OWNER)))
      .flag("visible", IsWindowVisible(h))
      .flag("icon", icon)
      .num("style", style)
      .raw("rect", rectJson(r))
      .raw("statics", array(statics))
      .raw("buttons", array(buttons))
      .done();
}

// ---- Demo windows (for the harness self-test) -----------------------------------------

struct MsgBoxDemo {
  std::wstring title, text;
};

DWORD WINAPI msgBoxThread(void* p) {
  auto* demo = static_cast<MsgBoxDemo*>(p);
  MessageBoxW(nullptr, demo->text.c_str(), demo->title.c_str(), MB_OK);
  delete demo;
  return 0;
}

struct DemoWindow {
  std::wstring title;
  HANDLE ready;
  HWND hwnd;
};

LRESULT CALLBACK demoProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(h, msg, wp, lp);
}

// A window with the kinds of controls and Chinese texts Tapwing shows, in the fonts it may
// use, so a screenshot shows whether the prefix renders CJK glyphs.
DWORD WINAPI demoWindowThread(void* p) {
  auto* demo = static_cast<DemoWindow*>(p);
  HINSTANCE inst = GetModuleHandleW(nullptr);
  WNDCLASSW wc{};
  wc.lpfnWndProc = demoProc;
  wc.hInstance = inst;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = L"TapwingProbeDemo";
  RegisterClassW(&wc);
  HWND w = CreateWindowExW(0, wc.lpszClassName, demo->title.c_str(),
                           WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 40, 40, 520, 330, nullptr,
                           nullptr, inst, nullptr);
  struct Row {
    const wchar_t* face;  // nullptr: the control's own default font
    int stock;            // stock font when face is nullptr and stock >= 0
  };
  const Row rows[] = {{nullptr, -1}, {nullptr, DEFAULT_GUI_FONT}, {L"宋体", 0},
                      {L"MS Shell Dlg", 0}, {L"Tahoma", 0}, {L"微软雅黑", 0}};
  int y = 8;
  for (const Row& row : rows) {
    HFONT font = nullptr;
    std::wstring label;
    if (row.face) {
      font = CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, row.face);
      label = row.face;
    } else if (row.stock >= 0) {
      font = static_cast<HFONT>(GetStockObject(row.stock));
      label = L"DEFAULT_GUI_FONT";
    } else {
      label = L"(default)";
    }
    HWND s = CreateWindowExW(0, L"STATIC", (label + L": 无动作 左键单击 延时10MS 请输入正确的数值").c_str(),
                             WS_CHILD | WS_VISIBLE, 8, y, 340, 20, w, nullptr, inst, nullptr);
    HWND e = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"X坐标", WS_CHILD | WS_VISIBLE | WS_TABSTOP,
                             356, y, 60, 20, w, nullptr, inst, nullptr);
    HWND c = CreateWindowExW(0, L"COMBOBOX", L"", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | WS_TABSTOP,
                             424, y, 80, 200, w, nullptr, inst, nullptr);
    SendMessageW(c, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"左键双击"));
    SendMessageW(c, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"延时50MS"));
    SendMessageW(c, CB_SETCURSEL, 0, 0);
    if (font) {
      for (HWND ctl : {s, e, c}) SendMessageW(ctl, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    y += 30;
  }
  CreateWindowExW(0, L"BUTTON", L"F7获取坐标,F5开始,F6结束", WS_CHILD | WS_VISIBLE | BS_GROUPBOX, 8,
                  y, 496, 60, w, nullptr, inst, nullptr);
  ShowWindow(w, SW_SHOW);
  UpdateWindow(w);
  demo->hwnd = w;
  SetEvent(demo->ready);
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageW(w, &m)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
  }
  return 0;
}

// ---- Commands -------------------------------------------------------------------------

std::string fail(const std::string& why) { return Obj().flag("ok", false).str("error", why).done(); }

std::string okWith(const char* key, const std::string& json) {
  return Obj().flag("ok", true).raw(key, json).done();
}

bool sendTimeout(HWND h, UINT msg, WPARAM wp, LPARAM lp, DWORD_PTR& res,
                 UINT timeoutMs = kSendTimeoutMs) {
  return SendMessageTimeoutW(h, msg, wp, lp, SMTO_ABORTIFHUNG, timeoutMs, &res) != 0;
}

std::string run(const std::string& verb, const Args& a) {
  auto need = [&](size_t n) {
    if (a.size() < n) throw std::string(verb + ": needs " + std::to_string(n) + " argument(s)");
  };
  auto window = [&](size_t i) {
    HWND h = a.hwnd(i);
    if (!IsWindow(h)) throw std::string("no such window: " + a.items[i]);
    return h;
  };

  if (verb == "ping") {
    return Obj()
        .flag("ok", true)
        .num("pid", GetCurrentProcessId())
        .num("acp", GetACP())
        .num("oemcp", GetOEMCP())
        .num("lcid", static_cast<long long>(GetUserDefaultLCID()))
        .done();
  }

  if (verb == "list") {
    std::vector<std::string> out;
    bool all = a.size() > 0 && a.items[0] == "all";
    for (HWND h : topLevels())
      if (all || IsWindowVisible(h)) out.push_back(describeTopLevel(h));
    return okWith("windows", array(out));
  }
  if (verb == "window") {
    need(1);
    return okWith("window", describeWindow(window(0)));
  }
  if (verb == "children") {
    need(1);
    std::vector<std::string> out;
    for (HWND c : children(window(0))) out.push_back(describeChild(c));
    return okWith("children", array(out));
  }
  if (verb == "focus") {  // the focus and active window of the window's thread
    need(1);
    DWORD tid = 0;
    processOf(window(0), &tid);
    GUITHREADINFO gti{};
    gti.cbSize = sizeof gti;
    if (!GetGUIThreadInfo(tid, &gti)) return fail("GetGUIThreadInfo failed");
    return Obj()
        .flag("ok", true)
        .raw("focus", describeHandle(gti.hwndFocus))
        .raw("active", describeHandle(gti.hwndActive))
        .raw("capture", describeHandle(gti.hwndCapture))
        .num("foreground", handleNum(GetForegroundWindow()))
        .done();
  }
  if (verb == "foreground") return okWith("window", describeHandle(GetForegroundWindow()));
  if (verb == "msgboxes") {  // visible "#32770" top-level windows, optionally of one process
    long long pid = a.size() > 0 ? a.num(0) : 0;
    std::vector<std::string> out;
    for (HWND h : topLevels()) {
      if (!IsWindowVisible(h) || className(h) != L"#32770") continue;
      if (pid && processOf(h) != static_cast<DWORD>(pid)) continue;
      out.push_back(describeDialog(h));
    }
    return okWith("boxes", array(out));
  }
  if (verb == "dialog") {
    need(1);
    return okWith("box", describeDialog(window(0)));
  }
  if (verb == "press") {  // press a dialog button (default IDOK) without blocking on the box
    need(1);
    HWND box = window(0);
    int id = a.size() > 1 ? static_cast<int>(a.num(1)) : IDOK;
    HWND button = GetDlgItem(box, id);
    if (!PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button)))
      return fail("PostMessage failed");
    return Obj().flag("ok", true).num("button", handleNum(button)).done();
  }
  if (verb == "bmclick") {
    need(1);
    PostMessageW(window(0), BM_CLICK, 0, 0);
    return Obj().flag("ok", true).done();
  }
  if (verb == "x11") {  // the X window of a top-level, for xdotool
    need(1);
    HWND h = window(0);
    auto whole = reinterpret_cast<uintptr_t>(GetPropA(h, "__wine_x11_whole_window"));
    auto client = reinterpret_cast<uintptr_t>(GetPropA(h, "__wine_x11_client_window"));
    return Obj()
        .flag("ok", whole != 0)
        .num("xid", static_cast<long long>(whole))
        .num("client_xid", static_cast<long long>(client))
        .done();
  }
  if (verb == "cursor") {
    POINT p{};
    GetCursorPos(&p);
    return Obj().flag("ok", true).num("x", p.x).num("y", p.y).done();
  }
  if (verb == "setcursor") {
    need(2);
    BOOL ok = SetCursorPos(static_cast<int>(a.num(0)), static_cast<int>(a.num(1)));
    POINT p{};
    GetCursorPos(&p);
    return Obj().flag("ok", ok).num("x", p.x).num("y", p.y).done();
  }
  if (verb == "settext" || verb == "settext-repeat") {  // like a paste: one change event
    HWND h;
    std::wstring text;
    if (verb == "settext") {
      need(2);
      h = window(0);
      text = a.text(1);
    } else {
      need(3);
      h = window(0);
      std::wstring unit = a.text(2);
      for (long long i = a.num(1); i > 0; --i) text += unit;
    }
    DWORD_PTR res = 0;
    // Wine's edit control needs seconds for very long texts.
    if (!sendTimeout(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), res, 120000))
      return fail("WM_SETTEXT timed out");
    return Obj().flag("ok", true).num("result", static_cast<long long>(res)).num("length", text.size()).done();
  }
  if (verb == "gettext") {
    need(1);
    std::wstring t;
    if (!windowText(window(0), t)) return fail("WM_GETTEXT timed out");
    return Obj().flag("ok", true).str("text", t).num("length", t.size()).done();
  }
  if (verb == "send" || verb == "post") {  // send HWND MSG WPARAM LPARAM
    need(4);
    HWND h = window(0);
    UINT msg = static_cast<UINT>(a.num(1));
    WPARAM wp = static_cast<WPARAM>(a.num(2));
    LPARAM lp = static_cast<LPARAM>(a.num(3));
    if (verb == "post") return Obj().flag("ok", PostMessageW(h, msg, wp, lp)).done();
    DWORD_PTR res = 0;
    if (!sendTimeout(h, msg, wp, lp, res)) return fail("SendMessage timed out");
    return Obj().flag("ok", true).num("result", static_cast<long long>(static_cast<LONG_PTR>(res))).done();
  }
  if (verb == "font") {  // font "face" HEIGHT: what GDI picks for a face name in this prefix
    need(1);
    int height = a.size() > 1 ? static_cast<int>(a.num(1)) : -12;
    HFONT font = CreateFontW(height, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0,
                             a.text(0).c_str());
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SIZE chinese{};
    GetTextExtentPoint32W(dc, L"坐标", 2, &chinese);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    DeleteObject(font);
    return Obj()
        .flag("ok", true)
        .str("face", std::wstring(face))
        .num("height", tm.tmHeight)
        .num("ave_width", tm.tmAveCharWidth)
        .num("charset", tm.tmCharSet)
        .num("chinese_width", chinese.cx)
        .done();
  }
  if (verb == "close") {
    need(1);
    return Obj().flag("ok", PostMessageW(window(0), WM_CLOSE, 0, 0)).done();
  }
  if (verb == "msgbox-demo") {  // msgbox-demo "title" "text": a box owned by the probe
    need(2);
    auto* demo = new MsgBoxDemo{a.text(0), a.text(1)};
    HANDLE t = CreateThread(nullptr, 0, msgBoxThread, demo, 0, nullptr);
    if (!t) return fail("CreateThread failed");
    CloseHandle(t);
    return Obj().flag("ok", true).num("pid", GetCurrentProcessId()).done();
  }
  if (verb == "demo-window") {  // demo-window "title": controls with Chinese texts
    need(1);
    DemoWindow demo{a.text(0), CreateEventW(nullptr, TRUE, FALSE, nullptr), nullptr};
    HANDLE t = CreateThread(nullptr, 0, demoWindowThread, &demo, 0, nullptr);
    if (!t) return fail("CreateThread failed");
    CloseHandle(t);
    WaitForSingleObject(demo.ready, 10000);
    CloseHandle(demo.ready);
    return Obj().flag("ok", demo.hwnd != nullptr).num("hwnd", handleNum(demo.hwnd)).done();
  }
  return fail("unknown command: " + verb);
}

void writeLine(HANDLE out, const std::string& s) {
  std::string line = s + "\n";
  DWORD written = 0;
  const char* p = line.data();
  size_t left = line.size();
  while (left > 0 && WriteFile(out, p, static_cast<DWORD>(left), &written, nullptr) && written > 0) {
    p += written;
    left -= written;
  }
}

}  // namespace

int wmain() {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  std::string pending;
  char buf[65536];
  for (;;) {
    size_t nl;
    while ((nl = pending.find('\n')) == std::string::npos) {
      DWORD got = 0;
      if (!ReadFile(in, buf, sizeof buf, &got, nullptr) || got == 0) return 0;
      pending.append(buf, got);
    }
    std::string line = pending.substr(0, nl);
    pending.erase(0, nl + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::string verb, error;
    Args args;
    if (!parseLine(line, verb, args, error)) {
      writeLine(out, fail(error));
      continue;
    }
    if (verb == "quit") {
      writeLine(out, Obj().flag("ok", true).done());
      return 0;
    }
    try {
      writeLine(out, run(verb, args));
    } catch (const std::string& why) {
      writeLine(out, fail(why));
    } catch (const std::exception& e) {
      writeLine(out, fail(e.what()));
    }
  }
}
