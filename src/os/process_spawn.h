#pragma once
#include <string>
#include <string_view>
#include <vector>

// Starting programs, and the running program's own file.
namespace corvane::os {

// The full path of the running executable (GetModuleFileNameW; the target of /proc/self/exe on
// Linux). Empty when it cannot be read.
std::wstring module_file_path();

// Starts `program` with `args` (the program's own name is not among them) in `working_dir` and
// does not wait for it. No handle but the standard ones is inherited. `new_console`: the program
// gets a console of its own on Windows (CREATE_NEW_CONSOLE); on Linux every program starts in a
// session of its own, so that it outlives the setup. True when the program was started.
[[nodiscard]] bool start_process(std::wstring_view program, const std::vector<std::wstring>& args,
                                 std::wstring_view working_dir, bool new_console);

// Removes the running program's file `path` once the process has ended, fire and forget (a
// delayed delete through cmd.exe on Windows; on Linux the file is unlinked at once, which a
// running program allows). Failures are ignored. On Windows cmd.exe and PING.EXE are started by
// their full paths in the system folder, from that folder, without AutoRun commands and without
// delayed expansion, and `path` is handed over in quotes only when cmd.exe takes it as it stands:
// a path with '%' or '!' (which cmd.exe would read as variables) is never handed over, and its
// file stays.
void delete_executable_after_exit(std::wstring_view path);

// Deletes the program file `path` unless a process runs it (Windows itself refuses to delete a
// running program's file; on Linux the running processes are looked through first). True when the
// file was deleted.
[[nodiscard]] bool delete_program_unless_running(std::wstring_view path);

}  // namespace corvane::os
