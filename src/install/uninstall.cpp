#include "install/uninstall.h"

#include <string>
#include <vector>

#include "base/paths.h"
#include "install/install_target.h"
#include "install/programs_entry.h"
#include "install/shortcuts.h"
#include "os/fs.h"
#include "os/held_entry.h"
#include "os/registry.h"

namespace corvane {
namespace {

// The client's names in the order of removal; the last one only with the resources.
constexpr const wchar_t* kClientNames[] = {
    L"Corvane.exe", L"GTA5.exe",      L"bin",          L"data",    L"logs",
    L"update",      L"config.json",   L"launcher.json", L"game_args.txt", L"uninstall.exe",
    L"gta_path.txt", L"webview",      L"cache",        L"Corvane.exe.crvnold", L"release.serial",
};
constexpr wchar_t kResourcesName[] = L"client_resources";

// One of the names above, or the resources (which stay when the user keeps them).
bool is_client_name(std::wstring_view name) {
  for (const wchar_t* own : kClientNames) {
    if (name == own) return true;
  }
  return name == kResourcesName;
}

void delete_shortcut(const std::wstring& path) {
  if (!path.empty()) (void)os::delete_file(path);
}

}  // namespace

namespace {

// Removes the held object with everything below it, each entry reached through the held folder.
bool remove_held(os::HeldEntry& entry) {
  const os::FileInfo& info = entry.info();
  // Another file system mounted here is not the client's to empty: it stays whole, and so does
  // the folder it is mounted on.
  if (info.is_mount_point) return false;
  if (!info.is_directory || info.is_link) return entry.remove() == os::kErrorSuccess;
  bool ok = true;
  std::vector<os::DirEntry> entries;
  if (entry.list(entries)) {
    for (const os::DirEntry& listed : entries) {
      os::HeldEntry child;
      const os::ErrorCode e = entry.open_child(listed.name, child);
      if (e == os::kErrorFileNotFound || e == os::kErrorPathNotFound) continue;  // gone meanwhile
      ok = (e == os::kErrorSuccess && remove_held(child)) && ok;
    }
  }
  return entry.remove() == os::kErrorSuccess && ok;
}

}  // namespace

bool delete_tree(std::wstring_view path) {
  os::HeldEntry entry;
  const os::ErrorCode e = entry.open(path);
  if (e == os::kErrorFileNotFound || e == os::kErrorPathNotFound) return true;
  return e == os::kErrorSuccess && remove_held(entry);
}

bool remove_client(std::wstring_view client_dir, bool remove_resources, std::vector<std::wstring>* kept) {
  // An empty folder would turn every name into a path at the root of the file system; the game's
  // own files carry some of the client's names (GTA5.exe, update).
  if (client_dir.empty() || within_game_dir(client_dir)) return false;
  bool ok = true;
  for (const wchar_t* name : kClientNames) ok = delete_tree(join_path(client_dir, name)) && ok;
  if (remove_resources) ok = delete_tree(join_path(client_dir, kResourcesName)) && ok;
  delete_shortcut(desktop_shortcut_path());
  delete_shortcut(start_menu_shortcut_path());
  if (ok) {
    (void)os::delete_registry_tree(os::RegistryRoot::CurrentUser, kProgramsKey);
    (void)os::remove_directory(client_dir);
  }
  if (kept != nullptr) {
    kept->clear();
    std::vector<os::DirEntry> entries;
    if (os::list_directory(client_dir, entries)) {
      for (os::DirEntry& entry : entries) {
        if (!is_client_name(entry.name)) kept->push_back(std::move(entry.name));
      }
    }
  }
  return ok;
}

bool run_uninstall(std::wstring_view client_dir, bool remove_resources, RunReport& report) {
  if (within_game_dir(client_dir)) {
    report.failed(RunError::UninstallInGameFolder, client_dir, nullptr);
    return false;
  }
  std::vector<std::wstring> kept;
  if (!remove_client(client_dir, remove_resources, &kept)) {
    report.failed(RunError::NotAllRemoved, client_dir, nullptr);
    return false;
  }
  report.uninstalled(kept);
  return true;
}

}  // namespace corvane
