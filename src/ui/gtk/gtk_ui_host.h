#pragma once
#include <memory>

#include "ui/ui_host.h"

// The Linux window host: one GTK 3 window carrying a WebKitGTK view of the embedded page. The
// page is served from the custom scheme of kVirtualOrigin, and `window.chrome.webview` is
// provided to it by a user script, so the page speaks the same bridge as on Windows.
namespace corvane {

// Makes the GTK host, which hands the window's messages, the view's creation and the page's
// commands to `handlers` (one host per process). Initialises GTK on the calling thread, which
// becomes the window thread; null when there is no display to open.
std::unique_ptr<UiHost> make_gtk_ui_host(HostHandlers handlers);

}  // namespace corvane
