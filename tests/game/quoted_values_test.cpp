#include <gtest/gtest.h>

#include "game/game_locator.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

using Values = std::vector<std::string>;

TEST(QuotedValues, ReadsVdfAndJsonForms) {
  const std::string vdf =
      "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"C:\\\\Program Files (x86)\\\\Steam\"\n"
      "\t\t\"apps\" { \"271590\" \"1\" }\n\t}\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"D:\\\\SteamLibrary\"\n\t}\n}\n";
  EXPECT_EQ(scan_quoted_values(vdf, "path"), (Values{"C:\\Program Files (x86)\\Steam", "D:\\SteamLibrary"}));
  const std::string item = "{\n\t\"DisplayName\": \"Grand Theft Auto V\",\n\t\"InstallLocation\" :\t\"E:\\\\Epic\\\\GTAV\"\n}";
  EXPECT_EQ(scan_quoted_values(item, "DisplayName"), (Values{"Grand Theft Auto V"}));
  EXPECT_EQ(scan_quoted_values(item, "InstallLocation"), (Values{"E:\\Epic\\GTAV"}));
  EXPECT_EQ(scan_quoted_values(item, "Missing"), Values{});
}

TEST(QuotedValues, EscapesAndBrokenText) {
  EXPECT_EQ(scan_quoted_values(R"("k" "a\"b" "k":"c\\")", "k"), (Values{"a\"b", "c\\"}));
  EXPECT_EQ(scan_quoted_values(R"("k" "abc)", "k"), (Values{"abc"}));    // the end ends the value
  EXPECT_EQ(scan_quoted_values("\"k\" \"ab\\", "k"), (Values{"ab\\"}));   // a final backslash stays
  EXPECT_EQ(scan_quoted_values(R"("k")", "k"), Values{});                // no quote after the key
  EXPECT_EQ(scan_quoted_values(R"("k" x "v")", "k"), (Values{"v"}));     // anything up to the quote is passed
  EXPECT_EQ(scan_quoted_values(R"("kk" "v" "k" "w")", "k"), (Values{"w"}));
  EXPECT_EQ(scan_quoted_values(R"("k""k""k")", "k"), (Values{"k"}));     // a value may look like the key
  EXPECT_EQ(scan_quoted_values("", "k"), Values{});
  EXPECT_EQ(scan_quoted_values(R"("" "v")", ""), (Values{"v"}));
}

TEST(QuotedValues, ReadFileBytesReadsWholeFilesUpToTheCap) {
  test::TempDir dir;
  EXPECT_EQ(read_file_bytes(dir / L"missing"), "");
  EXPECT_EQ(read_file_bytes(dir.path()), "");  // a folder cannot be opened as a file
  std::string text(10000, 'x');
  text[4095] = '\0';
  text.back() = 'y';
  test::write_text(dir / L"small", text);
  EXPECT_EQ(read_file_bytes(dir / L"small"), text);
  const std::string at_cap(kMaxScannedFileBytes, 'a');
  test::write_text(dir / L"at_cap", at_cap);
  EXPECT_EQ(read_file_bytes(dir / L"at_cap").size(), kMaxScannedFileBytes);
  test::write_text(dir / L"over_cap", at_cap + "b");
  EXPECT_EQ(read_file_bytes(dir / L"over_cap"), "");
}

}  // namespace
}  // namespace corvane
