#include "platform/win32/lazy_proc.h"

namespace platform::win32 {
namespace {

Resolver currentResolver = nullptr;
unsigned generation = 1;

}  // namespace

void SetResolver(Resolver resolver) {
  currentResolver = resolver;
  ++generation;
}

void* Resolve(const Library& library, const char* entry) {
  void* address = currentResolver != nullptr ? currentResolver(library, entry) : nullptr;
  if (address == nullptr) throw BindError(library.name, entry);
  return address;
}

unsigned BindingGeneration() { return generation; }

}  // namespace platform::win32
