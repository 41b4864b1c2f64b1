// The GTK backend's tests need an X server: run-on-xvfb.sh gives them one of their own.
#include <gdk/gdk.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <clocale>
#include <cstdio>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  std::setlocale(LC_ALL, "");
  gdk_set_allowed_backends("x11");
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "tapwing_gtk_tests: no X display; run it through run-on-xvfb.sh\n");
    return 1;
  }
  return RUN_ALL_TESTS();
}
