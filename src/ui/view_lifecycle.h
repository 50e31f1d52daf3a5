#pragma once
#include <chrono>
#include <optional>
#include <utility>

#include "ui/ui_host.h"

// The decisions about the page's view over the window's life: a failed creation is tried once
// more; no runtime at all is offered for download; a page whose renderer died is loaded again in
// the same view, a view that died is made anew, and a page reported unresponsive is left alone
// unless that lasts and it then fails to answer a ping; a second loss soon after the first ends
// the attempts. A run under way is never touched by any of this. The window procedure carries the
// decisions out. Window thread only.
namespace corvane {

// Two losses of the page less than this apart mean that bringing it back does not help.
inline constexpr std::chrono::seconds kViewDeathWindow{60};
// A page reported unresponsive for this long is pinged; shorter spells (a busy system) are
// ignored.
inline constexpr std::chrono::seconds kUnresponsiveGrace{10};
// Reports further apart than this belong to separate spells: the renderer answered in between.
inline constexpr std::chrono::seconds kUnresponsiveGap{20};

class ViewLifecycle {
 public:
  using Clock = std::chrono::steady_clock;

  enum class Next {
    Nothing,         // nothing to do (a short spell, or the attempts have already ended)
    Retry,           // create the view again, after a pause
    RuntimePrompt,   // say which runtime is missing, offer its download page, then close
    CreationError,   // tell the error code, then close
    Recreate,        // release the dead view and create a new one now
    Reload,          // load the start page again in the same view
    Ping,            // ask the page for a sign of life, and wait for it a while
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
  // The view died at `now` (its browser process ended): Recreate, or GiveUp soon after a loss.
  Next view_died(Clock::time_point now);
  // Only the page's renderer died at `now`: Reload, or GiveUp soon after a loss.
  Next renderer_exited(Clock::time_point now);
  // The page was reported unresponsive at `now`: Ping once a spell has lasted kUnresponsiveGrace
  // (and no ping is out), Nothing before.
  Next unresponsive(Clock::time_point now);
  // The page answered the ping: the spell is over.
  void ping_answered();
  // The ping went unanswered until `now`: the page is lost and its view made anew (Recreate), or
  // GiveUp soon after a loss. Nothing when no ping was out.
  Next ping_timed_out(Clock::time_point now);

  // The attempts have ended after a view existed: the window closes once the run has ended.
  bool given_up() const { return given_up_; }
  // Whether any view was ever created.
  bool had_view() const { return had_view_; }
  // True once for each Retry decided: the pause is over, the view is to be made again now.
  bool take_retry() { return std::exchange(retry_due_, false); }

 private:
  Next give_up();
  // A loss of the page at `now`: `recovery`, unless one came less than kViewDeathWindow before.
  Next lost(Clock::time_point now, Next recovery);

  ViewResult failure_;
  bool had_view_ = false;
  bool retried_ = false;
  bool retry_due_ = false;
  bool given_up_ = false;
  bool ping_out_ = false;
  std::optional<Clock::time_point> last_death_;
  std::optional<Clock::time_point> unresponsive_since_;
  std::optional<Clock::time_point> unresponsive_last_;
};

}  // namespace corvane
