#include "os/registry.h"

#include <utility>

// Ownership of the open key; opening, setting values and closing are the platform's (os/posix
// and os/win32).
namespace corvane::os {

RegistryKey::~RegistryKey() { close(); }

RegistryKey::RegistryKey(RegistryKey&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

}  // namespace corvane::os
