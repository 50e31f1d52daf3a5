#include "ui/ui_messages.h"

#include <gtest/gtest.h>

#include "ui/error_text.h"
#include "ui/host_fixture.h"

namespace corvane {
namespace {

using Messages = test::HostFixture;

TEST_F(Messages, SendersPostExactTextsInOrder) {
  send_stage(L"download");
  send_error(L"Не выбрана папка установки.");
  send_progress(nullptr, 5ull * 1024 * 1024 * 1024 + 1, 0x1'0000'0000ull * 3, 7, 0xFFFFFFFFu);
  post_to_ui(installed_message("2.1.0 \"beta\"", "2024-05-01"));
  post_to_ui(uninstalled_message());
  post_to_ui(uninstalled_message({L"notes.txt", L"a \"b\""}));
  EXPECT_EQ(take_page_messages(),
            (std::vector<std::wstring>{
                L"{\"type\":\"stage\",\"stage\":\"download\"}",
                L"{\"type\":\"error\",\"message\":\"Не выбрана папка установки.\"}",
                // Byte counts keep all 64 bits; file counts are written as signed 32-bit numbers.
                L"{\"type\":\"progress\",\"done\":5368709121,\"total\":12884901888,\"files\":7,\"filesTotal\":-1}",
                L"{\"type\":\"installed\",\"version\":\"2.1.0 \\\"beta\\\"\",\"date\":\"2024-05-01\"}",
                L"{\"type\":\"uninstalled\"}",
                L"{\"type\":\"uninstalled\",\"kept\":[\"notes.txt\",\"a \\\"b\\\"\"]}"}));
  app_state().window = false;  // nothing to post to: dropped
  send_stage(L"manifest");
  EXPECT_TRUE(take_page_messages().empty());
}

TEST(ErrorText, EachStatusGroupHasItsText) {
  UpdateResult r{0, "", "", "bin/\xd0\xba\xd0\xbb\xd0\xb8\xd0\xb5\xd0\xbd\xd1\x82.dll", 112};  // bin/клиент.dll
  const auto text = [&r](std::uint32_t status) {
    r.status = status;
    return error_text_for(r);
  };
  const std::wstring unreachable =
      L"Не удалось связаться с сервером обновлений. Проверьте подключение к интернету и повторите.";
  const std::wstring changing = L"Сейчас выходит обновление клиента. Подождите несколько минут и нажмите «Повторить».";
  for (std::uint32_t s : {kStatusCdnUnreachable, kStatusManifestMissing}) EXPECT_EQ(text(s), unreachable);
  for (std::uint32_t s : {kStatusManifestCorrupt, kStatusDownloadCorrupt, kStatusReleaseChanging}) {
    EXPECT_EQ(text(s), changing);
  }
  EXPECT_EQ(text(kStatusDownloadIncomplete), L"Часть файлов не скачалась. Проверьте подключение к интернету и повторите.");
  EXPECT_EQ(text(kStatusFileBusy), L"Файл bin/клиент.dll занят другой программой. Закройте клиент и повторите.");
  r.error_code = 0xFFFFFFFFu;
  EXPECT_EQ(text(kStatusWriteFailed),
            L"Не удалось записать файл bin/клиент.dll (код 4294967295). Проверьте место на диске.");
  for (std::uint32_t s : {0u, 9u}) EXPECT_EQ(text(s), L"Не удалось скачать клиент.");
}

TEST(ErrorText, ADiskTooSmallForTheUpdateSaysHowMuchIsNeededAndFree) {
  UpdateResult r;
  r.status = kStatusWriteFailed;
  r.error_code = 112;
  r.space_needed = 1610612736;  // 1.5 GiB
  r.space_free = 367001600;     // 350 MiB
  EXPECT_EQ(error_text_for(r), L"Недостаточно места на диске: нужно 1,5 Gb, свободно 350,0 Mb. Освободите место и повторите.");
  r.space_needed = 8u << 20;
  r.space_free = 921600;
  EXPECT_EQ(error_text_for(r), L"Недостаточно места на диске: нужно 8,0 Mb, свободно 900 Kb. Освободите место и повторите.");
  // A full disk met while writing (no sizes) keeps the text that names the file.
  r.space_needed = 0;
  r.space_free = 0;
  r.file = "bin/core.dll";
  EXPECT_EQ(error_text_for(r), L"Не удалось записать файл bin/core.dll (код 112). Проверьте место на диске.");
}

}  // namespace
}  // namespace corvane
