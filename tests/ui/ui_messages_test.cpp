#include "ui/ui_messages.h"

#include <gtest/gtest.h>

#include <thread>

#include "ui/error_text.h"
#include "ui/host_fixture.h"
#include "ui/json_decode.h"

namespace corvane {
namespace {

using Messages = test::HostFixture;

TEST_F(Messages, SendersPostExactTextsInOrder) {
  send_stage(L"download");
  send_error(L"Не выбрана папка установки.");
  send_progress(nullptr, 5ull * 1024 * 1024 * 1024 + 1, 0x1'0000'0000ull * 3, 7, 0xFFFFFFFFu);
  post_to_ui(installed_message("2.1.0 \"beta\"", "2024-05-01"));
  post_to_ui(uninstalled_message());
  const auto texts = take_page_messages();
  ASSERT_EQ(texts.size(), 5u);
  EXPECT_EQ(texts[0], L"{\"type\":\"stage\",\"stage\":\"download\"}");
  EXPECT_EQ(texts[1], L"{\"type\":\"error\",\"message\":\"Не выбрана папка установки.\"}");
  // Byte counts keep all 64 bits; file counts are written as signed 32-bit numbers.
  EXPECT_EQ(texts[2],
            L"{\"type\":\"progress\",\"done\":5368709121,\"total\":12884901888,\"files\":7,\"filesTotal\":-1}");
  EXPECT_EQ(texts[3], L"{\"type\":\"installed\",\"version\":\"2.1.0 \\\"beta\\\"\",\"date\":\"2024-05-01\"}");
  EXPECT_EQ(texts[4], L"{\"type\":\"uninstalled\"}");
}

TEST_F(Messages, InitAndPickerRepliesCarryTheirMembersInOrder) {
  EXPECT_EQ(uninstall_init_message(L"D:\\Games\\Corvane"),
            L"{\"type\":\"init\",\"version\":\"1.0\",\"mode\":\"uninstall\",\"dir\":\"D:\\\\Games\\\\Corvane\"}");
  EXPECT_EQ(install_init_message(L"/home/u/Corvane", L"", false, true),
            L"{\"type\":\"init\",\"version\":\"1.0\",\"mode\":\"install\",\"dir\":\"/home/u/Corvane\",\"gta\":\"\","
            L"\"gtaValid\":false,\"reinstall\":true}");
  EXPECT_EQ(install_dir_message(L"E:\\Corvane"), L"{\"type\":\"installDir\",\"dir\":\"E:\\\\Corvane\"}");
  EXPECT_EQ(gta_dir_message(L"/g", true), L"{\"type\":\"gtaDir\",\"dir\":\"/g\",\"valid\":true}");
}

TEST_F(Messages, MessagesFromAnotherThreadArriveInOrder) {
  std::thread worker([] {
    for (int i = 0; i < 500; ++i) send_stage(std::to_wstring(i));
  });
  worker.join();
  const auto texts = take_page_messages();
  ASSERT_EQ(texts.size(), 500u);
  for (int i = 0; i < 500; ++i) EXPECT_EQ(test::json_string_member(texts[i], L"stage"), std::to_wstring(i));
}

TEST_F(Messages, AMessageThatCannotBePostedIsDropped) {
  host.refuse_posts = true;
  send_stage(L"manifest");  // freed by the host (the sanitizer would see a leak otherwise)
  host.refuse_posts = false;
  EXPECT_TRUE(take_page_messages().empty());
  app_state().window = false;
  send_stage(L"manifest");
  EXPECT_TRUE(take_page_messages().empty());
}

TEST(ErrorText, EachStatusGroupHasItsText) {
  UpdateResult r;
  r.file = "bin/\xd0\xba\xd0\xbb\xd0\xb8\xd0\xb5\xd0\xbd\xd1\x82.dll";  // "bin/клиент.dll" in UTF-8
  r.error_code = 112;
  const auto text = [&](std::uint32_t status) {
    r.status = status;
    return error_text_for(r);
  };
  const std::wstring unreachable =
      L"Не удалось связаться с сервером обновлений. Проверьте подключение к интернету и повторите.";
  const std::wstring changing =
      L"Сейчас выходит обновление клиента. Подождите несколько минут и нажмите «Повторить».";
  const std::wstring general = L"Не удалось скачать клиент.";
  EXPECT_EQ(text(kStatusCdnUnreachable), unreachable);
  EXPECT_EQ(text(kStatusManifestMissing), unreachable);
  EXPECT_EQ(text(kStatusManifestCorrupt), changing);
  EXPECT_EQ(text(kStatusDownloadCorrupt), changing);
  EXPECT_EQ(text(kStatusReleaseChanging), changing);
  EXPECT_EQ(text(kStatusDownloadIncomplete),
            L"Часть файлов не скачалась. Проверьте подключение к интернету и повторите.");
  EXPECT_EQ(text(kStatusFileBusy), L"Файл bin/клиент.dll занят другой программой. Закройте клиент и повторите.");
  EXPECT_EQ(text(kStatusWriteFailed),
            L"Не удалось записать файл bin/клиент.dll (код 112). Проверьте место на диске.");
  r.error_code = 0xFFFFFFFFu;
  EXPECT_EQ(text(kStatusWriteFailed),
            L"Не удалось записать файл bin/клиент.dll (код 4294967295). Проверьте место на диске.");
  EXPECT_EQ(text(kStatusNone), general);
  EXPECT_EQ(text(9), general);
}

}  // namespace
}  // namespace corvane
