#pragma once
#include <string_view>

namespace corvane {

// Window thread. Starts folder + "Corvane.exe" in `folder` with a console of its own and does not
// wait for it. True when it was started.
bool launch_client(std::wstring_view folder);

}  // namespace corvane
