#pragma once
#include <string>
#include <string_view>

#include "install/run_report.h"

// The install and uninstall runs of the window report to the page.
namespace corvane {

// The report to the page: "stage", "progress", "error", "installed" and "uninstalled" messages.
RunReport& page_report();

}  // namespace corvane
