// LD_PRELOAD=send_stamps.so TAPWING_SEND_STAMPS=<file>: appends one line per button press the
// process sends (CLOCK_MONOTONIC in µs, taken just before the call), whichever way it goes out:
// the portal's NotifyPointerButton over GDBus, libei's button, or the wlroots virtual pointer's
// button request. Every call goes on to the real function unchanged.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <gio/gio.h>
#include <pthread.h>
#include <stdbool.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client-core.h>

static int stamps_fd = -1;
static pthread_once_t stamps_once = PTHREAD_ONCE_INIT;

static void open_stamps(void) {
  const char* file = getenv("TAPWING_SEND_STAMPS");
  if (file != NULL && *file != '\0') stamps_fd = open(file, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

static void stamp_press(void) {
  pthread_once(&stamps_once, open_stamps);
  if (stamps_fd < 0) return;
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  char line[32];
  const int n = snprintf(line, sizeof line, "%lld\n", (long long)now.tv_sec * 1000000 + now.tv_nsec / 1000);
  if (write(stamps_fd, line, (size_t)n) != n) return;  // a lost stamp shows in the figures, nothing else
}

static char missing;  // a function looked up once and not found

// The function this library stands in for, from the libraries after it; fatal where a caller
// reached it without the real one existing (that would be a call this process could not make).
static void* real(void** slot, const char* name, bool needed) {
  void* fn = __atomic_load_n(slot, __ATOMIC_ACQUIRE);
  if (fn == NULL) {
    fn = dlsym(RTLD_NEXT, name);
    if (fn == NULL && needed) {
      fprintf(stderr, "send_stamps: no %s after this library\n", name);
      abort();
    }
    if (fn == NULL) fn = &missing;  // not looked up again at every call
    __atomic_store_n(slot, fn, __ATOMIC_RELEASE);
  }
  return fn == &missing ? NULL : fn;
}

// ---- The portal: NotifyPointerButton(session, options, button, state) ----------------------

// Only reads the parameters: g_variant_is_of_type and g_variant_get_child leave a floating
// reference floating, so the real call still takes ownership as the caller meant.
static void stamp_if_press(const gchar* method, GVariant* parameters) {
  if (method == NULL || strcmp(method, "NotifyPointerButton") != 0 || parameters == NULL) return;
  if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(oa{sv}iu)"))) return;
  guint32 state = 0;
  g_variant_get_child(parameters, 3, "u", &state);
  if (state != 0) stamp_press();
}

void g_dbus_connection_call(GDBusConnection* connection, const gchar* bus_name, const gchar* object_path,
                            const gchar* interface_name, const gchar* method_name, GVariant* parameters,
                            const GVariantType* reply_type, GDBusCallFlags flags, gint timeout_msec,
                            GCancellable* cancellable, GAsyncReadyCallback callback, gpointer user_data) {
  static void* slot;
  typedef void (*Fn)(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*,
                     const GVariantType*, GDBusCallFlags, gint, GCancellable*, GAsyncReadyCallback, gpointer);
  const Fn call = (Fn)real(&slot, "g_dbus_connection_call", true);
  stamp_if_press(method_name, parameters);
  call(connection, bus_name, object_path, interface_name, method_name, parameters, reply_type, flags, timeout_msec,
       cancellable, callback, user_data);
}

void g_dbus_connection_call_with_unix_fd_list(GDBusConnection* connection, const gchar* bus_name,
                                              const gchar* object_path, const gchar* interface_name,
                                              const gchar* method_name, GVariant* parameters,
                                              const GVariantType* reply_type, GDBusCallFlags flags,
                                              gint timeout_msec, GUnixFDList* fd_list, GCancellable* cancellable,
                                              GAsyncReadyCallback callback, gpointer user_data) {
  static void* slot;
  typedef void (*Fn)(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*,
                     const GVariantType*, GDBusCallFlags, gint, GUnixFDList*, GCancellable*, GAsyncReadyCallback,
                     gpointer);
  const Fn call = (Fn)real(&slot, "g_dbus_connection_call_with_unix_fd_list", true);
  stamp_if_press(method_name, parameters);
  call(connection, bus_name, object_path, interface_name, method_name, parameters, reply_type, flags, timeout_msec,
       fd_list, cancellable, callback, user_data);
}

// ---- libei --------------------------------------------------------------------------------

struct ei_device;

void ei_device_button_button(struct ei_device* device, uint32_t button, bool is_press) {
  static void* slot;
  typedef void (*Fn)(struct ei_device*, uint32_t, bool);
  const Fn call = (Fn)real(&slot, "ei_device_button_button", true);
  if (is_press) stamp_press();
  call(device, button, is_press);
}

// ---- wlroots: zwlr_virtual_pointer_v1.button(time, button, state) -------------------------

enum { kMaxArgs = 20 };  // libwayland's WL_CLOSURE_MAX_ARGS
static const uint32_t kButtonOpcode = 2;  // motion, motion_absolute, button, ...

// The proxy's interface. libwayland has no call for it up to 1.23 at least (Debian 12 and 13);
// there a proxy starts with its wl_object, whose first member is the interface (checked
// against wl_proxy_get_class).
static const struct wl_interface* interface_of(struct wl_proxy* proxy) {
  static void* get_slot;
  static void* class_slot;
  typedef const struct wl_interface* (*Get)(struct wl_proxy*);
  typedef const char* (*Class)(struct wl_proxy*);
  const Get get = (Get)real(&get_slot, "wl_proxy_get_interface", false);
  if (get != NULL) return get(proxy);
  const struct wl_interface* interface = *(const struct wl_interface* const*)proxy;
  if (interface->name != ((Class)real(&class_slot, "wl_proxy_get_class", true))(proxy)) {
    fprintf(stderr, "send_stamps: this libwayland's proxies are laid out differently\n");
    abort();
  }
  return interface;
}

// Collects the arguments as libwayland's own wl_proxy_marshal_flags does, and hands them to
// the array form: a variadic call cannot be passed on as it is.
struct wl_proxy* wl_proxy_marshal_flags(struct wl_proxy* proxy, uint32_t opcode, const struct wl_interface* interface,
                                        uint32_t version, uint32_t flags, ...) {
  static void* slot;
  typedef struct wl_proxy* (*Fn)(struct wl_proxy*, uint32_t, const struct wl_interface*, uint32_t, uint32_t,
                                 union wl_argument*);
  const Fn marshal = (Fn)real(&slot, "wl_proxy_marshal_array_flags", true);
  const struct wl_interface* own = interface_of(proxy);
  union wl_argument args[kMaxArgs];
  memset(args, 0, sizeof args);
  va_list ap;
  va_start(ap, flags);
  int count = 0;
  for (const char* s = own->methods[opcode].signature; *s != '\0' && count < kMaxArgs; ++s) {
    switch (*s) {
      case 'i': args[count++].i = va_arg(ap, int32_t); break;
      case 'u': args[count++].u = va_arg(ap, uint32_t); break;
      case 'f': args[count++].f = va_arg(ap, wl_fixed_t); break;
      case 's': args[count++].s = va_arg(ap, const char*); break;
      case 'o': args[count++].o = va_arg(ap, struct wl_object*); break;
      case 'n': args[count++].o = va_arg(ap, struct wl_object*); break;  // the new proxy, made by the array form
      case 'a': args[count++].a = va_arg(ap, struct wl_array*); break;
      case 'h': args[count++].h = va_arg(ap, int32_t); break;
      default: break;  // '?' and the version digits
    }
  }
  va_end(ap);
  if (opcode == kButtonOpcode && strcmp(own->name, "zwlr_virtual_pointer_v1") == 0 && args[2].u != 0) stamp_press();
  return marshal(proxy, opcode, interface, version, flags, args);
}
