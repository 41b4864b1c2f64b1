// The GTK toolkit's own parts that the contract does not reach: the hotkey rule, the banner
// drawing, the skin's CSS, the lock and the program's files.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "gtk_test_support.h"
#include "platform/gtk/gtk_form_window.h"
#include "platform/gtk/gtk_instance_lock.h"
#include "platform/gtk/gtk_picture_box.h"
#include "platform/gtk/gtk_program_files.h"
#include "platform/gtk/gtk_skin_css.h"
#include "platform/gtk/gtk_hotkeys.h"

namespace {

using namespace platform::gtk;
using platform::Hotkey;

// Held keys, repeats, and presses released before the read, in the order a user makes them.
TEST(KeyLatch, CountsAPressOnceWhileItIsDown) {
  KeyLatch key;
  EXPECT_FALSE(key.Read());
  key.Press();
  key.Press();  // auto-repeat
  EXPECT_TRUE(key.Read());
  key.Press();
  EXPECT_FALSE(key.Read());  // still the same press
  key.Release();
  key.Press();
  key.Release();
  EXPECT_FALSE(key.Read());  // pressed and gone before the read
  key.Press();
  EXPECT_TRUE(key.Read());
}

// A desktop's shortcut signals may bring a press and its release in one batch, before any read.
TEST(KeyLatch, APressLiftedBeforeItsReadStillCountsOnce) {
  KeyLatch key;
  key.Press();
  key.Lift();
  EXPECT_TRUE(key.Read());
  EXPECT_FALSE(key.Read());
  key.Lift();  // a release alone is no press
  EXPECT_FALSE(key.Read());
}

// Presses made before the backend can act wait for it, even when released at once; a hold that
// ends in failure forgets them; a key still down afterwards is not pressed anew by its repeats.
TEST(HotkeyLatches, PressesDuringAHoldWaitForItsEnd) {
  HotkeyLatches keys;
  int wakes = 0;
  keys.OnPress([&wakes] { ++wakes; });
  keys.Hold();
  keys.Press(Hotkey::F7);
  keys.Release(Hotkey::F7);
  keys.Press(Hotkey::F5);
  EXPECT_FALSE(keys.Pending());
  EXPECT_FALSE(keys.Pressed(Hotkey::F7));
  EXPECT_EQ(wakes, 0);
  keys.Let(true);
  EXPECT_EQ(wakes, 1);
  EXPECT_TRUE(keys.Pressed(Hotkey::F7));
  EXPECT_TRUE(keys.Pressed(Hotkey::F5));
  keys.Press(Hotkey::F5);  // auto-repeat of the key still held
  EXPECT_FALSE(keys.Pressed(Hotkey::F5));

  keys.Hold();
  keys.Tap(Hotkey::F6);
  keys.Let(false);
  EXPECT_FALSE(keys.Pending());
  EXPECT_FALSE(keys.Pressed(Hotkey::F6));
}

// A 20 x 12 red image drawn at half size at (2, -2): a 10 x 6 patch, its top two rows cut off,
// still there after the window is hidden and shown again.
TEST(PictureBox, DrawsTheImageAtHalfSizeAndKeepsIt) {
  const std::string file = std::filesystem::temp_directory_path() / ("tapwing-red-" + std::to_string(getpid()) + ".png");
  GdkPixbuf* red = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 20, 12);
  gdk_pixbuf_fill(red, 0xFF0000FF);
  ASSERT_TRUE(gdk_pixbuf_save(red, file.c_str(), "png", nullptr, nullptr));
  g_object_unref(red);

  FormWindow form;
  form.SetForm("Tapwing", 600, 600);
  auto& picture = form.AddPictureBox({0, 0, 600, 600}, "tip", "Tapwing");
  picture.DrawImage(file, 2, -2);
  picture.DrawImage(file + ".missing", 0, 0);  // nothing, silently
  std::remove(file.c_str());
  form.Show();
  GtkWidget* area = dynamic_cast<Control&>(picture).Widget();
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(gtk_test::RunUntil([&] { return gtk_widget_get_mapped(area) == TRUE; }, 2000));
    gtk_test::RunUntil([] { return false; }, 100);
    GdkPixbuf* shot = gdk_pixbuf_get_from_window(gtk_widget_get_window(area), 0, 0, 40, 40);
    ASSERT_NE(shot, nullptr);
    const auto isRed = [shot](int x, int y) {
      const guchar* p = gdk_pixbuf_get_pixels(shot) + y * gdk_pixbuf_get_rowstride(shot) +
                        x * gdk_pixbuf_get_n_channels(shot);
      return p[0] > 200 && p[1] < 50 && p[2] < 50;
    };
    EXPECT_TRUE(isRed(2, 0) && isRed(11, 3));
    EXPECT_FALSE(isRed(1, 0) || isRed(12, 0) || isRed(2, 4));
    g_object_unref(shot);
    gtk_widget_hide(GTK_WIDGET(form.Window()));
    gtk_widget_show(GTK_WIDGET(form.Window()));
  }
}

// An exception escaping a handler: one error box naming it, then the program ends and no handler
// runs again (the box's own loop keeps the timer due, but it stays silent).
TEST(FormWindow, AnEscapingExceptionIsReportedOnceAndEndsTheProgram) {
  FormWindow form;
  form.SetForm("Tapwing", 600, 600);
  int ticks = 0;
  auto& timer = form.AddTimer(10, true, platform::TimerUse::Poll);
  timer.Tick = [&] {
    ++ticks;
    throw std::runtime_error("boom");
  };
  std::vector<std::string> boxes;
  const guint answer = g_timeout_add(
      50,
      [](gpointer seen) -> gboolean {
        GList* windows = gtk_window_list_toplevels();
        for (GList* each = windows; each != nullptr; each = each->next) {
          if (!GTK_IS_MESSAGE_DIALOG(each->data) || !gtk_widget_get_visible(GTK_WIDGET(each->data))) continue;
          gchar* text = nullptr;
          g_object_get(each->data, "text", &text, nullptr);
          static_cast<std::vector<std::string>*>(seen)->push_back(text);
          g_free(text);
          gtk_dialog_response(GTK_DIALOG(each->data), GTK_RESPONSE_OK);
        }
        g_list_free(windows);
        return G_SOURCE_CONTINUE;
      },
      &boxes);
  gtk_test::RunUntil([&] { return form.Ending(); }, 3000);
  gtk_test::RunUntil([] { return false; }, 100);
  g_source_remove(answer);
  EXPECT_TRUE(form.Ending());
  EXPECT_EQ(ticks, 1);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("boom"), std::string::npos);
}

// GTK drops a whole rule it cannot parse, silently, so the skin's CSS must parse cleanly, odd
// face names included.
TEST(SkinCss, ParsesWithoutErrors) {
  tapwing::skin::Skin skin;
  skin.font_faces.push_back(u"Odd \"Face\\");
  skin.font_tenths = 105;
  const std::string css = SkinCss(skin);
  GtkCssProvider* provider = gtk_css_provider_new();
  int errors = 0;
  g_signal_connect(provider, "parsing-error",
                   G_CALLBACK(+[](GtkCssProvider*, GtkCssSection*, GError*, gpointer count) { ++*static_cast<int*>(count); }),
                   &errors);
  gtk_css_provider_load_from_data(provider, css.data(), static_cast<gssize>(css.size()), nullptr);
  g_object_unref(provider);
  EXPECT_EQ(errors, 0) << css;
  EXPECT_NE(css.find("10.5pt"), std::string::npos);
  EXPECT_FALSE(ApplySkinFile("/nonexistent/Korva.Skin"));
}

TEST(InstanceLock, ASecondHolderSeesTheFirst) {
  InstanceLock first, second;
  EXPECT_FALSE(first.HeldByAnother());
  EXPECT_TRUE(second.HeldByAnother());
  EXPECT_FALSE(first.HeldByAnother());
}

// Without a runtime dir the lock must not live where another user can plant and hold it.
TEST(InstanceLock, AFileOfAnotherUserInItsPlaceIsIgnored) {
  namespace fs = std::filesystem;
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give a file to another user";
  const fs::path cache = fs::temp_directory_path() / ("tapwing-lock-" + std::to_string(getpid()));
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string savedRuntime = runtime != nullptr ? runtime : "";
  unsetenv("XDG_RUNTIME_DIR");
  setenv("XDG_CACHE_HOME", cache.c_str(), 1);
  const std::string path = InstanceLock::LockPath();
  EXPECT_EQ(path, (cache / "tapwing.lock").string());
  const int foreign = open(path.c_str(), O_RDWR | O_CREAT, 0666);
  ASSERT_GE(foreign, 0);
  ASSERT_EQ(fchown(foreign, 65534, 65534), 0);
  ASSERT_EQ(flock(foreign, LOCK_EX | LOCK_NB), 0);
  InstanceLock lock;
  EXPECT_FALSE(lock.HeldByAnother());
  close(foreign);
  fs::remove_all(cache);
  unsetenv("XDG_CACHE_HOME");
  if (runtime != nullptr) setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1);
}

TEST(ProgramFiles, BesideTheProgramThenInShare) {
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("tapwing-files-" + std::to_string(getpid()));
  fs::create_directories(root / "bin");
  fs::create_directories(root / "share/tapwing");
  std::fclose(std::fopen((root / "share/tapwing/Korva.Skin").c_str(), "w"));
  std::fclose(std::fopen((root / "bin/Tapwing.PNG").c_str(), "w"));
  const std::string bin = (root / "bin").string();
  EXPECT_EQ(FindProgramFile(bin, "Tapwing.PNG"), bin + "/Tapwing.PNG");
  EXPECT_EQ(FindProgramFile(bin, "\\Korva.Skin"), bin + "/../share/tapwing/Korva.Skin");
  EXPECT_EQ(FindProgramFile(bin, "none"), bin + "/none");
  fs::remove_all(root);
}

}  // namespace
