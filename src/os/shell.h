#pragma once
#include <string>
#include <string_view>

#include "os/platform.h"

// Shell services of the platform: the per-thread COM apartment, shell links (shortcuts) and the
// folder in which the default install folder is proposed.
namespace corvane::os {

// COM for the calling thread as a single-threaded apartment for as long as the object lives
// (CoInitializeEx / CoUninitialize on Windows; nothing to set up on Linux). Shell links and the
// folder dialog need it on the thread that uses them.
class ThreadApartment {
 public:
  ThreadApartment();
  ~ThreadApartment();
  ThreadApartment(const ThreadApartment&) = delete;
  ThreadApartment& operator=(const ThreadApartment&) = delete;

  // False when the initialisation failed; the destructor then undoes nothing.
  bool initialized() const { return initialized_; }

 private:
  bool initialized_ = false;
};

// File-name suffix of a shell link: ".lnk" on Windows, a freedesktop launcher ".desktop" on Linux.
inline constexpr std::wstring_view kShellLinkSuffix = kIsWindows ? L".lnk" : L".desktop";

// What a shell link holds. Arguments, hot key and show command keep the shell's defaults.
struct ShellLink {
  std::wstring target;       // the program the link starts
  std::wstring working_dir;  // its current folder
  std::wstring description;  // the tooltip (and, on Linux, the launcher's name)
  std::wstring icon;         // the file that holds the icon, index 0
};

// Writes `link` to `path`, replacing a file of that name: IShellLinkW saved through IPersistFile on
// Windows (the calling thread holds a ThreadApartment); a desktop entry written atomically on
// Linux. False when the link could not be written.
[[nodiscard]] bool save_shell_link(std::wstring_view path, const ShellLink& link);

// The folder that holds the proposed default install folder: "C:\" on Windows, $HOME on Linux.
// Empty when it cannot be resolved.
std::wstring default_install_parent();

}  // namespace corvane::os
