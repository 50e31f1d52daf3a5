#include "ui/folder_pickers.h"

#include "ui/app_state.h"
#include "base/paths.h"
#include "game/game_locator.h"
#include "os/platform.h"
#include "os/text.h"
#include "ui/ui_host.h"
#include "ui/ui_messages.h"

namespace corvane {

std::wstring picker_start_folder(std::wstring_view start) {
  std::wstring folder = trim_trailing_slashes(start);
  while (!folder.empty() && !dir_exists(folder)) folder = parent_dir(folder);
  return folder;
}

std::wstring pick_folder(UiHost& owner, std::wstring_view title, std::wstring_view start) {
  return owner.show_folder_dialog(title, picker_start_folder(start));
}

std::wstring install_dir_from_pick(std::wstring_view picked) {
  const std::wstring trimmed = trim_trailing_slashes(picked);
  if (os::equal_ignoring_case(file_name_of(trimmed), L"Corvane")) return trimmed;
  // A drive root such as E:\ (and the Linux root "/") already ends with its separator.
  const bool drive_root = trimmed.size() == 3 && trimmed[1] == L':';
  if (drive_root || trimmed == L"/") return trimmed + L"Corvane";
  return join_path(trimmed, L"Corvane");
}

std::wstring folder_refusal(std::wstring_view folder) {
  if (folder.find(L'|') != std::wstring_view::npos) {
    return L"Путь к папке содержит недопустимый символ «|». Выберите другую папку.";
  }
  for (std::size_t i = 0; i < folder.size(); ++i) {
    const wchar_t c = folder[i];
    const bool pair = sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < folder.size() &&
                      folder[i + 1] >= 0xDC00 && folder[i + 1] <= 0xDFFF;
    if (pair) {
      ++i;  // a UTF-16 pair: one character beyond U+FFFF
      continue;
    }
    if (c == 0xFFFD || (c >= 0xD800 && c <= 0xDFFF)) {
      return L"Путь к папке содержит недопустимые символы. Выберите другую папку.";
    }
  }
  return {};
}

void browse_install_folder() {
  AppState& s = app_state();
  const std::wstring picked = pick_folder(*s.host, L"Куда установить клиент", s.install_dir);
  if (picked.empty()) return;
  const std::wstring folder = install_dir_from_pick(picked);
  if (const std::wstring refusal = folder_refusal(folder); !refusal.empty()) {
    send_error(refusal);
    return;
  }
  s.install_dir = folder;
  post_to_ui(install_dir_message(s.install_dir));
}

void browse_game_folder() {
  AppState& s = app_state();
  const std::wstring picked = pick_folder(*s.host, L"Папка с GTA V (где лежит GTA5.exe)", s.game_dir);
  if (picked.empty()) return;
  const std::wstring folder = trim_trailing_slashes(picked);
  if (const std::wstring refusal = folder_refusal(folder); !refusal.empty()) {
    send_error(refusal);
    return;
  }
  s.game_dir = folder;
  post_to_ui(gta_dir_message(s.game_dir, is_game_dir(s.game_dir)));
}

}  // namespace corvane
