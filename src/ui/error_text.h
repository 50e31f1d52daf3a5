#pragma once
#include <string>

#include "update/update_run.h"

namespace corvane {

// The Russian text that the page shows for a failed update run, chosen by its status; the text
// for a busy or unwritable file names the file, and the latter the system error code.
std::wstring error_text_for(const UpdateResult& result);

}  // namespace corvane
