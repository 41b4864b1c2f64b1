// Calls to the XDG desktop portal over the session bus, as GTK and libportal make them: a method
// returns a Request object, and its answer comes later as that object's Response signal. Each
// request gets a fresh handle_token here, and its Response is subscribed before the call at the
// path the token predicts, so no answer is missed; a portal that returns another path (older
// ones ignore the token) is followed there. Nothing here waits: every answer arrives on the
// GLib loop, never from inside the call.
#pragma once

#include <gio/gio.h>
#include <gio/gunixfdlist.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/wayland/portal/portal_names.h"

namespace platform::wayland {

// The portal's answer: 0 granted, 1 cancelled by the user, 2 anything else; or, where the call
// itself failed, `error` says why.
struct PortalAnswer {
  std::uint32_t response = 2;
  GVariant* results = nullptr;  // a{sv}; borrowed for the callback's duration
  std::string error;
};
using PortalAnswered = std::function<void(const PortalAnswer&)>;

// One connection to the portal and the requests in flight on it. Destroying it cancels every
// request, and no callback runs after that.
class Portal {
 public:
  Portal();
  ~Portal();
  Portal(const Portal&) = delete;
  Portal& operator=(const Portal&) = delete;

  GDBusConnection* Bus() const { return bus_; }
  // Why there is no session bus to reach a portal on, or empty.
  const std::string& Missing() const { return missing_; }

  // A token no other request or session of this connection has.
  std::string NewToken();
  // Calls `method` of `interface` with `args`, a tuple whose last member is the options a{sv};
  // the handle_token goes into those options here. Returns the request's id for Close.
  std::uint64_t Request(const char* interface, const char* method, GVariant* args, PortalAnswered answered);
  // Closes a request still in flight at the portal (its dialog goes away); it is never answered.
  void Close(std::uint64_t request);
  // A plain call whose reply is all there is: `done` gets the error text (empty on success) and
  // the reply (null on failure). A call with a GUnixFDList reply passes it through `fds`. A
  // reply of another type than `replyType` (where given) is a failure.
  using Replied = std::function<void(const std::string& error, GVariant* reply, GUnixFDList* fds)>;
  void Call(const char* interface, const char* method, GVariant* args, Replied done,
            const GVariantType* replyType = nullptr);
  // The interface's version property: 0 where the portal lacks the interface, and `error`
  // names what is missing where there is no portal at all.
  void Version(const char* interface, std::function<void(std::uint32_t version, const std::string& error)> done);
  // The same, waited for on the thread's main context: for a question asked without a window.
  std::uint32_t VersionNow(const char* interface, std::string& error);
  // Closes a session object of the portal (nothing for an empty path).
  void CloseSession(const std::string& path);
  // Subscribes to a signal of the portal object; unsubscribed with the portal.
  void OnSignal(const char* interface, const char* signal, std::function<void(GVariant*)> handler);
  // Subscribes to `signal` of another object (a session); returns the id for Unsubscribe.
  guint OnObjectSignal(const std::string& path, const char* interface, const char* signal,
                       std::function<void(GVariant*)> handler);
  void Unsubscribe(guint id);

 private:
  struct Handler;
  struct Pending {
    std::string path;
    guint subscription = 0;
    PortalAnswered answered;
  };
  void Follow(std::uint64_t request, const std::string& path);
  void Answer(std::uint64_t request, GVariant* parameters, const std::string& error);
  static void OnSignalArrived(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*, gpointer);
  static void OnCallDone(GObject* source, GAsyncResult* result, gpointer data);
  // Runs `work` from the loop, unless the portal is gone by then.
  void Later(std::function<void()> work);

  GDBusConnection* bus_ = nullptr;
  GCancellable* cancel_ = nullptr;
  std::string missing_;
  std::string sender_;  // our unique bus name as request paths spell it
  unsigned tokens_ = 0;
  std::vector<guint> subscriptions_;
  std::uint64_t requests_ = 0;
  std::map<std::uint64_t, Pending> pending_;
};

// A call failed because no portal service is there at all (rather than lacking an interface).
bool NoPortalAnswers(const GError* error);

// The session_handle of a CreateSession answer: an object path, sent as `o` or as `s`.
std::optional<std::string> SessionHandle(GVariant* results);

// Why an answer of the portal is refused: `what` names the answer.
std::string Malformed(const std::string& what);

// An a{sv} from name/value pairs; the values are floating references the dictionary takes.
GVariant* Options(std::initializer_list<std::pair<const char*, GVariant*>> entries);

}  // namespace platform::wayland
