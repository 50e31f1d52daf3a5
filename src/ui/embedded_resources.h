#pragma once
#include <string_view>

// The bytes of an embedded resource, by name: RCDATA resources of the executable on Windows,
// data compiled into the binary on Linux. Read-only and alive for the whole process; empty when
// there is no such resource.
namespace corvane {

std::string_view load_embedded_resource(std::wstring_view name);

}  // namespace corvane
