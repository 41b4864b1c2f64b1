// Form1's design, its start-up and its lists.
#include "window/form1.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "window/form1_texts.h"

using namespace form1_texts;
using platform::Bounds;

namespace {

platform::FormBuilder& DesignForm(platform::FormBuilder& ui) {
  ui.SetForm(kCaption, 3510, 1740);
  return ui;
}

std::string JoinTexts(std::string_view a, std::string_view b, std::string_view c = {}) {
  std::string text;
  text.reserve(a.size() + b.size() + c.size());
  return text.append(a).append(b).append(c);
}

}  // namespace

Form1::Form1(platform::FormBuilder& ui, platform::Services& system, platform::Keyboard& keyboard)
    : Timer2(DesignForm(ui).AddTimer(0, false, platform::TimerUse::Clock)),
      Timer1(ui.AddTimer(10, true, platform::TimerUse::Poll)),
      Frame1(ui.AddFrame(Bounds{1058, 60, 2415, 1575}, kLegend)),
      Combo3(ui.AddComboList(Frame1, Bounds{360, 1080, 1635, 300}, kDelayListName)),
      Combo2(ui.AddComboList(Frame1, Bounds{360, 660, 1635, 300}, kActionListName)),
      Text2(ui.AddTextBox(Frame1, Bounds{1440, 300, 555, 270}, kPlaceholderY)),
      Text1(ui.AddTextBox(Frame1, Bounds{360, 300, 555, 270}, kPlaceholderX)),
      Picture1(ui.AddPictureBox(Bounds{38, 60, 915, 1575}, JoinTexts("Korva,", kContact), kCaption)),
      system_(system),
      keyboard_(keyboard) {
  Picture1.Click = [this] { Picture1_Click(); };
  Text1.Change = [this] { Text1_Change(); };
  Text1.GotFocus = [this] { Text1_GotFocus(); };
  Text1.LostFocus = [this] { Text1_LostFocus(); };
  Text2.Change = [this] { Text2_Change(); };
  Text2.GotFocus = [this] { Text2_GotFocus(); };
  Text2.LostFocus = [this] { Text2_LostFocus(); };
  Timer1.Tick = [this] { Timer1_Timer(); };
  Timer2.Tick = [this] { Timer2_Timer(); };
  system_.InputLost = [this](const platform::InputError& error) { ReportDriverFailure(error); };
}

// The component object goes with the window.
Form1::~Form1() { system_.InputLost = nullptr; }

void Form1::Form_Load() {
  if (system_.PrevInstance()) {
    system_.End();
    return;
  }

  system_.RegisterComponent(system_.ProgramFile(kComponentFile));
  system_.AttachSkin(system_.ProgramFile(kSkinFile));
  Picture1.DrawImage(system_.ProgramFile(kBannerFile), 0, -10);
  FillLists();
}

void Form1::FillLists() {
  for (int index = 0; index < static_cast<int>(kActions.size()); ++index)
    Combo2.AddItem(kActions[index], index);
  Combo2.SetListIndex(0);
  for (int index = 0; index < static_cast<int>(kDelays.size()); ++index)
    Combo3.AddItem(kDelays[index], index);
  Combo3.SetListIndex(0);
}

void Form1::Picture1_Click() { ShowMessage(JoinTexts("    ", kContact, "    "), kAboutTitle); }

// The poll goes on under a modal box, so a key held down or a desktop that keeps refusing would
// otherwise nest box after box; a box already open is not opened a second time inside itself.
void Form1::ShowMessage(std::string_view prompt, std::string_view title) {
  std::string key = JoinTexts(title, "\n", prompt);
  for (const std::string& open : openMessages_)
    if (open == key) return;
  openMessages_.push_back(std::move(key));
  struct Closed {
    std::vector<std::string>& open;
    ~Closed() { open.pop_back(); }
  } closed{openMessages_};
  system_.MsgBox(prompt, title);
}
