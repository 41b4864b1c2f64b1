// The controls a form is made of, as the window's logic sees them. Each backend realises them
// (win32/ with real windows, gtk/ natively on Linux, fake/ for the unit tests).
//
// What the window's logic relies on from every backend (tests/unit/backend_contract.h checks it):
// - assigning a text raises Change before SetText returns;
// - GotFocus and LostFocus fire only when the focus moves from one control of the form to
//   another, never when the whole window is deactivated or reactivated;
// - a timer keeps a fixed period and drops a tick it could not deliver in time, never making
//   up for it with a burst;
// - timers keep ticking while a message box is open;
// - message boxes are modal and have an OK button only.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace platform {

using Event = std::function<void()>;

// Left, top, width, height in twips (1/1440 inch), relative to the container.
struct Bounds {
  int left, top, width, height;
};

class Frame {
 public:
  virtual ~Frame() = default;
};

// A single-line text box. Texts are UTF-8.
class TextBox {
 public:
  virtual ~TextBox() = default;
  virtual std::string Text() const = 0;
  virtual void SetText(std::string_view text) = 0;

  Event Change;     // after every change of the text, by the user or by code
  Event GotFocus;   // another control of the form gave it the focus
  Event LostFocus;  // another control of the form took the focus
};

// A drop-down list the user can only select from.
class ComboList {
 public:
  virtual ~ComboList() = default;
  virtual std::string Text() const = 0;  // the selected entry, or empty
  virtual void AddItem(std::string_view text, int index) = 0;
  virtual void SetListIndex(int index) = 0;
};

// How precisely a timer must keep its period; decides what the backend pays for it.
enum class TimerUse { Poll, Clock };

class Timer {
 public:
  virtual ~Timer() = default;
  virtual int Interval() const = 0;
  virtual void SetInterval(int milliseconds) = 0;  // a running period starts over
  virtual bool Enabled() const = 0;
  virtual void SetEnabled(bool enabled) = 0;

  Event Tick;
};

// A box with a persistent image: what is drawn into it stays and is repainted from memory.
class PictureBox {
 public:
  virtual ~PictureBox() = default;
  // Draws the image file at half its pixel width and height with its top-left corner at (x, y),
  // in pixels of the box; the part outside the box is cut off. A missing or unreadable file
  // draws nothing, silently.
  virtual void DrawImage(std::string_view file, int x, int y) = 0;

  Event Click;
};

// Creates a form's window and controls. Controls are created in tab order; the builder keeps
// them alive as long as the form exists. `name` is what accessibility tools call the control
// (a text box goes by its initial text).
class FormBuilder {
 public:
  virtual ~FormBuilder() = default;
  virtual void SetForm(std::string_view caption, int clientWidth, int clientHeight) = 0;
  virtual Frame& AddFrame(const Bounds& bounds, std::string_view caption) = 0;
  virtual TextBox& AddTextBox(const Frame& container, const Bounds& bounds, std::string_view text) = 0;
  virtual ComboList& AddComboList(const Frame& container, const Bounds& bounds, std::string_view name) = 0;
  virtual PictureBox& AddPictureBox(const Bounds& bounds, std::string_view toolTip, std::string_view name) = 0;
  virtual Timer& AddTimer(int interval, bool enabled, TimerUse use) = 0;
};

}  // namespace platform
