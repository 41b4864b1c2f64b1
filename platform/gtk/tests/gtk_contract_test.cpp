// The backend contract, run against the real GTK backend on an X server.
#include "tests/unit/backend_contract.h"  // first: Xlib's macros would break gtest's headers

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "platform/gtk/gtk_form_window.h"
#include "platform/gtk/gtk_services.h"
#include "gtk_test_support.h"

namespace {

using platform::gtk::Control;

GtkMessageDialog* OpenBox() {
  GList* windows = gtk_window_list_toplevels();
  GtkMessageDialog* found = nullptr;
  for (GList* each = windows; each != nullptr; each = each->next) {
    if (GTK_IS_MESSAGE_DIALOG(each->data) && gtk_widget_get_visible(GTK_WIDGET(each->data)))
      found = GTK_MESSAGE_DIALOG(each->data);
  }
  g_list_free(windows);
  return found;
}

// The contract asks nothing of a display server's input.
class NoDisplay : public platform::gtk::DisplayBackend {
 public:
  platform::gtk::HotkeyLatches& Hotkeys() override { return keys_; }
  void Attach(GtkWidget*) override {}
  std::unique_ptr<platform::InputDevice> OpenInput() override { return nullptr; }
  std::string AboutSession() override { return {}; }

 private:
  platform::gtk::HotkeyLatches keys_;
};

class GtkBackend {
 public:
  GtkBackend() : system_(window_, display_) { window_.SetForm("Tapwing", 3510, 1740); }
  ~GtkBackend() {
    if (other_ != nullptr) gtk_widget_destroy(other_);
  }

  platform::FormBuilder& Ui() { return window_; }
  platform::Services& System() { return system_; }
  void RunUntil(std::function<bool()> done, int limitMs) { gtk_test::RunUntil(done, limitMs); }
  void Stall(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  void Focus(platform::TextBox& box) { Focus(dynamic_cast<Control&>(box)); }
  void Focus(platform::ComboList& list) { Focus(dynamic_cast<Control&>(list)); }

  void LeaveAndReturn() {
    ShowForm();
    if (other_ == nullptr) {
      other_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
      gtk_window_set_default_size(GTK_WINDOW(other_), 120, 80);
    }
    ASSERT_TRUE(gtk_test::Activate(GTK_WINDOW(other_)));
    ASSERT_FALSE(gtk_window_is_active(window_.Window()));
    ASSERT_TRUE(gtk_test::Activate(window_.Window()));
  }

  std::optional<MessageBoxView> OpenMessageBox() {
    GtkMessageDialog* box = OpenBox();
    if (box == nullptr) return std::nullopt;
    MessageBoxView view;
    view.title = gtk_window_get_title(GTK_WINDOW(box));
    gchar* text = nullptr;
    GtkMessageType type = GTK_MESSAGE_OTHER;
    g_object_get(box, "text", &text, "message-type", &type, nullptr);
    view.prompt = text != nullptr ? text : "";
    g_free(text);
    view.modal = gtk_window_get_modal(GTK_WINDOW(box));
    view.icon = type != GTK_MESSAGE_OTHER;
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GList* buttons = gtk_container_get_children(GTK_CONTAINER(gtk_dialog_get_action_area(GTK_DIALOG(box))));
    G_GNUC_END_IGNORE_DEPRECATIONS
    for (GList* each = buttons; each != nullptr; each = each->next)
      view.buttons.push_back(gtk_button_get_label(GTK_BUTTON(each->data)));
    g_list_free(buttons);
    return view;
  }

  void DismissMessageBox() {
    if (GtkMessageDialog* box = OpenBox())
      gtk_button_clicked(GTK_BUTTON(gtk_dialog_get_widget_for_response(GTK_DIALOG(box), GTK_RESPONSE_OK)));
  }

 private:
  void ShowForm() {
    if (shown_) return;
    shown_ = true;
    window_.Show();
    ASSERT_TRUE(gtk_test::Activate(window_.Window()));
  }
  void Focus(Control& control) {
    ShowForm();
    gtk_widget_grab_focus(control.Widget());  // what a click on it does
  }

  platform::gtk::FormWindow window_;
  NoDisplay display_;
  platform::gtk::Services system_;
  GtkWidget* other_ = nullptr;
  bool shown_ = false;
};

}  // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(Gtk, BackendContract, GtkBackend);
