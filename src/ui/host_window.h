#pragma once

// Visibility of the host window; window thread only.
namespace corvane {

// Hides the shown window from view (true) or lets it be seen (false), and records it in
// AppState::cloaked.
void set_cloaked(bool cloaked);

// Stops the reveal timer; the first call also uncloaks the window, brings it to the foreground
// and gives the page the keyboard focus. Later calls only stop the timer again.
void reveal_window();

}  // namespace corvane
