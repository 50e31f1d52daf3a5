#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "update/update_run.h"

// Where an install or uninstall run reports what it does. The window's runs talk to the page
// (the page bridge in ui); the runs without a window print lines and end with an exit code. Both
// run the same job: only the report differs.
namespace corvane {

// The step of a run that failed, for reports that tell failures apart.
enum class RunFailure {
  FolderAccess,  // the client folder cannot be made or written, or the uninstaller not copied there
  Update,        // the update run failed: the UpdateResult says why
  Configure,     // launcher.json or the programs-list entry could not be written
  Remove,        // the uninstall could not remove every name of the client
};

// Why a run failed, finer than RunFailure: each one has its own text for the user, which the
// report chooses.
enum class RunError {
  GameFolder,             // the install folder is the GTA V folder or inside it
  ForeignFolder,          // the install folder holds files but no client
  FolderNotWritable,      // the client folder cannot be made or written
  UninstallerNotWritten,  // the uninstaller could not be copied into the client folder
  Update,                 // the update run failed
  GamePathNotStored,      // the GTA V path could not be stored in the client folder
  ProgramsEntryNotWritten,
  UninstallInGameFolder,  // the uninstall was asked to remove from the GTA V folder or inside it
  NotAllRemoved,          // some of the client's names could not be removed
};

// The step of the run that `error` ends.
constexpr RunFailure failure_of(RunError error) {
  switch (error) {
    case RunError::Update:
      return RunFailure::Update;
    case RunError::GamePathNotStored:
    case RunError::ProgramsEntryNotWritten:
      return RunFailure::Configure;
    case RunError::UninstallInGameFolder:
    case RunError::NotAllRemoved:
      return RunFailure::Remove;
    default:
      return RunFailure::FolderAccess;
  }
}

// The run's thread calls these in the order of the run; a run ends with exactly one of failed,
// installed or uninstalled.
class RunReport {
 public:
  virtual ~RunReport() = default;
  // "manifest", "download" or "configure".
  virtual void stage(std::wstring_view stage) = 0;
  // The download's progress, about every 200 ms.
  virtual void progress(std::uint64_t done, std::uint64_t total, std::uint32_t files, std::uint32_t files_total) = 0;
  // `folder` is the client folder the run worked on; `update` is the update run's result for
  // RunError::Update, else null.
  virtual void failed(RunError error, std::wstring_view folder, const UpdateResult* update) = 0;
  // "version" and "date" are the release manifest's UTF-8 texts.
  virtual void installed(std::string_view version, std::string_view date) = 0;
  // `kept`: what the client folder still holds that is none of the client's names, left in place.
  virtual void uninstalled(const std::vector<std::wstring>& kept) = 0;
};

// The update run's progress callback that hands every report to `report`.
ProgressCallback progress_to(RunReport& report);

}  // namespace corvane
