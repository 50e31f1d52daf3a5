#pragma once
#include <string>

// Where the Linux web view keeps its data (the network process's stores and caches): a folder
// "Corvane-Setup" that only the user can reach. A shared temporary folder will not do: another
// user could create the folder first and read or plant what the view writes there.
namespace corvane {

inline constexpr char kWebDataFolderName[] = "Corvane-Setup";

// Makes `base`/Corvane-Setup (and `base` itself when missing, mode 0700) and returns its path
// when it is safe to use: a real directory (no link), owned by the effective user, mode 0700
// (tightened when the user owns it), inside a parent that no other user can rename entries of
// (owned by the user or root, and writable by no one else unless sticky). Empty when `base` is
// not an absolute path or the folder is not safe; the caller then keeps the view's data in memory.
std::string prepare_web_data_dir(const std::string& base);

}  // namespace corvane
