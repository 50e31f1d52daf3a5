#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "ui/ui_host.h"

// The portable window procedure: what the window thread does with each window message. The host
// (ui/ui_host.h) delivers the messages; everything here runs on the window thread.
namespace corvane {

// Handles one message. `text` is the page message of WM_UI_MESSAGE (owned from here on, freed
// in every case) and null otherwise; `wparam` is the timer id of kWindowTimer. False for a message
// that is not handled here: the host then does its default processing.
bool window_proc(WindowMessage message, std::uintptr_t wparam, std::unique_ptr<std::wstring> text);

// The host's answer to create_view. A created view is recorded at once; a failure is handled once
// the host has returned (WM_VIEW_UNAVAILABLE): it is tried again once, unless no runtime is
// installed, which is offered for download (show_runtime_missing); when the second attempt fails
// too, the user is told the error code and the window closes.
void on_view_created(const ViewResult& result);

// Tells the user that the web view runtime is missing and offers its download page; then closes
// the window.
void show_runtime_missing();

// The system moved the window to a monitor of `dpi` (96 = 100 %) whose work area is `work_area`,
// and suggests `suggested` as its new rectangle. The page is fitted to that monitor as at start-up
// (compute_window_scale); the window takes that size, centred where the suggestion is, and the
// view that zoom.
void on_dpi_changed(const ScreenRect& suggested, std::uint32_t dpi, const ScreenRect& work_area);

// The system asks whether the session may end (a logoff or shutdown). Not while a run is under
// way: the window then keeps its reason for holding it up (shutdown_reason) and answers false.
bool session_may_end();

}  // namespace corvane
