// Binds DLL entry points by library and entry name at their first call. One typed binder serves
// every dynamically bound call of the program, so a missing library fails the same way
// everywhere: a BindError at the call site.
#pragma once

#include <utility>

#include "platform/errors.h"

namespace platform {

// Where a library may be loaded from. System libraries come from the system directory only, so
// a planted copy in the current or program folder is never picked up.
enum class Search { System, ProgramThenSystem };

struct Library {
  const char* name;
  Search search;
};

// Returns the entry point, or null when the library or the entry is missing.
using Resolver = void* (*)(const Library& library, const char* entry);

// Installs the backend's resolver and forgets every binding made so far.
void SetResolver(Resolver resolver);

// The entry point, or BindError.
void* Resolve(const Library& library, const char* entry);

// Changes whenever SetResolver is called, so bindings made through an older resolver are redone.
unsigned BindingGeneration();

template <typename Fn>
class LazyProc {
 public:
  constexpr LazyProc(Library library, const char* entry) : library_(library), entry_(entry) {}

  template <typename... Args>
  decltype(auto) operator()(Args&&... args) {
    return Get()(std::forward<Args>(args)...);
  }

  Fn Get() {
    if (fn_ == nullptr || generation_ != BindingGeneration()) {
      // Through void*: a direct cast between unrelated function types trips -Wcast-function-type.
      fn_ = reinterpret_cast<Fn>(Resolve(library_, entry_));
      generation_ = BindingGeneration();
    }
    return fn_;
  }

 private:
  Library library_;
  const char* entry_;
  Fn fn_ = nullptr;
  unsigned generation_ = 0;
};

}  // namespace platform
