// Entry points for the Windows backend's lazy binder, by library and entry name: the stand-ins
// the native tests hand it. Installing one replaces the resolver and forgets earlier bindings;
// the destructor leaves no resolver behind.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/lazy_proc.h"

class Bindings {
 public:
  Bindings();
  ~Bindings();
  Bindings(const Bindings&) = delete;
  Bindings& operator=(const Bindings&) = delete;

  template <typename Fn>
  void Add(const std::string& library, const char* entry, Fn function) {
    table_[{library, entry}] = reinterpret_cast<void*>(function);
  }
  // Libraries and entries asked for, in order ("library!entry"), with where they may load from.
  const std::vector<std::pair<std::string, platform::win32::Search>>& Requests() const { return requests_; }

 private:
  static void* Resolve(const platform::win32::Library& library, const char* entry);
  std::map<std::pair<std::string, std::string>, void*> table_;
  std::vector<std::pair<std::string, platform::win32::Search>> requests_;
};
