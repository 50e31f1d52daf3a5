#pragma once
#include <chrono>
#include <optional>
#include <utility>

#include "ui/ui_host.h"

// The decisions about the page's view over the window's life: a failed creation is tried once
// more; no runtime at all is offered for download; a view whose processes died is made anew, but
// a second death soon after the first ends the attempts. The window procedure carries the
// decisions out. Window thread only.
namespace corvane {

// Two deaths of the view less than this apart mean that recreating it does not help.
inline constexpr std::chrono::seconds kViewDeathWindow{60};

class ViewLifecycle {
 public:
  using Clock = std::chrono::steady_clock;

  enum class Next {
    Nothing,         // nothing to do (the attempts have already ended)
    Retry,           // create the view again, after a pause
    RuntimePrompt,   // offer the runtime's download page, then close
    CreationError,   // tell the error code, then close
    Recreate,        // release the dead view and create a new one now
    GiveUp,          // tell the user; close once no run is under way
  };

  // A view has been created: later failures are failures of a window the user has seen.
  void created();
  // A creation failed; the decision waits for creation_failed.
  void report_failure(const ViewResult& result) { failure_ = result; }
  const ViewResult& failure() const { return failure_; }
  // What to do about the reported failure. The first failure of a kind other than a missing
  // runtime is retried; a second one ends the attempts (before any view existed: with the error
  // code; after: GiveUp).
  Next creation_failed();
  // The view's processes died at `now`.
  Next view_died(Clock::time_point now);

  // The attempts have ended after a view existed: the window closes once the run has ended.
  bool given_up() const { return given_up_; }
  // Whether any view was ever created.
  bool had_view() const { return had_view_; }
  // True once for each Retry decided: the pause is over, the view is to be made again now.
  bool take_retry() { return std::exchange(retry_due_, false); }

 private:
  Next give_up();

  ViewResult failure_;
  bool had_view_ = false;
  bool retried_ = false;
  bool retry_due_ = false;
  bool given_up_ = false;
  std::optional<Clock::time_point> last_death_;
};

}  // namespace corvane
