#include "update/holding_processes.h"

#include <cstdio>

#include "os/platform.h"
#include "os/process.h"
#include "os/text.h"

namespace corvane {
namespace {

// The program of `pid` when it runs from outside `client_dir` and has one of `targets` loaded;
// empty otherwise.
std::wstring holder_image(std::uint32_t pid, std::wstring_view client_dir,
                          const std::vector<std::wstring>& targets) {
  std::wstring image = process_image_path(pid);
  if (image.empty() || is_inside_dir(image, client_dir) || !process_has_module(pid, targets)) return {};
  return image;
}

}  // namespace

std::wstring process_image_path(std::uint32_t pid) { return os::process_image_path(pid); }

bool process_has_module(std::uint32_t pid, const std::vector<std::wstring>& targets) {
  std::vector<std::wstring> modules;
  if (!os::process_modules(pid, modules)) return false;
  for (const std::wstring& module : modules) {
    for (const std::wstring& target : targets) {
      if (os::equal_ignoring_case(module, target)) return true;
    }
  }
  return false;
}

bool is_inside_dir(std::wstring_view path, std::wstring_view dir) {
  return path.size() > dir.size() && path[dir.size()] == os::kSep &&
         os::equal_ignoring_case(path.substr(0, dir.size()), dir);
}

std::vector<std::uint32_t> find_holding_processes(std::wstring_view client_dir,
                                                  const std::vector<std::wstring>& targets) {
  std::vector<std::uint32_t> holders;
  std::vector<os::ProcessId> ids;
  if (!os::list_process_ids(ids)) return holders;
  const os::ProcessId self = os::current_process_id();
  for (const os::ProcessId pid : ids) {
    if (pid == 0 || pid == self) continue;
    if (!holder_image(pid, client_dir, targets).empty()) holders.push_back(pid);
  }
  return holders;
}

void close_listed_processes(const std::vector<std::uint32_t>& pids, std::wstring_view client_dir,
                            const std::vector<std::wstring>& targets, std::uint32_t wait_ms) {
  for (const std::uint32_t pid : pids) {
    os::ProcessHandle process;
    if (!process.open(pid)) continue;
    // The id was listed a moment ago; its program may have ended since and the id gone to another
    // one. Only the process the handle holds is ever signalled, and only when it is checked again
    // now, after the handle pinned it, and is still running afterwards.
    const std::wstring image = holder_image(pid, client_dir, targets);
    if (image.empty() || process.wait(0)) continue;
    const std::size_t sep = image.find_last_of(os::kSep);
    const std::wstring name = sep == std::wstring::npos ? image : image.substr(sep + 1);
    // The name is printed as UTF-8 with %s: %ls would depend on the C locale of the process.
    std::printf("[*] Obnovlenie: zakryvaem %s, on derzhit fayly klienta.\n", os::to_utf8(name).c_str());
    (void)process.ask_to_close();
    if (!process.wait(wait_ms)) {
      (void)process.terminate();
      (void)process.wait(wait_ms);
    }
  }
}

void close_holding_processes(std::wstring_view client_dir, const std::vector<std::wstring>& targets,
                             std::uint32_t wait_ms) {
  close_listed_processes(find_holding_processes(client_dir, targets), client_dir, targets, wait_ms);
}

}  // namespace corvane
