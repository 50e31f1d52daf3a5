#pragma once
#include <string_view>

// Preparing the client folder of an install run.
namespace corvane {

// A fully qualified path: "X:\..." or "\\server\..." on Windows, "/..." on Linux.
bool is_fully_qualified(std::wstring_view path);

// Creates the folder and every missing parent. True when it was created, already existed, or a
// file of that name exists (the write test then decides); false for a path that is not fully
// qualified and for any other failure.
bool ensure_directory(std::wstring_view path);

// ensure_directory for the client folder, which only its user may change: a folder made here is
// made private to the user (os::create_private_directory; its missing parents are made as
// ensure_directory makes them), and an existing folder that the user owns is made private
// (os::make_directory_private). An existing folder of another owner, or a link, is left as it is.
// True and false as for ensure_directory.
bool ensure_client_folder(std::wstring_view path);

// Whether new files can be written in `folder`: creates folder + sep + ".crvn_write_test" as a
// new file and deletes it again at once. Whatever already has that name is removed first, as
// itself (a link goes as a link; its target is never opened). False when a step fails.
bool can_write_folder(std::wstring_view folder);

}  // namespace corvane
