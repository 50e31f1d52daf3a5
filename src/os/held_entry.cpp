#include "os/held_entry.h"

#include <utility>

// Ownership of what is held, the same on every platform; opening, listing, removing and closing
// are the platform's (os/posix and os/win32).
namespace corvane::os {

HeldEntry::~HeldEntry() { close(); }

HeldEntry::HeldEntry(HeldEntry&& other) noexcept
    : path_(std::move(other.path_)),
      info_(other.info_),
      handle_(std::exchange(other.handle_, -1)),
      parent_(std::exchange(other.parent_, -1)),
      name_(std::move(other.name_)) {}

HeldEntry& HeldEntry::operator=(HeldEntry&& other) noexcept {
  if (this != &other) {
    close();
    path_ = std::move(other.path_);
    info_ = other.info_;
    handle_ = std::exchange(other.handle_, -1);
    parent_ = std::exchange(other.parent_, -1);
    name_ = std::move(other.name_);
  }
  return *this;
}

}  // namespace corvane::os
