#pragma once
#include <string_view>

// Preparing the client folder of an install run.
namespace corvane {

// Creates the folder and every missing parent. True when it was created, already existed, or a
// file of that name exists (the write test then decides); false for a path that is not fully
// qualified and for any other failure.
bool ensure_directory(std::wstring_view path);

// Whether new files can be written in `folder`: creates folder + sep + ".crvn_write_test" and
// deletes it again at once. False when either step fails.
bool can_write_folder(std::wstring_view folder);

}  // namespace corvane
