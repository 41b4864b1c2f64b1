// Owners for the C resources the GTK backend holds: GObjects, GLib strings and sources, file
// descriptors. Widgets inside a window belong to the window; only the window itself is owned here.
// Implemented: what the backend holds. Not possible here: nothing left out.
#pragma once

#include <glib-unix.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <memory>
#include <utility>

namespace platform::gtk {

struct GObjectUnref {
  void operator()(gpointer object) const {
    if (object != nullptr) g_object_unref(object);
  }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GFreeText {
  void operator()(gchar* text) const { g_free(text); }
};
using GText = std::unique_ptr<gchar, GFreeText>;

struct GErrorFree {
  void operator()(GError* error) const { g_error_free(error); }
};
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;

// A source attached to the default context; destroying the owner detaches it.
struct GSourceDestroy {
  void operator()(GSource* source) const {
    g_source_destroy(source);
    g_source_unref(source);
  }
};
using GSourcePtr = std::unique_ptr<GSource, GSourceDestroy>;

// Watches `fd` for input from the default main context. `recurse`: the callback may run again
// while an earlier run of it waits in a nested loop (a message box opened from a timer tick).
inline GSourcePtr WatchFd(int fd, GUnixFDSourceFunc callback, gpointer data, bool recurse) {
  GSource* source = g_unix_fd_source_new(fd, G_IO_IN);
  g_source_set_callback(source, reinterpret_cast<GSourceFunc>(reinterpret_cast<void*>(callback)), data, nullptr);
  g_source_set_can_recurse(source, recurse);
  g_source_attach(source, nullptr);
  return GSourcePtr(source);
}

// The top-level window and everything in it.
struct WidgetDestroy {
  void operator()(GtkWidget* widget) const { gtk_widget_destroy(widget); }
};
using WindowPtr = std::unique_ptr<GtkWidget, WidgetDestroy>;

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  ~UniqueFd() { Reset(); }
  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

}  // namespace platform::gtk
