// Binds DLL entry points by library and entry name at their first call. One typed binder serves
// every dynamically bound call of the program, so a missing library fails the same way
// everywhere: a BindError at the call site. No <windows.h> here: the code that binds through it
// builds and is tested natively, with a resolver of the test's own.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace platform::win32 {

// A library or one of its entry points could not be found.
class BindError : public std::runtime_error {
 public:
  BindError(const std::string& library, const std::string& entry)
      : std::runtime_error("cannot bind " + library + "!" + entry) {}
};

// Where a library may be loaded from. System libraries come from the system directory only, so
// a planted copy in the current or program folder is never picked up; a library of our own
// comes from the program folder first; an exact one is named by its full path.
enum class Search { System, ProgramThenSystem, Exact };

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

}  // namespace platform::win32
