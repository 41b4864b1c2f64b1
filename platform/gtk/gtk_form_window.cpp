#include "platform/gtk/gtk_form_window.h"

#include <cmath>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "platform/layout.h"
#include "platform/gtk/gtk_message_box.h"
#include "platform/gtk/gtk_picture_box.h"
#include "platform/gtk/gtk_skin_css.h"

namespace platform::gtk {
namespace {

// Xft.dpi as GTK reads it (1024ths of a dot per inch), else the usual 96.
double ScreenDpi() {
  gint xftDpi = -1;
  g_object_get(gtk_settings_get_default(), "gtk-xft-dpi", &xftDpi, nullptr);
  return xftDpi > 0 ? xftDpi / 1024.0 : 96.0;
}

void Name(GtkWidget* widget, std::string_view name) {
  atk_object_set_name(gtk_widget_get_accessible(widget), std::string(name).c_str());
}

// Controls in a frame are placed from the frame's corner.
const Bounds* DesignOf(const Frame& frame) {
  const auto* placed = dynamic_cast<const FrameControl*>(&frame);
  return placed != nullptr ? &placed->Design() : nullptr;
}

}  // namespace

FormWindow::~FormWindow() {
  ending_ = true;  // no events from here on
  timers_.clear();
  if (window_ != nullptr) g_signal_handlers_disconnect_by_data(window_.get(), this);
  window_.reset();
  controls_.clear();
}

int FormWindow::Pixels(int twips) const { return TwipsToPixels(twips, dpi_); }

void FormWindow::SetForm(std::string_view caption, int clientWidth, int clientHeight) {
  dpi_ = ScreenDpi();
  InstallFormStyle();
  window_.reset(gtk_window_new(GTK_WINDOW_TOPLEVEL));
  GtkWindow* window = Window();
  gtk_window_set_title(window, std::string(caption).c_str());
  gtk_window_set_resizable(window, FALSE);
  gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);  // no minimize or maximize
  gtk_window_set_position(window, GTK_WIN_POS_CENTER);
  gtk_style_context_add_class(gtk_widget_get_style_context(window_.get()), kFormStyleClass);
  fixed_ = gtk_fixed_new();
  gtk_widget_set_size_request(fixed_, Pixels(clientWidth), Pixels(clientHeight));
  gtk_container_add(GTK_CONTAINER(window), fixed_);
  g_signal_connect_after(window, "set-focus", G_CALLBACK(&FormWindow::OnSetFocus), this);
  g_signal_connect(window, "move-focus", G_CALLBACK(&FormWindow::OnMoveFocus), this);
  g_signal_connect(window, "delete-event", G_CALLBACK(&FormWindow::OnDelete), this);
  g_signal_connect(window, "destroy", G_CALLBACK(&FormWindow::OnDestroy), this);
}

template <typename T>
T& FormWindow::Place(std::unique_ptr<T> control, const Bounds& bounds, const Bounds* container) {
  const PixelBounds at = PlaceInPixels(bounds, container, dpi_);
  GtkWidget* widget = control->Widget();
  gtk_widget_set_size_request(widget, at.width, at.height);
  gtk_fixed_put(GTK_FIXED(fixed_), widget, at.left, at.top);
  T& placed = *control;
  controls_.push_back(std::move(control));

  // Tab order is creation order; the frame never takes the focus.
  GList* chain = nullptr;
  for (const auto& each : controls_) {
    if (dynamic_cast<FrameControl*>(each.get()) == nullptr) chain = g_list_append(chain, each->Widget());
  }
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  gtk_container_set_focus_chain(GTK_CONTAINER(fixed_), chain);
  G_GNUC_END_IGNORE_DEPRECATIONS
  g_list_free(chain);
  return placed;
}

Frame& FormWindow::AddFrame(const Bounds& bounds, std::string_view caption) {
  GtkWidget* frame = gtk_frame_new(std::string(caption).c_str());
  gtk_widget_set_can_focus(frame, FALSE);
  return Place(std::make_unique<FrameControl>(frame, bounds), bounds, nullptr);
}

TextBox& FormWindow::AddTextBox(const Frame& container, const Bounds& bounds, std::string_view text) {
  auto box = std::make_unique<TextBoxControl>(*this, text);
  Name(box->Widget(), text);  // a text box goes by its first text, whatever it shows later
  return Place(std::move(box), bounds, DesignOf(container));
}

ComboList& FormWindow::AddComboList(const Frame& container, const Bounds& bounds, std::string_view name) {
  auto list = std::make_unique<ComboListControl>();
  Name(list->Widget(), name);
  return Place(std::move(list), bounds, DesignOf(container));
}

PictureBox& FormWindow::AddPictureBox(const Bounds& bounds, std::string_view toolTip, std::string_view name) {
  // The image keeps the designed size in pixels at 96 dpi; other DPIs stretch it when shown.
  auto picture = std::make_unique<PictureBoxControl>(*this, static_cast<int>(std::lround(bounds.width / 15.0)),
                                                     static_cast<int>(std::lround(bounds.height / 15.0)));
  gtk_widget_set_tooltip_text(picture->Widget(), std::string(toolTip).c_str());
  Name(picture->Widget(), name);
  return Place(std::move(picture), bounds, nullptr);
}

Timer& FormWindow::AddTimer(int interval, bool enabled, TimerUse use) {
  timers_.push_back(std::make_unique<GridTimer>(*this, interval, enabled));
  if (use == TimerUse::Poll) poll_ = timers_.back().get();
  return *timers_.back();
}

void FormWindow::SleepPollAtRest(HotkeyLatches& keyboard, std::function<bool()> keepAwake) {
  if (poll_ == nullptr) return;
  GridTimer& poll = *poll_;
  poll.SleepWhile([&keyboard, keepAwake = std::move(keepAwake)] { return !keyboard.Pending() && !keepAwake(); });
  keyboard.OnPress([&poll] { poll.Wake(); });
}

void FormWindow::Raise(Event event) {
  if (ending_ || !event) return;
  try {
    event();
  } catch (const std::exception& failure) {
    ReportFailure(failure.what());
  } catch (...) {
    ReportFailure("未知错误");
  }
}

// One box, then the end: no handler runs any more, not even while the box's loop runs.
void FormWindow::ReportFailure(const std::string& what) {
  ending_ = true;
  for (auto& timer : timers_) timer->SetEnabled(false);
  RunMessageBox(Window(), "Tapwing 遇到无法处理的错误,将要退出:\n" + what, "Tapwing", true);
  Quit();
}

// GTK focuses only widgets it can draw, so the window is shown first.
void FormWindow::Show() {
  gtk_widget_show_all(window_.get());
  for (const auto& control : controls_) {
    if (gtk_widget_child_focus(control->Widget(), GTK_DIR_TAB_FORWARD)) break;
  }
}

void FormWindow::Run() {
  if (ending_) return;
  gtk_main();
}

void FormWindow::Quit() {
  ending_ = true;
  if (window_ != nullptr) gtk_widget_hide(window_.get());
  if (gtk_main_level() > 0) gtk_main_quit();
}

void FormWindow::MessageBox(std::string_view prompt, std::string_view title) {
  ++openBoxes_;
  RunMessageBox(Window(), prompt, title);
  --openBoxes_;
}

void FormWindow::OnSetFocus(GtkWindow*, GtkWidget* widget, gpointer data) {
  auto* self = static_cast<FormWindow*>(data);
  if (self->ending_ || widget == nullptr) return;  // null: the focus wraps or the window goes
  for (const auto& control : self->controls_) {
    if (!control->Owns(widget)) continue;
    Control* entered = control.get();
    self->Raise([self, entered] { self->focus_.Enter(entered, entered->AsTextBox()); });
    return;
  }
}

// Tab and Shift+Tab move the focus, as in a Windows dialog; arrows stay with the control.
void FormWindow::OnMoveFocus(GtkWindow* window, GtkDirectionType direction, gpointer) {
  if (direction != GTK_DIR_TAB_FORWARD && direction != GTK_DIR_TAB_BACKWARD)
    g_signal_stop_emission_by_name(window, "move-focus");
}

// The window cannot be closed under an open message box: its handler is still waiting.
gboolean FormWindow::OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
  return static_cast<FormWindow*>(data)->openBoxes_ > 0 ? TRUE : FALSE;
}

void FormWindow::OnDestroy(GtkWidget*, gpointer data) {
  auto* self = static_cast<FormWindow*>(data);
  (void)self->window_.release();  // GTK is destroying it already
  self->fixed_ = nullptr;
  self->Quit();
}

}  // namespace platform::gtk
