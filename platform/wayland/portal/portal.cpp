#include "platform/wayland/portal/portal.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace platform::wayland {
namespace {

std::string TakeError(GError* error) {
  std::string text = error != nullptr ? error->message : "unknown error";
  if (error != nullptr) {
    gchar* remote = g_dbus_error_get_remote_error(error);
    if (remote != nullptr) {
      g_dbus_error_strip_remote_error(error);
      text = std::string(remote) + ": " + error->message;
      g_free(remote);
    }
    g_error_free(error);
  }
  return text;
}

// A call in flight. After the portal is gone its cancellable reports every reply as cancelled,
// and the callback ends there, touching nothing of the portal.
struct CallContext {
  Portal::Replied done;
};

}  // namespace

struct Portal::Handler {
  std::function<void(GVariant*)> handler;
};

Portal::Portal() : cancel_(g_cancellable_new()) {
  GError* error = nullptr;
  bus_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (bus_ == nullptr) {
    missing_ = "无法连接 D-Bus 会话总线: " + TakeError(error);
    return;
  }
  // Request paths spell the unique name without its colon and with dots as underscores.
  sender_ = g_dbus_connection_get_unique_name(bus_) + 1;
  std::replace(sender_.begin(), sender_.end(), '.', '_');
}

Portal::~Portal() {
  while (!pending_.empty()) Close(pending_.begin()->first);
  g_cancellable_cancel(cancel_);
  for (guint id : subscriptions_) g_dbus_connection_signal_unsubscribe(bus_, id);
  g_object_unref(cancel_);
  if (bus_ != nullptr) g_object_unref(bus_);
}

std::string Portal::NewToken() { return "tapwing" + std::to_string(++tokens_); }

// Answers never come from inside the call, also without a bus: the caller may not be ready.
void Portal::Later(std::function<void()> work) {
  struct Deferred {
    GCancellable* cancel;
    std::function<void()> work;
  };
  g_idle_add_full(
      G_PRIORITY_DEFAULT_IDLE,
      [](gpointer data) -> gboolean {
        auto* deferred = static_cast<Deferred*>(data);
        if (!g_cancellable_is_cancelled(deferred->cancel)) deferred->work();
        return G_SOURCE_REMOVE;
      },
      new Deferred{G_CANCELLABLE(g_object_ref(cancel_)), std::move(work)},
      [](gpointer data) {
        auto* deferred = static_cast<Deferred*>(data);
        g_object_unref(deferred->cancel);
        delete deferred;
      });
}

void Portal::Call(const char* interface, const char* method, GVariant* args, Replied done,
                  const GVariantType* replyType) {
  if (bus_ == nullptr) {
    g_variant_unref(g_variant_ref_sink(args));
    Later([done = std::move(done), error = missing_] { done(error, nullptr, nullptr); });
    return;
  }
  g_dbus_connection_call_with_unix_fd_list(bus_, kPortalName, kPortalPath, interface, method, args, replyType,
                                           G_DBUS_CALL_FLAGS_NONE, -1, nullptr, cancel_, &Portal::OnCallDone,
                                           new CallContext{std::move(done)});
}

void Portal::OnCallDone(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<CallContext> context(static_cast<CallContext*>(data));
  GError* error = nullptr;
  GUnixFDList* fds = nullptr;
  GVariant* reply =
      g_dbus_connection_call_with_unix_fd_list_finish(G_DBUS_CONNECTION(source), &fds, result, &error);
  if (reply == nullptr) {
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
      g_error_free(error);
      return;  // the portal object is gone
    }
    context->done(TakeError(error), nullptr, nullptr);
    return;
  }
  context->done({}, reply, fds);
  g_variant_unref(reply);
  if (fds != nullptr) g_object_unref(fds);
}

void Portal::Version(const char* interface, std::function<void(std::uint32_t, const std::string&)> done) {
  if (bus_ == nullptr) {
    Later([done = std::move(done), error = missing_] { done(0, error); });
    return;
  }
  g_dbus_connection_call(
      bus_, kPortalName, kPortalPath, "org.freedesktop.DBus.Properties", "Get",
      g_variant_new("(ss)", interface, "version"), G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, -1, cancel_,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<std::function<void(std::uint32_t, const std::string&)>> done(
            static_cast<std::function<void(std::uint32_t, const std::string&)>*>(data));
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
        if (reply == nullptr) {
          if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
            g_error_free(error);
            return;
          }
          // No portal service answers at all, or it answers without this interface.
          const bool noService = NoPortalAnswers(error);
          const std::string text = TakeError(error);
          (*done)(0, noService ? text : std::string());
          return;
        }
        GVariant* value = nullptr;
        g_variant_get(reply, "(v)", &value);
        const std::uint32_t version = g_variant_is_of_type(value, G_VARIANT_TYPE_UINT32) ? g_variant_get_uint32(value) : 0;
        g_variant_unref(value);
        g_variant_unref(reply);
        (*done)(version, {});
      },
      new std::function<void(std::uint32_t, const std::string&)>(std::move(done)));
}

std::uint32_t Portal::VersionNow(const char* interface, std::string& error) {
  bool answered = false;
  std::uint32_t version = 0;
  Version(interface, [&](std::uint32_t v, const std::string& e) {
    answered = true;
    version = v;
    error = e;
  });
  while (!answered) g_main_context_iteration(nullptr, TRUE);
  return version;
}

void Portal::CloseSession(const std::string& path) {
  if (path.empty() || bus_ == nullptr) return;
  g_dbus_connection_call(bus_, kPortalName, path.c_str(), kSessionInterface, "Close", nullptr, nullptr,
                         G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
}

namespace {

// `args` with `token` as the handle_token of its last member, the options.
GVariant* WithToken(GVariant* args, const std::string& token) {
  g_variant_ref_sink(args);
  GVariantBuilder tuple;
  g_variant_builder_init(&tuple, G_VARIANT_TYPE_TUPLE);
  const gsize last = g_variant_n_children(args) - 1;
  for (gsize i = 0; i < last; ++i) {
    GVariant* child = g_variant_get_child_value(args, i);  // a full reference: the builder takes one of its own
    g_variant_builder_add_value(&tuple, child);
    g_variant_unref(child);
  }
  GVariantDict options;
  GVariant* given = g_variant_get_child_value(args, last);
  g_variant_dict_init(&options, given);
  g_variant_unref(given);
  g_variant_dict_insert(&options, "handle_token", "s", token.c_str());
  g_variant_builder_add_value(&tuple, g_variant_dict_end(&options));
  g_variant_unref(args);
  return g_variant_builder_end(&tuple);
}

}  // namespace

std::uint64_t Portal::Request(const char* interface, const char* method, GVariant* args, PortalAnswered answered) {
  const std::string token = NewToken();
  const std::uint64_t request = ++requests_;
  pending_[request].answered = std::move(answered);
  Follow(request, "/org/freedesktop/portal/desktop/request/" + sender_ + "/" + token);
  Call(
      interface, method, WithToken(args, token),
      [this, request](const std::string& error, GVariant* reply, GUnixFDList*) {
        if (!error.empty()) return Answer(request, nullptr, error);
        const gchar* path = nullptr;
        g_variant_get(reply, "(&o)", &path);
        Follow(request, path);
      },
      G_VARIANT_TYPE("(o)"));
  return request;
}

// Listens for the request's Response at `path`, where it is still waiting for one.
void Portal::Follow(std::uint64_t request, const std::string& path) {
  const auto pending = pending_.find(request);
  if (pending == pending_.end() || pending->second.path == path) return;
  if (pending->second.subscription != 0) Unsubscribe(pending->second.subscription);
  pending->second.path = path;
  pending->second.subscription = OnObjectSignal(
      path, kRequestInterface, "Response", [this, request](GVariant* parameters) { Answer(request, parameters, {}); });
}

// One answer per request, whichever comes first: the Response, or the call's own failure.
void Portal::Answer(std::uint64_t request, GVariant* parameters, const std::string& error) {
  const auto pending = pending_.find(request);
  if (pending == pending_.end()) return;
  const PortalAnswered answered = std::move(pending->second.answered);
  Unsubscribe(pending->second.subscription);
  pending_.erase(pending);
  if (!error.empty()) return answered({2, nullptr, error});
  if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ua{sv})")))
    return answered({2, nullptr, Malformed(std::string("Response ") + g_variant_get_type_string(parameters))});
  guint32 response = 2;
  GVariant* results = nullptr;
  g_variant_get(parameters, "(u@a{sv})", &response, &results);
  answered({response, results, {}});
  g_variant_unref(results);
}

void Portal::Close(std::uint64_t request) {
  const auto pending = pending_.find(request);
  if (pending == pending_.end()) return;
  Unsubscribe(pending->second.subscription);
  if (bus_ != nullptr)
    g_dbus_connection_call(bus_, kPortalName, pending->second.path.c_str(), kRequestInterface, "Close", nullptr,
                           nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
  pending_.erase(pending);
}

void Portal::OnSignal(const char* interface, const char* signal, std::function<void(GVariant*)> handler) {
  OnObjectSignal(kPortalPath, interface, signal, std::move(handler));
}

guint Portal::OnObjectSignal(const std::string& path, const char* interface, const char* signal,
                             std::function<void(GVariant*)> handler) {
  if (bus_ == nullptr) return 0;
  const guint id = g_dbus_connection_signal_subscribe(
      bus_, kPortalName, interface, signal, path.c_str(), nullptr, G_DBUS_SIGNAL_FLAGS_NONE, &Portal::OnSignalArrived,
      new Handler{std::move(handler)}, [](gpointer data) { delete static_cast<Handler*>(data); });
  subscriptions_.push_back(id);
  return id;
}

void Portal::Unsubscribe(guint id) {
  const auto found = std::find(subscriptions_.begin(), subscriptions_.end(), id);
  if (found == subscriptions_.end()) return;
  subscriptions_.erase(found);
  g_dbus_connection_signal_unsubscribe(bus_, id);
}

void Portal::OnSignalArrived(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                             GVariant* parameters, gpointer data) {
  // A copy: the handler may unsubscribe itself, which frees the Handler.
  const auto handler = static_cast<Handler*>(data)->handler;
  handler(parameters);
}

bool NoPortalAnswers(const GError* error) {
  return g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
         g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER);
}

std::optional<std::string> SessionHandle(GVariant* results) {
  GVariant* value = results != nullptr ? g_variant_lookup_value(results, "session_handle", nullptr) : nullptr;
  if (value == nullptr) return std::nullopt;
  std::optional<std::string> handle;
  const bool text = g_variant_is_of_type(value, G_VARIANT_TYPE_STRING) || g_variant_is_of_type(value, G_VARIANT_TYPE_OBJECT_PATH);
  if (text && g_variant_is_object_path(g_variant_get_string(value, nullptr))) handle = g_variant_get_string(value, nullptr);
  g_variant_unref(value);
  return handle;
}

std::string Malformed(const std::string& what) { return "桌面门户的回答格式不对 (" + what + ")"; }

GVariant* Options(std::initializer_list<std::pair<const char*, GVariant*>> entries) {
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE_VARDICT);
  for (const auto& [name, value] : entries) g_variant_builder_add(&builder, "{sv}", name, value);
  return g_variant_builder_end(&builder);
}

}  // namespace platform::wayland
