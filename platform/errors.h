// Failures the platform raises to the window's logic.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace platform {

// A library or one of its entry points could not be found.
class BindError : public std::runtime_error {
 public:
  BindError(const std::string& library, const std::string& entry)
      : std::runtime_error("cannot bind " + library + "!" + entry), library_(library), entry_(entry) {}
  const std::string& Library() const { return library_; }
  const std::string& Entry() const { return entry_; }

 private:
  std::string library_, entry_;
};

// A COM call answered a failure status (an HRESULT with the sign bit set).
class ComError : public std::runtime_error {
 public:
  explicit ComError(std::int32_t status) : std::runtime_error("COM failure"), status_(status) {}
  std::int32_t Status() const { return status_; }

 private:
  std::int32_t status_;
};

}  // namespace platform
