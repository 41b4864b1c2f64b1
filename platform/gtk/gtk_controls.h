// The form's controls as GTK widgets placed on one GtkFixed. Implemented: every control the form
// asks for, with the events of platform/controls.h; each control raises its events through the
// form window, which keeps exceptions out of GTK's frames. Not possible here: GTK draws its own
// look, so pixel-exact Windows borders are out of reach; the skin's colours make it alike.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <string_view>

#include "platform/controls.h"

namespace platform::gtk {

// Where controls send their events: the form window runs them on the loop's thread and turns an
// escaping exception into the program's one failure report.
class EventSink {
 public:
  virtual void Raise(Event event) = 0;

 protected:
  ~EventSink() = default;
};

class Control {
 public:
  explicit Control(GtkWidget* widget) : widget_(widget) {}
  virtual ~Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  GtkWidget* Widget() const { return widget_; }
  // The widget that holds the keyboard focus for this control (a list's button, say).
  bool Owns(GtkWidget* focused) const;
  virtual TextBox* AsTextBox() { return nullptr; }

 private:
  GtkWidget* widget_;
};

class FrameControl : public Control, public Frame {
 public:
  FrameControl(GtkWidget* widget, const Bounds& bounds) : Control(widget), bounds_(bounds) {}
  // The design in twips: the controls it holds are placed from its corner.
  const Bounds& Design() const { return bounds_; }

 private:
  Bounds bounds_;
};

class TextBoxControl : public Control, public TextBox {
 public:
  TextBoxControl(EventSink& sink, std::string_view text);
  std::string Text() const override;
  void SetText(std::string_view text) override;
  TextBox* AsTextBox() override { return this; }

 private:
  static void OnChanged(GtkEditable* editable, gpointer self);
  static gboolean OnArrowAtEnd(GtkWidget* entry, GtkDirectionType direction, gpointer unused);
  EventSink& sink_;
  gulong changed_ = 0;
};

class ComboListControl : public Control, public ComboList {
 public:
  ComboListControl();
  std::string Text() const override;
  void AddItem(std::string_view text, int index) override;
  void SetListIndex(int index) override;

 private:
  int count_ = 0;
};

}  // namespace platform::gtk
