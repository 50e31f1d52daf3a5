#include "app/view_lifecycle.h"

namespace corvane {

void ViewLifecycle::created() {
  had_view_ = true;
  retried_ = false;
}

ViewLifecycle::Next ViewLifecycle::creation_failed() {
  if (given_up_) return Next::Nothing;
  // Without a runtime another attempt cannot succeed; the first view is then offered for
  // download, a later one (the runtime removed under a running setup) is given up.
  if (failure_.status == ViewStatus::RuntimeMissing) return had_view_ ? give_up() : Next::RuntimePrompt;
  if (!retried_) {
    retried_ = true;
    retry_due_ = true;
    return Next::Retry;
  }
  return had_view_ ? give_up() : Next::CreationError;
}

ViewLifecycle::Next ViewLifecycle::view_died(Clock::time_point now) {
  if (given_up_) return Next::Nothing;
  if (last_death_ && now - *last_death_ < kViewDeathWindow) return give_up();
  last_death_ = now;
  retried_ = false;
  return Next::Recreate;
}

ViewLifecycle::Next ViewLifecycle::give_up() {
  given_up_ = true;
  retry_due_ = false;
  return Next::GiveUp;
}

}  // namespace corvane
