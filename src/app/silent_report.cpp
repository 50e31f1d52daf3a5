#include "app/silent_report.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "os/text.h"
#include "ui/error_text.h"
#include "update/update_progress.h"

namespace corvane {

void print_line(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
}

void ConsoleRunReport::stage(std::wstring_view stage) {
  if (stage == L"manifest") {
    print_line("[*] Ustanovka: gotovim papku klienta.\n");
  } else if (stage == L"download") {
    print_line("[*] Ustanovka: zagruzhaem klient.\n");
  } else if (stage == L"configure") {
    print_line("[*] Ustanovka: nastraivaem klient.\n");
  }
}

void ConsoleRunReport::progress(std::uint64_t done, std::uint64_t total, std::uint32_t files,
                                std::uint32_t files_total) {
  const int percent = progress_percent(done, total);
  const int tenth = percent / 10;
  if (tenth <= last_tenth_) return;
  last_tenth_ = tenth;
  print_line("[*] Ustanovka: zagruzheno %d%%, %u/%u faylov.\n", tenth * 10, static_cast<unsigned>(files),
             static_cast<unsigned>(files_total));
}

void ConsoleRunReport::failed(RunError error, std::wstring_view folder, const UpdateResult* update) {
  print_line(uninstall_ ? "[!] Udalenie ne zaversheno: %s\n" : "[!] Ustanovka prervana: %s\n",
             os::to_utf8(run_error_text(error, folder, update)).c_str());
  if (update != nullptr) {
    const std::string file = update->file.empty() ? std::string() : ", fayl " + update->file;
    print_line("[!] Ustanovka: obnovlenie zavershilos so statusom %u%s (kod %u).\n",
               static_cast<unsigned>(update->status), file.c_str(), static_cast<unsigned>(update->error_code));
  }
  switch (failure_of(error)) {
    case RunFailure::FolderAccess:
      exit_code_ = kSilentFolderNotWritable;
      break;
    case RunFailure::Update:
      exit_code_ = kSilentUpdateFailed;
      break;
    case RunFailure::Configure:
      exit_code_ = kSilentConfigureFailed;
      break;
    case RunFailure::Remove:
      exit_code_ = kSilentUninstallFailed;
      break;
  }
}

void ConsoleRunReport::installed(std::string_view version, std::string_view date) {
  const std::string when = date.empty() ? std::string() : " ot " + std::string(date);
  print_line("[*] Ustanovka zavershena: versiya %s%s.\n", std::string(version).c_str(), when.c_str());
  exit_code_ = kSilentDone;
}

void ConsoleRunReport::uninstalled(const std::vector<std::wstring>& kept) {
  print_line("[*] Udalenie zaversheno.\n");
  if (!kept.empty()) {
    std::string names;
    for (const std::wstring& name : kept) names += (names.empty() ? "" : ", ") + os::to_utf8(name);
    print_line("[*] V papke klienta ostavleno ne prinadlezhashchee klientu: %s.\n", names.c_str());
  }
  exit_code_ = kSilentDone;
}

}  // namespace corvane
