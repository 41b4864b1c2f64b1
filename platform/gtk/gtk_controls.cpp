#include "platform/gtk/gtk_controls.h"

#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/gtk/gtk_handles.h"

namespace platform::gtk {

bool Control::Owns(GtkWidget* focused) const {
  return focused == widget_ || (focused != nullptr && gtk_widget_is_ancestor(focused, widget_));
}

TextBoxControl::TextBoxControl(EventSink& sink, std::string_view text)
    : Control(gtk_entry_new()), sink_(sink) {
  GtkEntry* entry = GTK_ENTRY(Widget());
  gtk_entry_set_text(entry, std::string(text).c_str());
  gtk_entry_set_width_chars(entry, 1);  // the design decides the width, not the text
  changed_ = g_signal_connect(entry, "changed", G_CALLBACK(&TextBoxControl::OnChanged), this);
  g_signal_connect(entry, "keynav-failed", G_CALLBACK(&TextBoxControl::OnArrowAtEnd), nullptr);
}

// An arrow at either end of the text stays in the field, as in a Windows edit control.
gboolean TextBoxControl::OnArrowAtEnd(GtkWidget*, GtkDirectionType, gpointer) { return TRUE; }

std::string TextBoxControl::Text() const { return gtk_entry_get_text(GTK_ENTRY(Widget())); }

// One Change per assignment, raised here, whatever GTK emits for it (nothing for the same text,
// one "changed" otherwise), as an edit control does on Windows.
void TextBoxControl::SetText(std::string_view text) {
  g_signal_handler_block(Widget(), changed_);
  gtk_entry_set_text(GTK_ENTRY(Widget()), std::string(text).c_str());
  g_signal_handler_unblock(Widget(), changed_);
  sink_.Raise(Change);
}

void TextBoxControl::OnChanged(GtkEditable*, gpointer self) {
  auto* box = static_cast<TextBoxControl*>(self);
  box->sink_.Raise(box->Change);
}

// An empty list still takes the focus, as on Windows (GTK would grey it out).
ComboListControl::ComboListControl() : Control(gtk_combo_box_text_new()) {
  gtk_combo_box_set_button_sensitivity(GTK_COMBO_BOX(Widget()), GTK_SENSITIVITY_ON);
}

std::string ComboListControl::Text() const {
  GText text(gtk_combo_box_text_get_active_text(GTK_COMBO_BOX_TEXT(Widget())));
  return text != nullptr ? std::string(text.get()) : std::string();
}

void ComboListControl::AddItem(std::string_view text, int index) {
  if (index < 0 || index > count_) throw std::out_of_range("list index");
  gtk_combo_box_text_insert(GTK_COMBO_BOX_TEXT(Widget()), index, nullptr, std::string(text).c_str());
  ++count_;
}

void ComboListControl::SetListIndex(int index) {
  if (index < -1 || index >= count_) throw std::out_of_range("list index");
  gtk_combo_box_set_active(GTK_COMBO_BOX(Widget()), index);
}

}  // namespace platform::gtk
