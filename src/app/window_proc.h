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

// Tells the user that the web view runtime is missing (or, when the failure reported was
// RuntimeWithoutX64, that its part for x64 programs is) and offers its download page; then closes
// the window.
void show_runtime_missing();

// The window's rectangle on a monitor of `dpi` (96 = 100 %) whose work area is `work_area`: the
// page fitted to it as at start-up (compute_window_scale), centred on the work area. The host
// takes its size when the system asks what size the window wants at a new DPI, and the whole of
// it when the window turns out to have opened on a monitor of another DPI than the system's.
ScreenRect placement_on_monitor(std::uint32_t dpi, const ScreenRect& work_area);

// The view is `width` x `height` physical pixels and the runtime scales its content by
// `rasterization_scale`: the zoom factor at which the page fills it (page_zoom with the run
// mode's page size), kept in AppState::zoom. The last zoom while the view has no area.
double view_zoom_for(std::int32_t width, std::int32_t height, double rasterization_scale);

// The system asks whether the session may end (a logoff or shutdown). Not while a run is under
// way: the window then keeps its reason for holding it up (shutdown_reason) and answers false.
bool session_may_end();

}  // namespace corvane
