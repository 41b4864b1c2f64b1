#include "bindings.h"

#include <string>

namespace {
Bindings* current = nullptr;
}  // namespace

Bindings::Bindings() {
  current = this;
  platform::win32::SetResolver(&Bindings::Resolve);
}

Bindings::~Bindings() {
  current = nullptr;
  platform::win32::SetResolver(nullptr);
}

void* Bindings::Resolve(const platform::win32::Library& library, const char* entry) {
  if (current == nullptr) return nullptr;
  current->requests_.emplace_back(std::string(library.name) + "!" + entry, library.search);
  const auto found = current->table_.find({library.name, entry});
  return found == current->table_.end() ? nullptr : found->second;
}
