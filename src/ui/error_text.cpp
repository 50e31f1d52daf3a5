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

}  // namespace corvane
