#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "install/install_request.h"

// The page's commands: plain text with '|' between the fields, carried out on the window thread.
namespace corvane {

// A command's fields; field 0 is its name. There is no escaping: a field cannot hold '|'.
using UiCommand = std::vector<std::wstring>;

// Cuts the text at every '|'. A text without '|' is one field (an empty text one empty field);
// adjacent separators give an empty field between them, a trailing one an empty last field.
UiCommand split_command(std::wstring_view text);

// The work that the "install" and "uninstall" commands hand to the worker thread. Each job runs on
// the worker with its own copy of the request.
struct CommandJobs {
  std::function<void(const InstallRequest&)> install;
  std::function<void(const UninstallRequest&)> uninstall;
};

// The setup's own jobs: the install run and the uninstall run.
CommandJobs setup_jobs();

// Window thread. Carries out one command of the page with the setup's own jobs. Names compare
// exactly; a name not in the vocabulary, a command whose condition fails and surplus fields are
// ignored without a reply.
void dispatch_command(std::wstring_view text);
// The same with other jobs (tests run them in place of the real runs).
void dispatch_command(std::wstring_view text, const CommandJobs& jobs);

// Window thread. Gives the "init" message straight to the view (dropped when there is no view).
// Once a run has been started, "resume" and the run's last messages follow (AppState::run).
void send_init();

}  // namespace corvane
