#include "ui/host_window.h"

#include "ui/app_state.h"
#include "ui/ui_host.h"

namespace corvane {

void set_cloaked(bool cloaked) {
  AppState& s = app_state();
  s.host->set_cloaked(cloaked);
  s.cloaked = cloaked;
}

void reveal_window() {
  AppState& s = app_state();
  s.host->kill_timer(REVEAL_TIMER_ID);
  if (s.cloaked) {
    set_cloaked(false);
    s.host->bring_to_foreground();
    // The keyboard works in the page from the start, without a click into it first.
    s.host->focus_view();
  }
}

}  // namespace corvane
