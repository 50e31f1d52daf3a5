#include "ui/error_text.h"

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
      return L"Не удалось записать файл " + os::from_utf8(result.file) + L" (код " +
             std::to_wstring(result.error_code) + L"). Проверьте место на диске.";
    default:
      return L"Не удалось скачать клиент.";
  }
}

}  // namespace corvane
