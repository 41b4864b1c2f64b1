// The coordinate fields: a placeholder while empty, emptied on entry, numbers only.
#include "window/form1.h"

#include <string>
#include <string_view>

#include "window/form1_texts.h"
#include "window/number_text.h"

using namespace form1_texts;

void Form1::Text1_Change() { CheckCoordinate(Text1, kPlaceholderX); }
void Form1::Text2_Change() { CheckCoordinate(Text2, kPlaceholderY); }

void Form1::Text1_GotFocus() { Text1.SetText(""); }
void Form1::Text2_GotFocus() { Text2.SetText(""); }

void Form1::Text1_LostFocus() {
  if (Text1.Text().empty()) Text1.SetText(kPlaceholderX);
}

void Form1::Text2_LostFocus() {
  if (Text2.Text().empty()) Text2.SetText(kPlaceholderY);
}

// Every edit must leave a complete number; anything else is refused and the field emptied, which
// raises this check once more and stops at the empty text. The hotkeys keep working while the box
// is open: a capture made meanwhile has replaced the refused text and stays.
void Form1::CheckCoordinate(platform::TextBox& field, std::string_view placeholder) {
  const std::string text = field.Text();
  if (text == placeholder || text.empty()) return;
  if (number_text::IsNumeric(text, system_.DecimalSeparator())) return;
  ShowMessage(kNotANumber, kHintTitle);
  if (field.Text() == text) field.SetText("");
}
