#include "ui/error_text.h"

#include "base/size_text.h"
#include "os/lock_wait.h"
#include "os/text.h"

namespace corvane {

std::wstring error_text_for(const UpdateResult& result) {
  switch (result.status) {
    case kStatusCdnUnreachable:
    case kStatusManifestMissing:
      return L"Не удалось связаться с сервером обновлений. Проверьте подключение к интернету и повторите.";
    case kStatusManifestCorrupt:
    case kStatusDownloadCorrupt:
    case kStatusReleaseChanging:
      return L"Сейчас выходит обновление клиента. Подождите несколько минут и нажмите «Повторить».";
    case kStatusDownloadIncomplete:
      return L"Часть файлов не скачалась. Проверьте подключение к интернету и повторите.";
    case kStatusFileBusy:
      return L"Файл " + os::from_utf8(result.file) + L" занят другой программой. Закройте клиент и повторите.";
    case kStatusWriteFailed:
      if (result.space_needed != 0) {
        return L"Недостаточно места на диске: нужно " + os::from_utf8(size_text(result.space_needed)) +
               L", свободно " + os::from_utf8(size_text(result.space_free)) + L". Освободите место и повторите.";
      }
      return L"Не удалось записать файл " + os::from_utf8(result.file) + L" (код " +
             std::to_wstring(result.error_code) + L"). Проверьте место на диске.";
    case kStatusLockUnavailable:
      if (result.error_code == os::kErrorLockHeld) {
        return L"Клиент сейчас обновляет другая программа. Дождитесь, пока она закончит, и повторите.";
      }
      return L"Не удалось скачать клиент.";
    case kStatusCancelled:
      return L"Установка отменена. Уже скачанные файлы сохранены, и следующая установка продолжит с них.";
    default:
      return L"Не удалось скачать клиент.";
  }
}

std::wstring game_folder_refusal_text(std::wstring_view folder) {
  return L"Папка " + std::wstring(folder) +
         L" — это папка GTA V или папка внутри неё. Клиент ставится в отдельную папку: выберите другую.";
}

std::wstring foreign_folder_refusal_text(std::wstring_view folder) {
  return L"В папке " + std::wstring(folder) +
         L" уже есть файлы, и это не папка клиента. Выберите пустую папку или папку установленного клиента.";
}

std::wstring game_folder_uninstall_text(std::wstring_view folder) {
  return L"Папка " + std::wstring(folder) + L" — это папка GTA V или папка внутри неё: из неё ничего не удаляется.";
}

std::wstring run_error_text(RunError error, std::wstring_view folder, const UpdateResult* update) {
  switch (error) {
    case RunError::GameFolder:
      return game_folder_refusal_text(folder);
    case RunError::ForeignFolder:
      return foreign_folder_refusal_text(folder);
    case RunError::FolderNotWritable:
      return L"Нет доступа к папке " + std::wstring(folder) + L". Выберите другую папку, например в своём профиле.";
    case RunError::UninstallerNotWritten:
      return L"Не удалось записать программу удаления в папку клиента.";
    case RunError::Update:
      return update != nullptr ? error_text_for(*update) : error_text_for(UpdateResult{});
    case RunError::GamePathNotStored:
      return L"Не удалось сохранить путь к GTA V в папке клиента.";
    case RunError::ProgramsEntryNotWritten:
      return L"Клиент установлен, но не удалось добавить его в список программ Windows.";
    case RunError::UninstallInGameFolder:
      return game_folder_uninstall_text(folder);
    case RunError::NotAllRemoved:
      return L"Не удалось удалить часть файлов. Закройте игру и клиент, затем повторите.";
  }
  return std::wstring();
}

}  // namespace corvane
