#include "os/known_folders.h"

#include <cstdlib>
#include <string>

#include "os/fs.h"
#include "os/posix/path_posix.h"
#include "os/text.h"

namespace corvane::os {
namespace {

std::string env_or(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value && *value ? std::string(value) : fallback;
}

std::string home() { return env_or("HOME", ""); }

// $XDG_DATA_HOME, else $HOME/.local/share; empty without either.
std::string data_home() {
  const std::string h = home();
  return env_or("XDG_DATA_HOME", h.empty() ? "" : h + "/.local/share");
}

std::string strip_trailing_slashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// XDG_DESKTOP_DIR from $XDG_CONFIG_HOME/user-dirs.dirs ("$HOME/Desktop" form), else $HOME/Desktop.
std::string desktop_dir() {
  const std::string h = home();
  if (h.empty()) return {};
  const std::string config = env_or("XDG_CONFIG_HOME", h + "/.config");
  std::string text;
  if (read_file(posix::wide_path(config + "/user-dirs.dirs"), text)) {
    std::size_t pos = 0;
    while (pos < text.size()) {
      std::size_t end = text.find('\n', pos);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(pos, end - pos);
      pos = end + 1;
      const std::string key = "XDG_DESKTOP_DIR=\"";
      if (line.rfind(key, 0) != 0) continue;
      const std::size_t close = line.find('"', key.size());
      if (close == std::string::npos) continue;
      std::string value = line.substr(key.size(), close - key.size());
      if (value.rfind("$HOME", 0) == 0) value = h + value.substr(5);
      if (!value.empty() && value.front() == '/') return strip_trailing_slashes(value);
    }
  }
  return h + "/Desktop";
}

}  // namespace

std::wstring known_folder_path(KnownFolder folder) {
  std::string path;
  switch (folder) {
    case KnownFolder::Desktop: path = desktop_dir(); break;
    case KnownFolder::Programs: {
      const std::string data = data_home();
      if (!data.empty()) path = data + "/applications";
      break;
    }
    case KnownFolder::LocalAppData: path = data_home(); break;
    case KnownFolder::ProgramData: {
      const std::string dirs = env_or("XDG_DATA_DIRS", "/usr/local/share:/usr/share");
      path = dirs.substr(0, dirs.find(':'));
      break;
    }
    case KnownFolder::Profile: path = home(); break;
  }
  if (path.empty() || path.front() != '/') return {};
  return posix::wide_path(strip_trailing_slashes(path));
}

}  // namespace corvane::os
