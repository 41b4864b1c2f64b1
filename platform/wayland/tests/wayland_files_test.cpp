// The files and settings the Wayland backend writes: the restore token (private, never blocking,
// never trusted blindly) and GNOME's shortcut commands.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/wayland/gnome/gnome_shortcuts.h"
#include "platform/wayland/portal/restore_token.h"

namespace {

namespace fs = std::filesystem;
using namespace platform::wayland;

TEST(RestoreToken, WrittenPrivatelyAndReadWithoutTrustingTheFile) {
  const fs::path root = fs::temp_directory_path() / ("tapwing-token-" + std::to_string(getpid()));
  fs::create_directories(root / "tapwing");
  fs::permissions(root / "tapwing", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                        fs::perms::others_read | fs::perms::others_exec);
  const std::string file = (root / "tapwing" / "restore-token").string();
  SaveRestoreToken(file, "token-1");
  struct stat info{};
  ASSERT_EQ(stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(ReadRestoreToken(file), "token-1");

  std::ofstream(root / "latin1") << "\xff\xfe";
  EXPECT_EQ(ReadRestoreToken((root / "latin1").string()), "");
  std::ofstream(root / "long") << std::string(100000, 'a');
  EXPECT_EQ(ReadRestoreToken((root / "long").string()), "");
  ASSERT_EQ(mkfifo((root / "fifo").c_str(), 0600), 0);
  EXPECT_EQ(ReadRestoreToken((root / "fifo").string()), "");  // would wait for a writer for ever
  fs::remove_all(root);

  setenv("XDG_STATE_HOME", "relative/state", 1);
  EXPECT_EQ(RestoreTokenFile().front(), '/');
  setenv("XDG_STATE_HOME", "/srv/state", 1);
  EXPECT_EQ(RestoreTokenFile(), "/srv/state/tapwing/restore-token");
  unsetenv("XDG_STATE_HOME");
}

// GNOME expands % in a shortcut's command as a field code: the shortcut would never run.
TEST(GnomeShortcuts, TheCommandSurvivesAnyPathOrIsRefused) {
  EXPECT_EQ(ShortcutCommand("/opt/100% tap/tapwing", "F5"), "'/opt/100%% tap/tapwing' --hotkey F5");
  EXPECT_FALSE(ShortcutCommand("/opt/\xff/tapwing", "F5"));
}

}  // namespace
