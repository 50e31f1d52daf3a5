#include "ui/view_lifecycle.h"

namespace corvane {

void ViewLifecycle::created() {
  had_view_ = true;
  retried_ = false;
  ping_out_ = false;
  unresponsive_since_.reset();
  unresponsive_last_.reset();
}

ViewLifecycle::Next ViewLifecycle::creation_failed() {
  if (given_up_) return Next::Nothing;
  // Without a usable runtime another attempt cannot succeed; the first view is then offered for
  // download, a later one (the runtime removed under a running setup) is given up.
  if (failure_.status == ViewStatus::RuntimeMissing || failure_.status == ViewStatus::RuntimeWithoutX64) {
    return had_view_ ? give_up() : Next::RuntimePrompt;
  }
  // Another attempt would be refused the same way.
  if (failure_.status == ViewStatus::OtherAccount) return had_view_ ? give_up() : Next::CreationError;
  if (!retried_) {
    retried_ = true;
    retry_due_ = true;
    return Next::Retry;
  }
  return had_view_ ? give_up() : Next::CreationError;
}

ViewLifecycle::Next ViewLifecycle::view_died(Clock::time_point now) { return lost(now, Next::Recreate); }

ViewLifecycle::Next ViewLifecycle::renderer_exited(Clock::time_point now) { return lost(now, Next::Reload); }

ViewLifecycle::Next ViewLifecycle::unresponsive(Clock::time_point now) {
  if (given_up_ || ping_out_) return Next::Nothing;
  if (!unresponsive_since_ || (unresponsive_last_ && now - *unresponsive_last_ > kUnresponsiveGap)) {
    unresponsive_since_ = now;
  }
  unresponsive_last_ = now;
  if (now - *unresponsive_since_ < kUnresponsiveGrace) return Next::Nothing;
  ping_out_ = true;
  return Next::Ping;
}

void ViewLifecycle::ping_answered() {
  ping_out_ = false;
  unresponsive_since_.reset();
  unresponsive_last_.reset();
}

ViewLifecycle::Next ViewLifecycle::ping_timed_out(Clock::time_point now) {
  if (!ping_out_) return Next::Nothing;
  ping_answered();
  // A renderer that hangs may not take a reload either; a new view ends it.
  return lost(now, Next::Recreate);
}

ViewLifecycle::Next ViewLifecycle::lost(Clock::time_point now, Next recovery) {
  if (given_up_) return Next::Nothing;
  ping_out_ = false;
  unresponsive_since_.reset();
  unresponsive_last_.reset();
  if (last_death_ && now - *last_death_ < kViewDeathWindow) return give_up();
  last_death_ = now;
  retried_ = false;
  return recovery;
}

ViewLifecycle::Next ViewLifecycle::give_up() {
  given_up_ = true;
  retry_due_ = false;
  ping_out_ = false;
  return Next::GiveUp;
}

}  // namespace corvane
