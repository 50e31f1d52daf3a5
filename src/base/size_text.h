#pragma once
#include <cstdint>
#include <string>

namespace corvane {

// A byte count as the setup's page writes it: "1,5 Gb" and "12,0 Mb" with one decimal after a
// decimal comma, "640 Kb" in whole kibibytes (1 Gb = 1073741824 bytes, 1 Mb = 1048576, 1 Kb = 1024).
std::string size_text(std::uint64_t bytes);

}  // namespace corvane
