#pragma once

// The custom URI scheme that serves the embedded page to WebKitGTK (the virtual origin of
// ui/asset_table.h). GTK side of the window host only.
typedef struct _WebKitWebContext WebKitWebContext;

namespace corvane {

// Registers the scheme on `context`, as secure and CORS-enabled (never "local": a local scheme
// would block the page's module script), answering every request with serve_resource.
void register_page_scheme(WebKitWebContext* context);

}  // namespace corvane
