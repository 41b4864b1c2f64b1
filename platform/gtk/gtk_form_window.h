// The form as a GTK 3 top-level window: it creates the controls the form asks for, places them
// on a GtkFixed from the twips design at the screen's DPI, and turns GTK signals into the
// controls' events. All behaviour lives in the form's handlers.
//
// Implemented: caption, fixed size, centred, no minimize/maximize where the window manager
// honours a dialog hint; tab order = creation order, arrows never move the focus, initial focus
// on the first control that takes it; GotFocus/LostFocus only for moves between controls;
// accessible names for every control; modal message boxes; an escaping exception ends the
// program after one error box. Not possible here: a window manager decides the title bar, and
// without one (a bare Xvfb) there is none.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/controls.h"
#include "platform/focus_tracker.h"
#include "platform/gtk/gtk_controls.h"
#include "platform/gtk/gtk_grid_timer.h"
#include "platform/gtk/gtk_handles.h"
#include "platform/gtk/gtk_hotkeys.h"

namespace platform::gtk {

class FormWindow : public FormBuilder, public EventSink {
 public:
  FormWindow() = default;
  ~FormWindow() override;
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;

  void SetForm(std::string_view caption, int clientWidth, int clientHeight) override;
  Frame& AddFrame(const Bounds& bounds, std::string_view caption) override;
  TextBox& AddTextBox(const Frame& container, const Bounds& bounds, std::string_view text) override;
  ComboList& AddComboList(const Frame& container, const Bounds& bounds, std::string_view name) override;
  PictureBox& AddPictureBox(const Bounds& bounds, std::string_view toolTip, std::string_view name) override;
  Timer& AddTimer(int interval, bool enabled, TimerUse use) override;

  // Runs a handler; an exception escaping it is reported once and ends the program.
  void Raise(Event event) override;

  // The poll timer's ticks only read the hotkeys: it sleeps after a tick that finds no press of
  // `keyboard` waiting and no `keepAwake`, and a press wakes it on its own grid, so the press is
  // still read at the tick it would have been. Call before the loop runs, once the form has its
  // timers.
  void SleepPollAtRest(HotkeyLatches& keyboard, std::function<bool()> keepAwake);

  // The top-level window; null before SetForm.
  GtkWindow* Window() const { return window_ != nullptr ? GTK_WINDOW(window_.get()) : nullptr; }
  // Screen pixels for a length in twips.
  int Pixels(int twips) const;

  // Shows the window centred with the focus on the first control that takes it.
  void Show();
  // Runs the loop until the window is closed or Quit is called; returns at once after a Quit.
  void Run();
  void Quit();
  // Whether the program is ending: closed, quit, or failed.
  bool Ending() const { return ending_; }

  // A modal OK-only box over the window; returns once it is dismissed.
  void MessageBox(std::string_view prompt, std::string_view title);

 private:
  template <typename T>
  T& Place(std::unique_ptr<T> control, const Bounds& bounds, const Bounds* container);
  void ReportFailure(const std::string& what);

  static void OnSetFocus(GtkWindow* window, GtkWidget* widget, gpointer self);
  static void OnMoveFocus(GtkWindow* window, GtkDirectionType direction, gpointer self);
  static gboolean OnDelete(GtkWidget* window, GdkEvent* event, gpointer self);
  static void OnDestroy(GtkWidget* window, gpointer self);

  WindowPtr window_;
  GtkWidget* fixed_ = nullptr;
  double dpi_ = 96;
  std::vector<std::unique_ptr<Control>> controls_;
  std::vector<std::unique_ptr<GridTimer>> timers_;
  GridTimer* poll_ = nullptr;  // the timer added for TimerUse::Poll
  FocusTracker focus_;
  int openBoxes_ = 0;
  bool ending_ = false;
};

}  // namespace platform::gtk
