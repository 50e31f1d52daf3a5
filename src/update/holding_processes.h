#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Programs that have client files loaded and must end before those files are replaced. Programs
// that run from the client folder itself are never touched.
namespace corvane {

// How long a program gets to close after being asked, and to end after being terminated.
inline constexpr std::uint32_t kCloseWaitMs = 8000;

// Ids of the processes, other than this one, that run from outside `client_dir` and have one of
// `targets` loaded; in the order the system lists them.
std::vector<std::uint32_t> find_holding_processes(std::wstring_view client_dir,
                                                  const std::vector<std::wstring>& targets);

// Asks each process of find_holding_processes to close, one after the other, printing
// "[*] Obnovlenie: zakryvaem NAME, on derzhit fayly klienta." for each; a process that has not
// ended after `wait_ms` is terminated and waited for once more. Failures are ignored.
void close_holding_processes(std::wstring_view client_dir, const std::vector<std::wstring>& targets,
                             std::uint32_t wait_ms = kCloseWaitMs);

// The closing half of close_holding_processes for ids listed earlier. Each id is opened first and
// then checked again (outside the client folder, a target loaded, still running): an id whose
// program has ended since, and which may now name another program, is never signalled.
void close_listed_processes(const std::vector<std::uint32_t>& pids, std::wstring_view client_dir,
                            const std::vector<std::wstring>& targets, std::uint32_t wait_ms);

// Full path of the program of process `pid`; empty when it cannot be read.
std::wstring process_image_path(std::uint32_t pid);

// The process has one of `targets` loaded (compared whole, letter case ignored). False when its
// modules cannot be read.
bool process_has_module(std::uint32_t pid, const std::vector<std::wstring>& targets);

// `path` lies below `dir`: it is longer, has the separator right after `dir`'s length, and starts
// with `dir` (letter case ignored).
bool is_inside_dir(std::wstring_view path, std::wstring_view dir);

}  // namespace corvane
